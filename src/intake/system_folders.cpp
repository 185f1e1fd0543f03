#include "intake/system_folders.h"

#include <array>
#include <optional>
#include <string_view>

#include "base/command_line.h"
#include "base/text.h"

namespace kelto::intake {

namespace {

std::string SystemRoot(platform::Environment& environment) {
    std::string root = environment.Get("SystemRoot");
    if (root.empty()) root = environment.Get("WinDir");
    return root;
}

// A drive letter, a colon and a backslash, or two backslashes (a network path).
bool IsFullPath(std::string_view path) {
    if (text::StartsWith(path, "\\\\")) return true;
    const char drive = text::AsciiLower(path.empty() ? '\0' : path[0]);
    return path.size() >= 3 && drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\';
}

bool EndsWithAscii(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && text::ToLowerAscii(s.substr(s.size() - suffix.size())) == suffix;
}

std::string WithoutTrailingBackslash(std::string_view folder) {
    while (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
    return std::string(folder);
}

// Folder names compare as Windows compares them: ASCII case ignored, a trailing "\" ignored.
bool SameFolder(std::string_view a, std::string_view b) {
    return text::ToLowerAscii(WithoutTrailingBackslash(a)) == text::ToLowerAscii(WithoutTrailingBackslash(b));
}

std::optional<std::string> FindInSystemFolders(platform::FileSystem& files, const std::string& root,
                                               const std::string& name) {
    const std::string native = root + "\\Sysnative\\" + name;
    if (files.IsNormalFile(native)) return native;
    // Through the alias's absence a process sees its own system folder as System32; where the
    // alias exists, System32 and SysWOW64 both hold the 32-bit copies, and a program that
    // lives in the Windows folder itself (explorer.exe) must not be taken from them.
    const bool wow64 = files.FolderExists(root + "\\Sysnative");
    const std::string system32 = root + "\\System32\\" + name;
    const std::string syswow64 = root + "\\SysWOW64\\" + name;
    const std::string windows = root + "\\" + name;
    const auto candidates =
        wow64 ? std::array{windows, system32, syswow64} : std::array{system32, syswow64, windows};
    for (const auto& candidate : candidates) {
        if (files.IsNormalFile(candidate)) return candidate;
    }
    return std::nullopt;
}

// PATH entries that are full paths, the helper's own folder left out: a program planted
// beside the helper must never be found there.
std::optional<std::string> FindOnPath(platform::System& system, const std::string& name) {
    const std::string ownFolder = base::GetOwnFolder(system.process);
    const std::string path = system.environment.Get("PATH");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(';', start);
        if (end == std::string::npos) end = path.size();
        const std::string entry = text::RemoveChar(std::string_view(path).substr(start, end - start), '"');
        start = end + 1;
        if (!IsFullPath(entry) || SameFolder(entry, ownFolder)) continue;
        const std::string candidate = WithoutTrailingBackslash(entry) + "\\" + name;
        if (system.files.IsNormalFile(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace

std::string ResolveSystemFile(platform::Environment& environment, platform::FileSystem& files,
                              const std::string& name) {
    const std::string root = SystemRoot(environment);
    const std::array<std::string, 4> candidates = {
        root + "\\Sysnative\\" + name,
        root + "\\System32\\" + name,
        root + "\\SysWOW64\\" + name,
        root + "\\" + name,
    };
    for (const auto& candidate : candidates) {
        if (files.IsNormalFile(candidate)) return candidate;
    }
    return name;
}

LaunchTarget ResolveLaunchTarget(platform::System& system, const std::string& file) {
    const std::string root = SystemRoot(system.environment);
    // Without a Windows folder there is no system folder to start from: never a relative one.
    if (!IsFullPath(root)) return {};
    LaunchTarget target;
    target.directory = root + "\\System32";
    if (text::StartsWith(text::ToLowerAscii(file), "ms-settings:") || IsFullPath(file)) {
        target.found = true;
        target.file = file;
        return target;
    }
    if (file.empty()) return {};
    if (EndsWithAscii(file, ".msc")) {
        target.found = true;
        target.file = root + "\\System32\\" + file;
        return target;
    }
    auto found = FindInSystemFolders(system.files, root, file);
    if (!found) found = FindOnPath(system, file);
    if (!found) return {};
    target.found = true;
    target.file = *found;
    return target;
}

LaunchTarget ResolveSystemProgram(platform::System& system, const std::string& name) {
    const std::string root = SystemRoot(system.environment);
    if (!IsFullPath(root) || name.empty()) return {};
    const auto found = FindInSystemFolders(system.files, root, name);
    if (!found) return {};
    return {true, *found, root + "\\System32"};
}

}  // namespace kelto::intake

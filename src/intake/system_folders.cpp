#include "intake/system_folders.h"

#include <array>

#include "intake/text.h"

namespace kelto::intake {

namespace {
// The program token at the start of a command line ends at a space or tab, or, when it
// starts with a quote, at the closing quote.
std::size_t ProgramTokenEnd(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        const auto close = commandLine.find('"', 1);
        return close == std::string::npos ? commandLine.size() : close + 1;
    }
    const auto blank = commandLine.find_first_of(" \t");
    return blank == std::string::npos ? commandLine.size() : blank;
}
}  // namespace

std::string ProgramPathFromCommandLine(const std::string& commandLine) {
    const std::string token = commandLine.substr(0, ProgramTokenEnd(commandLine));
    return text::RemoveChar(token, '"');
}

std::string ArgumentsFromCommandLine(const std::string& commandLine) {
    return commandLine.substr(ProgramTokenEnd(commandLine));
}

std::string GetOwnExePath(platform::Process& process) {
    std::string path = process.ModuleFileName();
    if (!path.empty()) return path;
    return ProgramPathFromCommandLine(process.CommandLine());
}

std::string GetOwnFolder(platform::Process& process) { return text::ParentFolder(GetOwnExePath(process)); }

std::string ResolveSystemFile(platform::Environment& environment, platform::FileSystem& files,
                              const std::string& name) {
    std::string root = environment.Get("SystemRoot");
    if (root.empty()) root = environment.Get("WinDir");
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

}  // namespace kelto::intake

#include "rescuevm/vm_files.h"

#include <optional>

#include "base/text.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/system_folders.h"

namespace kelto::rescuevm {

namespace {

constexpr std::string_view kEmulatorName = "qemu-system-x86_64.exe";

// curl, tar and PowerShell ship with Windows: they run from the system folders or not at all.
// This instance runs elevated beside downloaded files, so a bare name (which Windows would
// look for in the current folder and along PATH) is never run.
std::optional<std::string> FindSystemProgram(intake::Context& context, const std::string& name) {
    const std::string path =
        intake::ResolveSystemFile(context.system.environment, context.system.files, name);
    if (path == name) return std::nullopt;
    return path;
}

// Runs the command line of a system program; kNotStarted when the program is in none of
// the system folders.
std::int32_t RunSystemProgram(intake::Context& context, const std::optional<std::string>& program,
                              const std::string& commandLine) {
    if (!program) return kNotStarted;
    return RunAndWait(context, commandLine, platform::kShowNormal);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

}  // namespace

std::string QuoteArgument(std::string_view text) { return "\"" + text::RemoveChar(text, '"') + "\""; }

// PowerShell ends a single-quoted literal at "'" and equally at the typographic single quotes
// U+2018 to U+201B; each is doubled, which PowerShell reads back as the one character. (A
// folder such as "Dan’s PC" would otherwise end the path early.)
std::string EscapeSingleQuotes(std::string_view text) {
    std::string escaped = text::ReplaceAll(text, "'", "''");
    for (const char* quote : {"\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9A", "\xE2\x80\x9B"})
        escaped = text::ReplaceAll(escaped, quote, std::string(quote) + quote);
    return escaped;
}

std::string CurlCommandLine(const std::string& curlPath, const std::string& url,
                            const std::string& outputPath) {
    return QuoteArgument(curlPath) + " --fail --location --retry 2" + " --connect-timeout 20" + " --output " +
           QuoteArgument(outputPath) + " " + QuoteArgument(url);
}

std::string TarCommandLine(const std::string& tarPath, const std::string& zipPath,
                           const std::string& folder) {
    return QuoteArgument(tarPath) + " -xf " + QuoteArgument(zipPath) + " -C " + QuoteArgument(folder);
}

std::string PowerShellCommandLine(const std::string& powerShellPath, const std::string& zipPath,
                                  const std::string& folder) {
    const std::string command = "Expand-Archive -LiteralPath '" + EscapeSingleQuotes(zipPath) +
                                "' -DestinationPath '" + EscapeSingleQuotes(folder) + "' -Force";
    return QuoteArgument(powerShellPath) + " -NoProfile -ExecutionPolicy Bypass" + " -Command " +
           QuoteArgument(command);
}

std::int32_t RunAndWait(intake::Context& context, const std::string& commandLine, int windowStyle) {
    const auto exitCode = context.system.children.RunAndWait(commandLine, windowStyle);
    if (!exitCode) return kNotStarted;
    return static_cast<std::int32_t>(*exitCode);
}

bool DownloadFile(intake::Context& context, const std::string& url, const std::string& outputPath) {
    const auto curl = FindSystemProgram(context, "curl.exe");
    const std::string commandLine = CurlCommandLine(curl.value_or("curl.exe"), url, outputPath);
    intake::WriteLog(context.system, "Downloading VM file: " + url);
    if (RunSystemProgram(context, curl, commandLine) != 0) return false;
    // curl with --fail writes no file for an error status, but a file of an earlier run may
    // still be there: only the exit code above tells a fresh download from it.
    return context.system.files.FileExists(outputPath);
}

bool ExtractZip(intake::Context& context, const std::string& zipPath, const std::string& folder) {
    const auto tar = FindSystemProgram(context, "tar.exe");
    const std::string commandLine = TarCommandLine(tar.value_or("tar.exe"), zipPath, folder);
    if (RunSystemProgram(context, tar, commandLine) == 0) return true;
    return ExpandArchiveWithPowerShell(context, zipPath, folder);
}

bool ExpandArchiveWithPowerShell(intake::Context& context, const std::string& zipPath,
                                 const std::string& folder) {
    const std::string name = "WindowsPowerShell\\v1.0\\powershell.exe";
    const auto powerShell = FindSystemProgram(context, name);
    const std::string commandLine = PowerShellCommandLine(powerShell.value_or(name), zipPath, folder);
    return RunSystemProgram(context, powerShell, commandLine) == 0;
}

std::string FindQemuExecutable(intake::Context& context, const std::string& folder) {
    auto& files = context.system.files;
    if (!files.FolderExists(folder)) return {};
    for (const auto& name : files.ListFiles(folder)) {
        if (text::ToLowerAscii(name) == kEmulatorName) return Join(folder, name);
    }
    for (const auto& name : files.ListFolders(folder)) {
        std::string found = FindQemuExecutable(context, Join(folder, name));
        if (!found.empty()) return found;
    }
    return {};
}

void EnsureFolder(intake::Context& context, const std::string& path) {
    auto& files = context.system.files;
    if (files.FolderExists(path)) return;
    const std::string parent = GetParentFolder(path);
    if (!parent.empty() && !files.FolderExists(parent)) EnsureFolder(context, parent);
    const platform::Outcome created = files.CreateFolder(path);
    if (!created.Ok())
        throw RescueVmFailure("Cannot create folder " + path + " (error " + std::to_string(created.error) +
                              ")");
}

std::string GetParentFolder(std::string_view path) {
    // Trailing separators name the same folder.
    while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string_view::npos) return {};
    const std::string_view parent = path.substr(0, cut);
    // A drive's root keeps its separator: "C:" alone names the current folder on that drive.
    if (parent.size() == 2 && parent[1] == ':') return std::string(parent) + "\\";
    if (parent.empty()) return std::string(path.substr(0, 1));
    return std::string(parent);
}

void ShowMainStatus(intake::Context& context, const std::string& text) { context.window.ShowStatus(text); }

}  // namespace kelto::rescuevm

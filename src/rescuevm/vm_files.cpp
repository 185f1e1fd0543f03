#include "rescuevm/vm_files.h"

#include <optional>

#include "base/text.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/system_folders.h"

namespace kelto::rescuevm {

namespace {

constexpr std::string_view kEmulatorName = "qemu-system-x86_64.exe";
constexpr std::uint32_t kErrorAlreadyExists = 183;

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
    // "-q" must come first to keep curl from reading a .curlrc of the profile: this line runs
    // as administrator and follows nothing but itself. With TLS a redirect may lead only to
    // https again, never to plain http.
    const bool tls = url.starts_with("https://");
    return QuoteArgument(curlPath) + " -q" + " --fail --location --retry 2" + " --connect-timeout 20" +
           (tls ? " --proto-redir =https" : "") + " --output " + QuoteArgument(outputPath) + " " +
           QuoteArgument(url);
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
    return IsRegularFile(context, outputPath);
}

bool IsRegularFile(intake::Context& context, const std::string& path) {
    platform::PathFacts facts;
    std::unique_ptr<platform::HeldPath> held;
    if (!context.system.files.OpenNoFollow(path, facts, held).Ok()) return false;
    return !facts.folder && !facts.nameSurrogate && facts.links == 1;
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
    // A link is never entered: it could lead out of the unpacked tree, or back up it forever.
    for (const auto& name : files.ListFilesNoLinks(folder)) {
        if (text::ToLowerAscii(name) == kEmulatorName) return Join(folder, name);
    }
    for (const auto& name : files.ListFoldersNoLinks(folder)) {
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

namespace {

// Access rights as Windows numbers them: FILE_ALL_ACCESS, and FILE_GENERIC_READ |
// FILE_GENERIC_EXECUTE.
constexpr std::uint32_t kFullControl = 0x001F01FF;
constexpr std::uint32_t kReadAndExecute = 0x001200A9;
// OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE: every file and folder inside gets the entry.
constexpr std::uint8_t kInheritedByAll = 0x03;

// How many names a run tries before it gives up.
constexpr int kRunFolderAttempts = 100;

std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

// "Run-20261210-225804-1": the moment in UTC and an attempt number.
std::string RunFolderName(const platform::DateTime& utc, int attempt) {
    return "Run-" + std::to_string(utc.year) + TwoDigits(utc.month) + TwoDigits(utc.day) + "-" +
           TwoDigits(utc.hour) + TwoDigits(utc.minute) + TwoDigits(utc.second) + "-" + std::to_string(attempt);
}

}  // namespace

platform::FolderSecurity RunFolderSecurity(const std::string& customerSid) {
    return {kAdministratorsSid,
            true,
            true,
            {{kAdministratorsSid, kFullControl, kInheritedByAll},
             {kSystemSid, kFullControl, kInheritedByAll},
             {customerSid, kReadAndExecute, kInheritedByAll}}};
}

bool IsRunFolderSecurity(const platform::FolderSecurity& security) {
    // Only an administrator can make a folder whose owner is Administrators: a customer's
    // program cannot dress one of its own folders up as a run folder to have it removed.
    if (security.allowed.size() != 3) return false;
    const std::string& customer = security.allowed[2].sid;
    if (customer.empty()) return false;
    return security == RunFolderSecurity(customer);
}

void RemoveEarlierRunFolders(intake::Context& context, const std::string& qemuFolder) {
    auto& files = context.system.files;
    for (const auto& name : files.ListFoldersNoLinks(qemuFolder)) {
        // In use (a run still going, an emulator still running) or not ours: left as it is.
        files.RemoveFolderTreeIf(Join(qemuFolder, name), IsRunFolderSecurity);
    }
}

std::optional<RunFolder> CreateRunFolder(intake::Context& context, const std::string& qemuFolder,
                                         const std::string& customerSid) {
    auto& files = context.system.files;
    const platform::FolderSecurity security = RunFolderSecurity(customerSid);
    const platform::DateTime now = context.system.clock.UtcNow();
    platform::Outcome created{};
    std::string path;
    for (int attempt = 1; attempt <= kRunFolderAttempts; ++attempt) {
        path = Join(qemuFolder, RunFolderName(now, attempt));
        platform::PathFacts facts;
        RunFolder run{path, nullptr};
        // Created and held in one step: whoever controls the QEMU folder cannot put anything
        // else in its place between the creation and the hold.
        created = files.CreateSecuredFolder(path, security, facts, run.held);
        // A name in use is never adopted: only a folder this run made is used.
        if (created.error == kErrorAlreadyExists) continue;
        if (!created.Ok()) break;
        if (!facts.folder || facts.nameSurrogate) return std::nullopt;
        return run;
    }
    throw RescueVmFailure("Cannot create folder " + path + " (error " + std::to_string(created.error) + ")");
}

}  // namespace kelto::rescuevm

#include "example_windows.h"

#include <map>

#include "base/text.h"

namespace kelto::tokentool {

namespace {

using platform::ReadResult;
using platform::ReadStatus;

// A registry without the helper's keys: no authorized session. Writes are kept from no one.
class EmptyRegistry : public platform::Registry {
public:
    ReadResult ReadString(const std::string&, std::string&) override { return {ReadStatus::Absent, 0}; }
    bool WriteString(const std::string&, const std::string&) override { return true; }
    ReadResult ReadDword(const std::string&, std::uint32_t&) override { return {ReadStatus::Absent, 0}; }
    bool WriteDword(const std::string&, std::uint32_t) override { return true; }
    ReadResult ReadRaw(const std::string&, platform::RawRegistryValue&) override {
        return {ReadStatus::Absent, 0};
    }
    platform::Outcome WriteRaw(const std::string&, const platform::RawRegistryValue&) override { return {}; }
    bool Delete(const std::string&) override { return true; }
};

class RecordingShell : public platform::Shell {
public:
    int Execute(platform::WindowHandle, const std::string& verb, const std::string& file,
                const std::string& parameters, const std::string& directory, int,
                platform::ShellFailureBox) override {
        starts.push_back({verb, file, parameters, directory});
        return 42;  // started
    }
    void Prepare() override {}
    std::vector<ShellStart> starts;
};

class StillClock : public platform::Clock {
public:
    platform::DateTime UtcNow() override { return {2026, 1, 1, 12, 0, 0}; }
    platform::DateTime LocalNow() override { return {2026, 1, 1, 12, 0, 0}; }
    void Sleep(int) override {}
};

class ExampleEnvironment : public platform::Environment {
public:
    std::string Get(const std::string& name) override {
        const auto found = variables_.find(text::ToLowerAscii(name));
        return found == variables_.end() ? std::string() : found->second;
    }

private:
    std::map<std::string, std::string> variables_ = {{"systemroot", kExampleSystemRoot},
                                                     {"windir", kExampleSystemRoot},
                                                     {"systemdrive", "C:"},
                                                     {"temp", "%TEMP%"},
                                                     {"userprofile", "%USERPROFILE%"}};
};

// Every program is in the system folders; explorer.exe only in the Windows folder itself.
// On 64-bit Windows the Sysnative alias shows the native System32 to the 32-bit helper.
class ExampleFiles : public platform::FileSystem {
public:
    explicit ExampleFiles(WindowsBits bits) : bits_(bits) {}
    bool IsNormalFile(const std::string& path) override {
        const std::string root = text::ToLowerAscii(kExampleSystemRoot);
        const std::string lower = text::ToLowerAscii(path);
        if (lower == root + "\\explorer.exe") return true;
        if (text::StartsWith(lower, root + "\\") && lower.ends_with("\\explorer.exe")) return false;
        for (const char* folder : {"\\system32\\", "\\syswow64\\", "\\sysnative\\"}) {
            if (text::StartsWith(lower, root + folder)) return FolderExists(root + folder);
        }
        return false;
    }
    bool FileExists(const std::string& path) override { return IsNormalFile(path); }
    bool FolderExists(const std::string& path) override {
        std::string lower = text::ToLowerAscii(path);
        while (!lower.empty() && lower.back() == '\\') lower.pop_back();
        const std::string root = text::ToLowerAscii(kExampleSystemRoot);
        if (lower == root || lower == root + "\\system32") return true;
        return bits_ == WindowsBits::Bits64 &&
               (lower == root + "\\syswow64" || lower == root + "\\sysnative");
    }
    std::vector<std::string> ListFiles(const std::string&) override { return {}; }
    std::vector<std::string> ListFolders(const std::string&) override { return {}; }
    platform::Outcome CreateFolder(const std::string&) override { return {5}; }
    bool DeleteFile(const std::string&) override { return false; }
    platform::AppendResult Append(const std::string&, const std::string&) override {
        return platform::AppendResult::Ok;
    }
    // The examples never reach the rescue VM's folders: every such call is refused.
    platform::Outcome OpenNoFollow(const std::string&, platform::PathFacts&,
                                   std::unique_ptr<platform::HeldPath>&) override {
        return {5};
    }
    platform::Outcome CreateSecuredFolder(const std::string&, const platform::FolderSecurity&, platform::PathFacts&,
                                          std::unique_ptr<platform::HeldPath>&) override {
        return {5};
    }
    std::vector<std::string> ListFilesNoLinks(const std::string&) override { return {}; }
    std::vector<std::string> ListFoldersNoLinks(const std::string&) override { return {}; }
    platform::RemoveOutcome RemoveFolderTreeIf(const std::string&,
                                               const std::function<bool(const platform::FolderSecurity&)>&) override {
        return platform::RemoveOutcome::Failed;
    }

private:
    WindowsBits bits_;
};

class ExampleProcess : public platform::Process {
public:
    std::string CommandLine() override { return "\"C:\\Program Files\\Kelto\\KeltoClientHelper.exe\""; }
    std::string ModuleFileName() override { return "C:\\Program Files\\Kelto\\KeltoClientHelper.exe"; }
    std::string ToAnsiCodePage(const std::string& utf8) override { return utf8; }
    // A customer's account as Windows names it; the elevated line carries it as its last field.
    std::string UserSid() override { return "S-1-5-21-1004336348-1177238915-682003330-1001"; }
    platform::AccountMatch MatchAccount(const std::string&) override { return platform::AccountMatch::Own; }
};

class NoChildren : public platform::ChildProcesses {
public:
    std::optional<std::uint32_t> RunAndWait(const std::string&, int) override { return std::nullopt; }
};

// The example makes no restore point: the lock is never to be had.
class NoLock : public platform::MachineLock {
public:
    static constexpr std::uint32_t kNotAvailable = 1;
    platform::Outcome Acquire(std::uint32_t) override { return {kNotAvailable}; }
    void Release() override {}
};

// The explanation is of a normal boot.
class NormalBoot : public platform::BootMode {
public:
    bool SafeMode() override { return false; }
};

class NoSystemRestore : public platform::SystemRestore {
public:
    static constexpr std::int32_t kNotAvailable = 1;
    std::int32_t Bind() override { return kNotAvailable; }
    std::int32_t Enable(const std::string&, std::int32_t&) override { return kNotAvailable; }
    std::int32_t CreateRestorePoint(const std::string&, std::int32_t, std::int32_t, std::int32_t&) override {
        return kNotAvailable;
    }
    std::int32_t Restore(std::int32_t, std::int32_t&) override { return kNotAvailable; }
    std::int32_t Enumerate(std::vector<platform::RestorePointInfo>&) override { return kNotAvailable; }
};

class NoHttp : public platform::Http {
public:
    std::optional<int> Get(const std::string&, const platform::HttpTimeouts&,
                           const std::vector<std::pair<std::string, std::string>>&) override {
        return std::nullopt;
    }
};

class RecordingDialogs : public platform::Dialogs {
public:
    int MessageBox(platform::WindowHandle, const std::string& text, const std::string& title,
                   unsigned) override {
        boxes.push_back({title, text});
        return platform::mb::kIdNo;
    }
    std::string InputBox(platform::WindowHandle, const std::string&, const std::string&) override {
        return {};
    }
    std::vector<actions::BoxText> boxes;
};

class HiddenWindow : public intake::HostWindow {
public:
    platform::WindowHandle Owner() override { return 0; }
    platform::WindowHandle ShellOwner() override { return 0; }
    void Show() override {}
    void Hide() override {}
    void ShowStatus(const std::string&) override {}
    platform::WindowHandle BeginSystemPrompt(const std::string&) override { return 0; }
    void PrepareSystemPrompt() override {}
    void EndSystemPrompt() override {}
    void Unload() override {}
};

}  // namespace

struct ExampleWindows::Parts {
    explicit Parts(WindowsBits bits) : files(bits) {}
    EmptyRegistry registry;
    RecordingShell shell;
    StillClock clock;
    ExampleEnvironment environment;
    ExampleFiles files;
    ExampleProcess process;
    NoChildren children;
    NoSystemRestore systemRestore;
    NoHttp http;
    RecordingDialogs dialogs;
    NoLock restoreLock;
    NormalBoot boot;
    platform::System system{registry, shell,         clock, environment, files,      process,
                            children, systemRestore, http,  dialogs,     restoreLock, boot};
    HiddenWindow window;
    intake::RequestState request;
    intake::Context context{system, request, window};
};

ExampleWindows::ExampleWindows(WindowsBits bits) : parts_(std::make_unique<Parts>(bits)) {}
ExampleWindows::~ExampleWindows() = default;
intake::Context& ExampleWindows::Context() { return parts_->context; }
const std::vector<actions::BoxText>& ExampleWindows::Boxes() const { return parts_->dialogs.boxes; }
const std::vector<ShellStart>& ExampleWindows::ShellStarts() const { return parts_->shell.starts; }

std::string WithPlaceholders(const std::string& text) {
    const std::string root = kExampleSystemRoot;
    std::string result = text::ReplaceAll(text, root + "\\", std::string(kSystemRootPlaceholder) + "\\");
    if (result == root) result = kSystemRootPlaceholder;
    return result;
}

}  // namespace kelto::tokentool

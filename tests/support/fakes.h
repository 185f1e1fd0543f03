// In-memory doubles of every platform interface. Each records what was asked of it and
// answers as the test scripts it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "intake/activity_log.h"
#include "intake/context.h"
#include "platform/system.h"
#include "ui/ethernet_guide.h"
#include "ui/main_window.h"
#include "ui/offline_support.h"

namespace kelto::testing {

// Registry with Windows semantics: names are case-insensitive, a write creates the missing
// keys, a key can be deleted only when it has no subkeys.
class FakeRegistry : public platform::Registry {
public:
    platform::ReadResult ReadString(const std::string& name, std::string& value) override;
    bool WriteString(const std::string& name, const std::string& value) override;
    platform::ReadResult ReadDword(const std::string& name, std::uint32_t& value) override;
    bool WriteDword(const std::string& name, std::uint32_t value) override;
    platform::ReadResult ReadRaw(const std::string& name, platform::RawRegistryValue& value) override;
    platform::Outcome WriteRaw(const std::string& name, const platform::RawRegistryValue& value) override;
    bool Delete(const std::string& name) override;

    bool KeyExists(const std::string& keyPath) const;  // "HKCU\...\Key" (trailing "\" optional)
    bool HasValue(const std::string& name) const;
    // Every key and value, for whole-state comparisons: "key\" or "key\name=text", where the
    // text of a REG_DWORD is its decimal number and of any other non-string type
    // "(type N) " + its bytes in hex.
    std::vector<std::string> Dump() const;

    // Makes every write fail (error 5, access denied) once `failWritesAfter` writes have
    // succeeded.
    std::optional<int> failWritesAfter;
    // Every read of this value fails with this Windows error number.
    void FailReads(const std::string& name, std::uint32_t error);
    std::vector<std::string> log;  // "write NAME", "delete NAME", "read NAME"

private:
    static constexpr std::uint32_t kAccessDenied = 5;
    static std::string Fold(const std::string& s);
    static void Split(const std::string& name, std::string& key, std::string& value);
    bool AllowWrite();
    platform::ReadResult Find(const std::string& name, platform::RawRegistryValue& value);
    platform::Outcome Store(const std::string& name, platform::RawRegistryValue value);
    std::map<std::string, std::map<std::string, platform::RawRegistryValue>>
        keys_;  // folded key -> folded name
    std::map<std::string, std::string> displayNames_;
    std::map<std::string, std::uint32_t> readErrors_;  // folded full name -> error
    int writes_ = 0;
};

class FakeShell : public platform::Shell {
public:
    struct Call {
        platform::WindowHandle owner;
        std::string verb, file, parameters, directory;
        int showMode;
        platform::ShellFailureBox failureBox = platform::ShellFailureBox::Caller;
    };
    int Execute(platform::WindowHandle owner, const std::string& verb, const std::string& file,
                const std::string& parameters, const std::string& directory, int showMode,
                platform::ShellFailureBox failureBox) override {
        calls.push_back({owner, verb, file, parameters, directory, showMode, failureBox});
        if (onExecute) onExecute(calls.back());
        return result;
    }
    void Prepare() override { ++prepared; }
    std::vector<Call> calls;
    int prepared = 0;
    int result = 42;
    // Runs at the moment of each call, e.g. to look at the owner window as the shell sees it.
    std::function<void(const Call&)> onExecute;
};

class FakeClock : public platform::Clock {
public:
    platform::DateTime UtcNow() override {
        ++utcReads;
        return utc;
    }
    platform::DateTime LocalNow() override { return local; }
    void Sleep(int milliseconds) override { sleptMs += milliseconds; }
    platform::DateTime utc{2026, 12, 10, 12, 0, 0};
    platform::DateTime local{2026, 12, 10, 14, 0, 0};
    int utcReads = 0;
    int sleptMs = 0;
};

class FakeEnvironment : public platform::Environment {
public:
    std::string Get(const std::string& name) override;
    std::map<std::string, std::string> variables;  // names compared case-insensitively
};

class FakeFileSystem : public platform::FileSystem {
public:
    enum class Attr { Normal, Hidden, System, Folder };
    bool IsNormalFile(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    std::vector<std::string> ListFiles(const std::string& folder) override;
    std::vector<std::string> ListFolders(const std::string& folder) override;
    // Error 183 when an entry of that name exists, 5 inside a read-only folder.
    platform::Outcome CreateFolder(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    platform::AppendResult Append(const std::string& path, const std::string& bytes) override;
    // Facts from `linkFacts` when given for the path, otherwise a plain entry with one link;
    // error 2 for a path with no entry. The path counts as held while `held` lives.
    platform::Outcome OpenNoFollow(const std::string& path, platform::PathFacts& facts,
                                   std::unique_ptr<platform::HeldPath>& held) override;
    // As CreateFolder, keeping the security in `security`; then OpenNoFollow.
    platform::Outcome CreateSecuredFolder(const std::string& path, const platform::FolderSecurity& security,
                                          platform::PathFacts& facts,
                                          std::unique_ptr<platform::HeldPath>& held) override;
    std::vector<std::string> ListFilesNoLinks(const std::string& folder) override;
    std::vector<std::string> ListFoldersNoLinks(const std::string& folder) override;
    // A folder (no link) whose `security` entry `expected` accepts goes with everything
    // below it, unless it or something below it is in `inUse` or held.
    platform::RemoveOutcome RemoveFolderTreeIf(
        const std::string& path, const std::function<bool(const platform::FolderSecurity&)>& expected) override;

    void AddFile(const std::string& path, Attr attr = Attr::Normal, std::string content = {});
    std::map<std::string, platform::PathFacts> linkFacts;
    std::map<std::string, platform::FolderSecurity> security;
    std::set<std::string> inUse;
    std::multiset<std::string> held;  // paths held open now
    std::vector<std::string> removedFolders;
    std::map<std::string, std::pair<Attr, std::string>> entries;  // path -> (attribute, content)
    std::set<std::string> readOnlyFolders;
    // Folders whose listing fails (both lists come back empty although they hold entries).
    std::set<std::string> unlistableFolders;
    // The order in which a folder lists its entries (by name); names not given follow in
    // path order. Without it a folder lists in path order.
    std::map<std::string, std::vector<std::string>> listingOrder;
    std::vector<std::string> createdFolders;  // every folder created, in order
    // Answers Busy to this many Append calls before the next one goes through.
    int busyAppends = 0;
    int appendCalls = 0;
    std::vector<std::string> probes;  // every IsNormalFile path, in order

private:
    std::vector<std::string> List(const std::string& folder, bool folders) const;
    bool IsLink(const std::string& path) const;
};

class FakeProcess : public platform::Process {
public:
    std::string CommandLine() override { return commandLine; }
    std::string ModuleFileName() override { return moduleFileName; }
    std::string UserSid() override { return userSid; }
    // As Windows compares SIDs: by value, so "S-1-5-21-01-2" is "S-1-5-21-1-2"; aliases such as
    // "BA" read as SIDs too.
    platform::AccountMatch MatchAccount(const std::string& sid) override;
    std::string userSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
    // Stands in for code page 1252: every byte outside ASCII of a multi-byte UTF-8
    // sequence becomes one "?".
    std::string ToAnsiCodePage(const std::string& utf8) override;
    std::string commandLine = "\"C:\\Program Files\\Kelto\\KeltoClientHelper.exe\"";
    std::string moduleFileName = "C:\\Program Files\\Kelto\\KeltoClientHelper.exe";
};

class FakeChildren : public platform::ChildProcesses {
public:
    std::optional<std::uint32_t> RunAndWait(const std::string& commandLine, int showMode) override {
        commandLines.push_back(commandLine);
        showModes.push_back(showMode);
        if (onRun) onRun(commandLine);
        if (exitCodes.empty()) return 0u;
        auto code = exitCodes.front();
        exitCodes.pop_front();
        return code;
    }
    std::vector<std::string> commandLines;
    std::vector<int> showModes;
    std::deque<std::optional<std::uint32_t>> exitCodes;
    // What the child does to the system while it runs (for example write its output file).
    std::function<void(const std::string& commandLine)> onRun;
};

class FakeSystemRestore : public platform::SystemRestore {
public:
    std::int32_t Bind() override {
        Record("Bind");
        return bindError;
    }
    std::int32_t Enable(const std::string& drive, std::int32_t& result) override {
        Record("Enable " + drive);
        result = enableResult;
        return enableError;
    }
    std::int32_t CreateRestorePoint(const std::string& description, std::int32_t type, std::int32_t eventType,
                                    std::int32_t& result) override {
        Record("CreateRestorePoint " + description + " " + std::to_string(type) + " " +
               std::to_string(eventType));
        result = createResult;
        return createError;
    }
    std::int32_t Restore(std::int32_t sequenceNumber, std::int32_t& result) override {
        Record("Restore " + std::to_string(sequenceNumber));
        result = restoreResult;
        return restoreError;
    }
    std::int32_t Enumerate(std::vector<platform::RestorePointInfo>& out) override {
        Record("Enumerate");
        out = points;
        return enumerateError;
    }
    std::vector<std::string> calls;
    // Runs as each call is made, e.g. to look at the registry at that moment.
    std::function<void(const std::string& call)> onCall;
    std::vector<platform::RestorePointInfo> points;
    std::int32_t bindError = 0, enableResult = 0, enableError = 0, createResult = 0, createError = 0,
                 restoreResult = 0, restoreError = 0, enumerateError = 0;

private:
    void Record(const std::string& call) {
        calls.push_back(call);
        if (onCall) onCall(call);
    }
};

// One machine-wide lock as every process on the machine sees it.
struct FakeMachineMutex {
    const void* holder = nullptr;  // the lock object that holds it; null when free
    bool holderEnded = false;      // the holder's process ended without releasing it
};

// A process's handle on a machine-wide lock. Tests are single-threaded: nothing can release
// a lock another instance holds while this one waits, so such a wait answers as its time
// running out (kWaitTimeout), with the bound it was given recorded.
class FakeMachineLock : public platform::MachineLock {
public:
    platform::Outcome Acquire(std::uint32_t timeoutMs) override {
        waits.push_back(timeoutMs);
        Record("acquire");
        if (openError != 0) return {openError};
        if (machine->holder != nullptr && machine->holder != this && !machine->holderEnded)
            return {platform::kWaitTimeout};
        machine->holder = this;
        machine->holderEnded = false;
        return {};
    }
    void Release() override {
        Record("release");
        if (machine->holder == this) machine->holder = nullptr;
    }
    bool Held() const { return machine->holder == this; }

    // Point two instances' locks at one mutex to share it.
    FakeMachineMutex* machine = &own_;
    // The lock cannot be had at all (e.g. 5, access denied).
    std::uint32_t openError = 0;
    std::vector<std::uint32_t> waits;  // the bound of every Acquire, in milliseconds
    std::vector<std::string> calls;    // "acquire", "release"
    std::function<void(const std::string& call)> onCall;

private:
    void Record(const std::string& call) {
        calls.push_back(call);
        if (onCall) onCall(call);
    }
    FakeMachineMutex own_;
};

// A normal boot unless a test says Safe Mode.
class FakeBootMode : public platform::BootMode {
public:
    bool SafeMode() override { return safeMode; }
    bool safeMode = false;
};

class FakeHttp : public platform::Http {
public:
    std::optional<int> Get(const std::string& url, const platform::HttpTimeouts& timeouts,
                           const std::vector<std::pair<std::string, std::string>>& headers) override {
        requests.push_back({url, timeouts, headers});
        if (onRequest) onRequest();
        return status;
    }
    struct Request {
        std::string url;
        platform::HttpTimeouts timeouts;
        std::vector<std::pair<std::string, std::string>> headers;
    };
    std::vector<Request> requests;
    std::optional<int> status = 204;
    // Runs while the request is in flight: what the caller's window shows meanwhile.
    std::function<void()> onRequest;
};

// Scripted dialogs: each message box takes the next scripted answer (OK when none is left),
// each input box the next scripted text.
class FakeDialogs : public platform::Dialogs {
public:
    struct Box {
        platform::WindowHandle owner;
        std::string text, title;
        unsigned flags;
    };
    int MessageBox(platform::WindowHandle owner, const std::string& text, const std::string& title,
                   unsigned flags) override;
    std::string InputBox(platform::WindowHandle owner, const std::string& prompt,
                         const std::string& title) override;

    std::vector<Box> boxes;
    std::vector<Box> inputBoxes;  // prompt in `text`
    std::deque<int> answers;
    std::deque<std::string> inputs;
};

class FakeMainWindow : public ui::MainWindowView {
public:
    platform::WindowHandle Owner() override { return handle; }
    // As Windows would have it: the window while it is on screen.
    platform::WindowHandle ShellOwner() override { return visible ? handle : 0; }
    void Show() override {
        events.push_back("show");
        visible = true;
    }
    void Hide() override {
        events.push_back("hide");
        visible = false;
    }
    void ShowStatus(const std::string& text) override {
        texts[ui::kLblStatus] = text;
        events.push_back("status " + text);
    }
    // As Windows would have it: shown with its one line, and the foreground window until the
    // prompt has been answered.
    platform::WindowHandle BeginSystemPrompt(const std::string& text) override {
        events.push_back("prompt " + text);
        shownForPrompt = !visible;
        if (shownForPrompt) {
            texts[ui::kLblStatus] = text;
            visible = true;
        }
        foreground = true;
        return handle;
    }
    void PrepareSystemPrompt() override { ++promptsPrepared; }
    void EndSystemPrompt() override {
        events.push_back("prompt end");
        if (shownForPrompt) visible = false;
        shownForPrompt = false;
    }
    void SetWindowBackground(ui::Rgb colour) override { windowBackground = colour; }
    void SetControlText(int id, const std::string& text) override {
        texts[id] = text;
        events.push_back("text " + std::to_string(id) + " " + text);
    }
    void SetControlTextColour(int id, ui::Rgb colour) override { textColours[id] = colour; }
    void SetControlBackground(int id, ui::Rgb colour) override { backgrounds[id] = colour; }
    void Unload() override {
        events.push_back("unload");
        unloaded = true;
    }
    void ShowEthernetGuide(bool owned) override;

    platform::WindowHandle handle = 0x1234;
    bool visible = false;
    bool foreground = false;
    int promptsPrepared = 0;
    bool shownForPrompt = false;
    bool unloaded = false;
    std::optional<ui::Rgb> windowBackground;
    std::map<int, std::string> texts;
    std::map<int, ui::Rgb> textColours;
    std::map<int, ui::Rgb> backgrounds;
    std::vector<std::string> events;
    // What the cable guide does while it is shown (for example report a launched action).
    std::function<void()> onEthernetGuide;
};

// A window built from a layout table (`View` extends ui::FormView): starts with the designed
// captions, every control enabled, and records every change.
template <class View>
class FakeFormView : public View {
public:
    FakeFormView(std::span<const ui::ControlSpec> layout, platform::WindowHandle windowHandle)
        : handle(windowHandle) {
        for (const auto& spec : layout) {
            texts[spec.id] = spec.caption;
            enabled[spec.id] = true;
        }
    }
    platform::WindowHandle Handle() override { return handle; }
    void SetWindowBackground(ui::Rgb colour) override { windowBackground = colour; }
    void SetControlText(int id, const std::string& text) override {
        texts[id] = text;
        events.push_back("text " + std::to_string(id) + " " + text);
    }
    std::string ControlText(int id) override { return texts[id]; }
    void EnableControl(int id, bool on) override {
        enabled[id] = on;
        events.push_back((on ? "enable " : "disable ") + std::to_string(id));
    }
    void PumpMessages() override { events.push_back("pump"); }
    void Close() override {
        events.push_back("close");
        closed = true;
    }

    platform::WindowHandle handle;
    std::optional<ui::Rgb> windowBackground;
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    // "text ID TEXT", "enable ID", "disable ID", "pump", "close", and what the window adds
    std::vector<std::string> events;
    bool closed = false;
};

// The offline support window.
class FakeOfflineSupportView : public FakeFormView<ui::OfflineSupportView> {
public:
    FakeOfflineSupportView() : FakeFormView(ui::kOfflineLayout, 0x5678) {}
    void SetControlTextColour(int id, ui::Rgb colour) override { textColours[id] = colour; }
    void SetControlBackground(int id, ui::Rgb colour) override { backgrounds[id] = colour; }
    void AppendActivityLine(const std::string& line) override { activity.push_back(line); }
    void AnnounceConnection() override { events.push_back("announce " + texts[ui::kOffLblConnection]); }

    std::map<int, ui::Rgb> textColours;
    std::map<int, ui::Rgb> backgrounds;
    std::vector<std::string> activity;
};

// The cable guide; its events add "picture", "hide" and "offline window".
class FakeEthernetGuideView : public FakeFormView<ui::EthernetGuideView> {
public:
    FakeEthernetGuideView() : FakeFormView(ui::kGuideLayout, 0x9abc) {}
    bool LoadPicture() override {
        events.push_back("picture");
        return pictureLoads;
    }
    void Hide() override { events.push_back("hide"); }
    void ShowOfflineSupport() override {
        events.push_back("offline window");
        if (onOfflineSupport) onOfflineSupport();
    }

    bool pictureLoads = true;
    // What the offline window does while it is shown (for example send an action).
    std::function<void()> onOfflineSupport;
};

// One of each double, bundled as the system and context the logic takes.
struct FakeSystem {
    FakeRegistry registry;
    FakeShell shell;
    FakeClock clock;
    FakeEnvironment environment;
    FakeFileSystem files;
    FakeProcess process;
    FakeChildren children;
    FakeSystemRestore systemRestore;
    FakeHttp http;
    FakeDialogs dialogs;
    FakeMachineLock restoreLock;
    FakeBootMode boot;
    // Each fake system is a new run of the program.
    bool runStarted = (intake::StartLogRun(), true);
    platform::System system{registry, shell,         clock, environment, files,      process,
                            children, systemRestore, http,  dialogs,     restoreLock, boot};

    FakeMainWindow mainWindow;
    intake::RequestState request;
    intake::Context context{system, request, mainWindow};

    // The log as written (bytes as they would reach the file), split into lines without CR LF.
    std::vector<std::string> LogLines() const;
    // The messages of the log lines, without their timestamps.
    std::vector<std::string> LogMessages() const;
    std::string LogPath() const { return "C:\\Program Files\\Kelto\\KeltoClientHelper.log"; }
};

}  // namespace kelto::testing

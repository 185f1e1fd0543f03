#include "roads_win.h"

#include <windows.h>
// After <windows.h>.
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>
#include <userenv.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "kit_win.h"
#include "rescue_win.h"
#include "token/token.h"
#include "zip_store.h"

namespace kelto::acceptance {

namespace {

// The helper's texts as the customer sees them.
constexpr const char* kMainWindowTitle = "Kelto Remote - כלי תמיכה ללקוח - גרסה 1.12.0";
constexpr const char* kInstallCaption = "הפעל פעולות Kelto";
constexpr const char* kRegisteredText = "כלי העזר הופעל בהצלחה.";
constexpr const char* kTokenPromptTitle = "אישור פעולה - Kelto";
constexpr const char* kConsentTitle = "בקשת פעולה מ-Kelto";
constexpr const char* kRestoreTitle = "Kelto - נקודת שחזור";
constexpr const char* kOfflineButtonCaption = "אין לי אינטרנט - פתח טיפול ללא חיבור";
constexpr const char* kGuideTitle = "Kelto Remote - ניסיון חיבור באמצעות כבל רשת";
constexpr const char* kOfflineTitle = "Kelto Remote - טיפול ללא אינטרנט";
constexpr const char* kCableCaption = "חיברתי כבל - בדוק חיבור";
constexpr const char* kStillOfflineText = "עדיין אין גישה לאינטרנט.\r\nלעבור לפעולות התיקון הנוספות?";
constexpr const char* kInternetBackText = "החיבור לאינטרנט חזר בהצלחה.\r\nאפשר לחזור לאתר ולהמשיך את הטיפול.";
const milliseconds kWait{20000};
const milliseconds kPromptWait{120000};
const std::wstring kLogName = L"KeltoClientHelper.log";

// Marks and line breaks made visible for the report.
std::string Visible(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 3) == "\xE2\x80\x8F") {
            out += "<U+200F>";
            i += 2;
        } else if (text[i] == '\r') {
            out += "<CR>";
        } else if (text[i] == '\n') {
            out += "<LF>";
        } else {
            out += text[i];
        }
    }
    return out;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Waits until an Explorer window shows the folder; `listed` gets the folders Explorer shows
// (" a; b;") and, where they could not be read, why.
bool WaitForExplorerFolder(const std::wstring& folder, std::string& listed) {
    std::vector<std::wstring> shown;
    std::string reason;
    bool found = false;
    PollUntil(
        Deadline::In(kWait),
        [&] {
            const auto folders = ExplorerFolders(reason);
            if (!folders) return true;
            shown = *folders;
            found =
                std::any_of(shown.begin(), shown.end(), [&](const auto& f) { return SamePath(f, folder); });
            return found;
        },
        milliseconds(250));
    listed.clear();
    for (const auto& f : shown) listed += " " + Narrow(f) + ";";
    if (!reason.empty()) listed += " " + reason;
    return found;
}

// Waits for a visible top-level window of the process with this title; false when none came.
bool WaitForWindowTitled(DWORD processId, const std::string& title, e2e::WindowSnapshot& found) {
    return PollUntil(Deadline::In(kWait), [&] {
        for (HWND w : e2e::VisibleTopLevelWindows(processId)) {
            if (e2e::TextOf(w) == title) {
                found = e2e::Snapshot(w);
                return true;
            }
        }
        return false;
    });
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring WindowsFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(path, MAX_PATH);
    return std::wstring(path, n);
}

// The answer to a box the kit did not expect: the one that changes nothing (No, Cancel, OK).
int SafeButton(const e2e::WindowSnapshot& box) {
    const auto ids = box.ButtonIds();
    for (int id : {IDNO, IDCANCEL, IDOK}) {
        for (int b : ids) {
            if (b == id) return id;
        }
    }
    return ids.empty() ? IDOK : ids.back();
}

class Kit {
public:
    Kit(const Options& options, std::wstring helper, std::wstring reportDir)
        : options_(options), helper_(std::move(helper)), reportDir_(std::move(reportDir)) {}

    int Run();

private:
    const Options& options_;
    std::wstring helper_;
    std::wstring reportDir_;
    SystemFacts facts_;
    std::vector<Check> checks_;
    ProcessWatcher watcher_;
    WmiProcessEvents wmi_;
    bool wmiRunning_ = false;
    std::string wmiReason_;
    std::wstring launchRecord_;
    size_t logStart_ = 0;
    std::string sessionId_;
    int pictureCount_ = 0;
    std::vector<std::string> ended_;

    bool Wine() const { return facts_.underWine; }
    void Add(std::string name, Status status, std::string evidence, std::vector<std::string> pictures = {}) {
        std::printf("  %-58s %s\n", name.c_str(), std::string(StatusText(status)).c_str());
        std::fflush(stdout);
        // A screenshot that could not be taken leaves no empty picture behind.
        std::erase(pictures, std::string());
        checks_.push_back({std::move(name), status, std::move(evidence), std::move(pictures)});
    }
    void Say(const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

    bool IsHelper(const SeenProcess& p) const { return SamePath(p.image, helper_); }
    std::wstring SystemFile(const wchar_t* name) const { return WindowsFolder() + L"\\System32\\" + name; }
    std::string NewLog() const;
    std::string SavePicture(HWND window, const std::string& name);

    // Starting things the way the customer's desktop does.
    std::string OpenThroughShell(const std::wstring& file, const std::wstring& arguments);
    SeenProcess* WaitForHelper(ULONGLONG since, DWORD except = 0, milliseconds wait = kWait);
    void CheckUnelevated(const std::string& road, SeenProcess& helper, const std::string& how);
    std::optional<e2e::WindowSnapshot> NextDialog(const SeenProcess& process, milliseconds wait = kWait);
    void Answer(const e2e::WindowSnapshot& box, int button);
    void InspectBox(const e2e::WindowSnapshot& box, const std::string& label, std::string_view expectedText);
    std::string EndProcessesOfRoad(const std::function<bool(const SeenProcess&)>& also);

    // The roads.
    void Registration();
    bool TypeToken(const e2e::WindowSnapshot& box, std::string& evidence);
    void UrlRoad(const std::string& key, bool first, bool restorePoint = false);
    void Launched(const std::string& key, ULONGLONG since, milliseconds wait);
    void RestorePointRoad();
    void Rollback();
    void StandardUserRoad();
    void RescueVmRoad();
    std::wstring password_;  // of --standard-user, read from the console; wiped after use
    void OfflineAndGuide();
    void RealWindowsOnly();
};

std::string Kit::NewLog() const {
    const std::string bytes = e2e::ReadWholeFile(FolderOf(helper_) + L"\\" + kLogName);
    return bytes.size() > logStart_ ? AnsiToUtf8(bytes.substr(logStart_)) : std::string();
}

std::string Kit::SavePicture(HWND window, const std::string& name) {
    auto image = PrintWindowImage(window);
    if (!image) image = e2e::CaptureWindow(window);
    if (!image) return {};
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d-", ++pictureCount_);
    const std::string file = prefix + name + ".bmp";
    if (!e2e::WriteBmp(reportDir_ + L"\\" + Widen(file), *image)) return {};
    return file;
}

std::string Kit::OpenThroughShell(const std::wstring& file, const std::wstring& arguments) {
    std::string reason;
    if (!Wine() && ShellExecuteAsDesktop(file, arguments, reason))
        return "the desktop's shell (IShellDispatch2::ShellExecute)";
    // Under Wine (no desktop folder view to ask), or where that failed: the kit's own shell
    // call, which starts the helper with the kit's token; the elevation check says so.
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool ok = ::ShellExecuteExW(&info);
    return std::string("the kit's own ShellExecuteExW") + (ok ? "" : " (failed)") +
           (reason.empty() ? "" : "; the desktop's shell: " + reason);
}

SeenProcess* Kit::WaitForHelper(ULONGLONG since, DWORD except, milliseconds wait) {
    return watcher_.WaitFor(
        [&](const SeenProcess& p) { return IsHelper(p) && p.seenAt >= since && p.id != except; },
        Deadline::In(wait));
}

void Kit::CheckUnelevated(const std::string& road, SeenProcess& helper, const std::string& how) {
    const std::string name = road + ": helper starts unelevated, as from the browser";
    if (Wine()) {
        Add(name, Status::NotUnderWine,
            "Wine runs every process with full rights and has no desktop folder view "
            "to start it through; started by " +
                how);
        return;
    }
    const auto type = ElevationTypeOf(helper.handle.get());
    const char* names[] = {"?", "default", "full (elevated)", "limited (unelevated)"};
    const std::string typeName = type && *type >= 1 && *type <= 3 ? names[*type] : "unknown";
    Add(name, type && *type == 3 ? Status::Pass : Status::Fail,
        "TokenElevationType: " + typeName + "; started by " + how);
}

std::optional<e2e::WindowSnapshot> Kit::NextDialog(const SeenProcess& process, milliseconds wait) {
    bool found = false;
    PollUntil(Deadline::In(wait), [&] {
        for (HWND w : e2e::VisibleTopLevelWindows(process.id)) {
            if (e2e::ClassNameOf(w) == "#32770") found = true;
        }
        return found || !watcher_.IsRunning(process);
    });
    if (!found) return std::nullopt;
    try {
        return e2e::WaitForDialog(process.id, Deadline::In(kWait));
    } catch (const e2e::DriverError&) {
        return std::nullopt;
    }
}

void Kit::Answer(const e2e::WindowSnapshot& box, int button) {
    e2e::Press(box.hwnd, button);
    e2e::WaitUntilGone(box.hwnd, Deadline::In(kWait));
}

void Kit::InspectBox(const e2e::WindowSnapshot& box, const std::string& label,
                     std::string_view expectedText) {
    const std::string picture = SavePicture(box.hwnd, label);
    std::vector<std::string> pictures;
    if (!picture.empty()) pictures.push_back(picture);
    // The driver hands the text without the marks it begins with, and counts them apart.
    const bool marks = box.leadingRightToLeftMarks == 2;
    std::string textNote =
        std::to_string(box.leadingRightToLeftMarks) + " leading U+200F, then text: " + Visible(box.text);
    if (!expectedText.empty() && box.text != expectedText)
        textNote += " (expected: " + Visible(expectedText) + ")";
    Add("box " + label + ": text begins with two U+200F marks",
        marks && (expectedText.empty() || box.text == expectedText) ? Status::Pass : Status::Fail, textNote,
        pictures);
    std::string why;
    const bool button = HasTaskbarButton(box.hwnd, why);
    Add("box " + label + ": has a taskbar button (owner and styles)", button ? Status::Pass : Status::Fail,
        why);

    // The end stop of the last line: at the left end when the box reads right to left.
    const std::string& plain = box.text;
    const auto* textControl = box.ControlWithId(0xFFFF);
    if (plain.empty() || plain.back() != '.' || textControl == nullptr) return;
    const std::string name = "box " + label + ": full stop drawn at the left end (pixels)";
    std::optional<e2e::Image> image;
    if (auto whole = PrintWindowImage(box.hwnd)) {
        RECT w;
        ::GetWindowRect(box.hwnd, &w);
        const RECT& c = textControl->screenRect;
        e2e::Image crop;
        crop.width = c.right - c.left;
        crop.height = c.bottom - c.top;
        if (crop.width > 0 && crop.height > 0 && c.left >= w.left && c.top >= w.top &&
            c.right - w.left <= whole->width && c.bottom - w.top <= whole->height) {
            for (int y = 0; y < crop.height; ++y)
                for (int x = 0; x < crop.width; ++x)
                    crop.pixels.push_back(whole->At(c.left - w.left + x, c.top - w.top + y));
            image = crop;
        }
    }
    std::string how = "PrintWindow";
    std::string why2;
    StopPlace place = image ? EndStopPlace(*image, why2) : StopPlace::Unknown;
    if (place == StopPlace::Unknown) {
        how = "the screen";
        image = e2e::CaptureScreen(textControl->screenRect);
        place = image ? EndStopPlace(*image, why2) : StopPlace::Unknown;
    }
    const std::string evidence = "UI language " + facts_.uiLanguage + "; from " + how + ": " + why2;
    if (Wine()) {
        // Wine lays a message box's text out left to right whatever MB_RTLREADING and the
        // marks ask for: what it draws says nothing of Windows.
        const char* seen = place == StopPlace::Left    ? "left"
                           : place == StopPlace::Right ? "right"
                                                       : "not told apart";
        Add(name, Status::NotUnderWine,
            evidence + "; Wine draws message-box text left to right; the stop was seen at the " + seen +
                " end",
            pictures);
    } else if (place == StopPlace::Left)
        Add(name, Status::Pass, evidence + "; the stop is at the left end", pictures);
    else if (place == StopPlace::Right)
        Add(name, Status::Fail, evidence + "; the stop is at the right end (left-to-right reading)",
            pictures);
    else
        Add(name, Status::NeedsPerson, evidence + "; no stop told apart: look at the screenshot", pictures);
}

std::string Kit::EndProcessesOfRoad(const std::function<bool(const SeenProcess&)>& also) {
    auto ended = watcher_.EndDescendants([&](const SeenProcess& p) { return IsHelper(p); }, also);
    std::string text;
    for (auto& line : ended) {
        text += (text.empty() ? "" : "; ") + line;
        ended_.push_back(std::move(line));
    }
    return text;
}

// ---- Registration from the main window ----

void Kit::Registration() {
    Say("road: registration from the main window");
    const ULONGLONG since = ::GetTickCount64();
    const std::string how = OpenThroughShell(helper_, L"");
    SeenProcess* helper = WaitForHelper(since);
    if (helper == nullptr) {
        Add("registration: main window", Status::Fail, "no helper process was seen; started by " + how);
        return;
    }
    CheckUnelevated("registration", *helper, how);
    try {
        const auto window = e2e::WaitForMainWindow(helper->id, Deadline::In(kWait));
        const std::string picture = SavePicture(window.hwnd, "main-window");
        const auto* install = window.ControlWithText(kInstallCaption);
        if (window.title != kMainWindowTitle || install == nullptr) {
            Add("registration: main window", Status::Fail,
                "title \"" + window.title + "\", install button " + (install ? "found" : "missing"),
                {picture});
            return;
        }
        e2e::PressControl(install->hwnd);
        const auto box = NextDialog(*helper);
        if (!box) {
            Add("registration: main window", Status::Fail, "no box after Install");
            return;
        }
        InspectBox(*box, "registered", kRegisteredText);
        Answer(*box, IDOK);
        ::PostMessageW(window.hwnd, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(helper->handle.get(), 15000);
        Add("registration: main window", box->text == kRegisteredText ? Status::Pass : Status::Fail,
            "box \"" + box->title + "\": " + Visible(box->text), {picture});
    } catch (const e2e::DriverError& e) {
        Add("registration: main window", Status::Fail, e.what());
        return;
    }
    if (Wine()) {
        // Test-bench adaptation: Wine's shell finds URL schemes only under HKLM\Software\Classes.
        CopyKey(HKEY_CURRENT_USER, L"Software\\Classes\\kelto", HKEY_LOCAL_MACHINE,
                L"Software\\Classes\\kelto");
    }
    const std::wstring command = AssociatedCommand();
    const std::wstring executable = AssociatedExecutable();
    const std::wstring expected = L"\"" + helper_ + L"\" \"%1\"";
    std::string evidence = "AssocQueryStringW(ASSOCF_IS_PROTOCOL, \"kelto\"): command " + Narrow(command) +
                           "; executable " + Narrow(executable);
    if (Wine())
        evidence +=
            "; under Wine the registration was copied to HKLM\\Software\\Classes for the shell to find it";
    Add("registration: the kelto: handler as the shell sees it",
        SamePath(command, expected) && SamePath(executable, helper_) ? Status::Pass : Status::Fail, evidence);
}

// ---- The URL road ----

bool Kit::TypeToken(const e2e::WindowSnapshot& box, std::string& evidence) {
    // A token window with at least 30 s left, so that six keys and Enter land in it.
    std::int32_t window = 0;
    const bool settled = PollUntil(
        Deadline::In(milliseconds(40000)),
        [&] {
            SYSTEMTIME t;
            ::GetSystemTime(&t);
            const auto seconds =
                token::SecondsSinceEpoch({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond});
            window = token::WindowOfSeconds(seconds);
            return token::OffsetOfSeconds(seconds) < token::kWindowSeconds - 30;
        },
        milliseconds(200));
    if (!settled) {
        evidence = "the clock did not reach a new token window";
        return false;
    }
    const std::string code = token::ComputeToken(window);
    try {
        for (char digit : code) e2e::TypeKey(box.hwnd, static_cast<UINT>(digit), Deadline::In(kWait));
        // Key input reaches the box through its message queue: the text follows a moment later.
        HWND entry = nullptr;
        for (const auto& c : box.controls) {
            if (c.className == "Edit" && entry == nullptr) entry = c.hwnd;
        }
        std::string typed;
        PollUntil(Deadline::In(milliseconds(5000)), [&] {
            typed = entry != nullptr ? e2e::TextOf(entry) : std::string();
            return typed == code;
        });
        e2e::TypeKey(box.hwnd, VK_RETURN, Deadline::In(kWait));
        e2e::WaitUntilGone(box.hwnd, Deadline::In(kWait));
        evidence = "typed with SendInput: the entry field held \"" + typed + "\" (token of window " +
                   std::to_string(window) + ": " + code + "), then Enter";
        return typed == code;
    } catch (const e2e::DriverError& e) {
        evidence = std::string("typing the token: ") + e.what();
        return false;
    }
}

void Kit::UrlRoad(const std::string& key, bool first, bool restorePoint) {
    Say("road: kelto:" + key + " through the shell");
    const std::string road = "url " + key;
    const std::wstring url = Widen("kelto:" + key + "/sid/" + sessionId_);
    const ULONGLONG since = ::GetTickCount64();
    watcher_.Baseline();
    const std::string how = OpenThroughShell(url, L"");
    SeenProcess* request = WaitForHelper(since);
    if (request == nullptr) {
        Add(road + ": helper started for the URL", Status::Fail,
            "no helper process was seen; opened by " + how);
        return;
    }
    if (first) CheckUnelevated("url", *request, how);
    std::string problems;
    bool consented = false;
    bool restoreAsked = false;
    for (int step = 0; step < 5; ++step) {
        const auto box = NextDialog(*request);
        if (!box) break;
        if (box->title == kTokenPromptTitle) {
            std::string why;
            const bool button = HasTaskbarButton(box->hwnd, why);
            const std::string picture = SavePicture(box->hwnd, "token-box");
            if (first)
                Add("box token: has a taskbar button (owner and styles)",
                    button ? Status::Pass : Status::Fail, why, {picture});
            if (!first) problems += "the token was asked again in an authorized session; ";
            std::string evidence;
            const bool typed = TypeToken(*box, evidence);
            Add(road + ": token typed with real key input", typed ? Status::Pass : Status::Fail, evidence);
            if (!typed) break;
        } else if (box->title == kConsentTitle) {
            if (first) InspectBox(*box, "consent", {});
            consented = true;
            Answer(*box, IDYES);
        } else if (box->title == kRestoreTitle) {
            if (first) InspectBox(*box, "restore-question", {});
            restoreAsked = true;
            // The owner window at the moment of the elevation request: watched from here on.
            Answer(*box, restorePoint ? IDYES : IDNO);
            break;
        } else {
            InspectBox(*box, key + "-unexpected", {});
            problems += "unexpected box \"" + box->title + "\": " + Visible(box->text) + "; ";
            Answer(*box, SafeButton(*box));
            break;
        }
    }
    if (!consented) problems += "no consent box; ";

    // The elevation prompt: a person approves it on the secure desktop, the kit never does.
    if (!Wine() && consented) {
        Say("  approve the Windows prompt now (waiting up to 2 minutes)");
    }
    bool ownerForeground = false;
    std::string foregroundSeen;
    SeenProcess* elevated = nullptr;
    if (consented) {
        PollUntil(Deadline::In(Wine() ? kWait : kPromptWait), [&] {
            HWND fg = ::GetForegroundWindow();
            DWORD fgProcess = 0;
            ::GetWindowThreadProcessId(fg, &fgProcess);
            if (fg != nullptr && fgProcess == request->id && ::IsWindowVisible(fg)) {
                ownerForeground = true;
                foregroundSeen = "\"" + e2e::TextOf(fg) + "\"";
            }
            watcher_.Poll();
            for (auto& p : watcher_.Seen()) {
                if (IsHelper(p) && p.seenAt >= since && p.id != request->id) elevated = &p;
            }
            return elevated != nullptr;
        });
    }
    if (first) {
        if (Wine()) {
            Add("elevation prompt: comes up in front (owner shown and foreground at the request)",
                Status::NotUnderWine,
                std::string(
                    "Wine starts \"runas\" at once, without a prompt; a visible foreground window of the "
                    "requesting helper was ") +
                    (ownerForeground ? "seen: " + foregroundSeen : "not seen"));
        } else {
            Add("elevation prompt: comes up in front (owner shown and foreground at the request)",
                ownerForeground ? Status::Pass : Status::Fail,
                ownerForeground
                    ? "the requesting helper's window " + foregroundSeen +
                          " was the foreground window while the prompt was requested (the secure "
                          "desktop itself cannot be seen from here)"
                    : "no visible window of the requesting helper was in the foreground: Windows shows "
                      "the prompt as a flashing taskbar button");
        }
    }
    if (consented && elevated == nullptr)
        problems += "no elevated instance started (prompt not approved in time?); ";
    if (elevated != nullptr) {
        if (first && !Wine()) {
            const auto type = ElevationTypeOf(elevated->handle.get());
            Add("elevation: the relaunched helper is elevated",
                type && *type == 2 ? Status::Pass : Status::Fail,
                "TokenElevationType " + (type ? std::to_string(*type) : std::string("unknown")));
        }
        // A box of the elevated instance is a refusal or a failure.
        if (const auto box = NextDialog(*elevated, milliseconds(3000))) {
            InspectBox(*box, key + "-elevated", {});
            problems += "the elevated instance showed \"" + box->title + "\": " + Visible(box->text) + "; ";
            Answer(*box, SafeButton(*box));
        }
    }
    if (first) {
        Add("url: restore-point question asked, answered No", restoreAsked ? Status::Pass : Status::Fail,
            restoreAsked ? "asked before the elevation" : "no restore question");
    }
    if (!problems.empty()) Add(road + ": road", Status::Fail, problems + "log: " + NewLog());
    // Making a restore point may take minutes before the program starts.
    if (consented && elevated != nullptr) Launched(key, since, milliseconds(restorePoint ? 600000 : 30000));
    const std::string ended = EndProcessesOfRoad([](const SeenProcess&) { return false; });
    if (!ended.empty()) Say("  " + ended);
}

void Kit::Launched(const std::string& key, ULONGLONG since, milliseconds wait) {
    const std::wstring windir = WindowsFolder();
    std::wstring expected;
    if (key == "ipconfig" || key == "cmd")
        expected = SystemFile(L"cmd.exe");
    else if (key == "control" || key == "network")
        expected = SystemFile(L"control.exe");
    else if (key == "devices" || key == "events")
        expected = SystemFile(L"mmc.exe");
    else if (key == "taskmgr")
        expected = SystemFile(L"Taskmgr.exe");
    else if (key == "msinfo")
        expected = SystemFile(L"msinfo32.exe");
    else if (key == "temp")
        expected = windir + L"\\explorer.exe";
    else if (key == "windowsupdate")
        // Under Wine the test bench's ms-settings class names a stand-in in the system folder.
        expected = Wine() ? SystemFile(L"SystemSettings.exe")
                          : windir + L"\\ImmersiveControlPanel\\SystemSettings.exe";
    // Test-bench adaptation: under Wine the settings page is the bench's class entry (a
    // stand-in that a 32-bit shell may reach through either system folder) and Explorer is
    // Wine's own, so only the program's file name is compared for these two.
    const bool nameOnly = Wine() && (key == "windowsupdate" || key == "temp");
    const std::wstring expectedName = expected.substr(expected.find_last_of(L'\\') + 1);
    auto sameProgram = [&](const std::wstring& image) {
        if (!nameOnly) return SamePath(image, expected);
        const std::wstring file = image.substr(image.find_last_of(L'\\') + 1);
        return SamePath(file, expectedName);
    };
    auto matches = [&](const SeenProcess& p) { return sameProgram(p.image) && p.seenAt >= since; };
    SeenProcess* seen = watcher_.WaitFor(matches, Deadline::In(wait));

    // What else the road started, for the evidence.
    std::string started;
    for (const auto& p : watcher_.Seen()) {
        if (p.seenAt >= since && !IsHelper(p))
            started += " " + Narrow(p.image) + " (parent " + std::to_string(p.parentId) + ");";
    }
    std::string commandLine;
    bool wmiSaw = false;
    for (const auto& e : wmi_.Events()) {
        if (sameProgram(e.image)) {
            wmiSaw = true;
            commandLine = "WMI: " + Narrow(e.commandLine);
        }
    }
    if (Wine() && !launchRecord_.empty()) {
        // The test bench's stand-ins record their own command line.
        const std::string record = e2e::ReadWholeFile(launchRecord_);
        size_t at = 0;
        while (at < record.size()) {
            const size_t end = record.find('\n', at);
            const std::string line =
                record.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? record.size() : end + 1;
            if (sameProgram(Widen(line.substr(0, line.find('\t')))))
                commandLine = "stand-in record: " + line.substr(line.rfind('\t') + 1);
        }
    }
    std::string evidence =
        "expected " + Narrow(expected) + (nameOnly ? " (under Wine: its file name)" : "") +
        "; seen by polling: " + (seen ? "yes, process " + std::to_string(seen->id) : std::string("no")) +
        "; WMI: " + (wmiRunning_ ? (wmiSaw ? "yes" : "no") : "not running (" + wmiReason_ + ")") +
        "; started on this road:" + (started.empty() ? " nothing seen" : started);
    if (!commandLine.empty()) evidence += "; command line, " + commandLine;
    const std::string name = "catalogue " + key + ": launched program's image path";
    if (key == "events" && Wine() && !seen) {
        Add(name, Status::NotUnderWine,
            evidence +
                "; Wine has no MMC: the test bench's 32-bit stand-in does not restart itself as the 64-bit "
                "console, as mmc.exe does on 64-bit Windows");
    } else {
        Add(name, seen || wmiSaw ? Status::Pass : Status::Fail, evidence);
    }

    if (key == "temp") {
        std::wstring tempFolder(MAX_PATH, L'\0');
        tempFolder.resize(::GetEnvironmentVariableW(L"TEMP", tempFolder.data(), MAX_PATH));
        const std::string folderCheck = "catalogue temp: Explorer shows the account's TEMP folder";
        if (Wine()) {
            Add(folderCheck, Status::NotUnderWine,
                "Wine's Explorer windows are not listed by IShellWindows; expected " + Narrow(tempFolder));
        } else {
            std::string listed;
            const bool found = WaitForExplorerFolder(tempFolder, listed);
            Add(folderCheck, found ? Status::Pass : Status::Fail,
                "expected " + Narrow(tempFolder) + "; IShellWindows lists:" + listed +
                    " (the window is left open for the person to close)");
        }
    }
    EndProcessesOfRoad(matches);
}

// ---- Offline support and the cable guide ----

void Kit::OfflineAndGuide() {
    Say("road: the cable guide and the offline support window");
    const ULONGLONG since = ::GetTickCount64();
    watcher_.Baseline();
    const std::string how = OpenThroughShell(helper_, L"");
    SeenProcess* helper = WaitForHelper(since);
    if (helper == nullptr) {
        Add("offline: cable guide", Status::Fail, "no helper process was seen; started by " + how);
        return;
    }
    try {
        const auto window = e2e::WaitForMainWindow(helper->id, Deadline::In(kWait));
        const auto* offline = window.ControlWithText(kOfflineButtonCaption);
        if (offline == nullptr) throw e2e::DriverError("no offline support button in the main window");
        e2e::PressControl(offline->hwnd);
        e2e::WindowSnapshot guide;
        if (!WaitForWindowTitled(helper->id, kGuideTitle, guide))
            throw e2e::DriverError("the cable guide did not open: " + e2e::DescribeWindows(helper->id));
        const std::string guidePicture = SavePicture(guide.hwnd, "cable-guide");
        Add("offline: cable guide shown", Status::NeedsPerson,
            "look at the screenshot: coloured buttons, Hebrew read right to left", {guidePicture});
        const auto* cable = guide.ControlWithText(kCableCaption);
        if (cable == nullptr) throw e2e::DriverError("no cable test button in the guide");
        e2e::PressControl(cable->hwnd);
        const auto answer = NextDialog(*helper, milliseconds(60000));
        if (!answer) throw e2e::DriverError("no answer of the cable test");
        const std::string text = answer->text;
        const std::string picture = SavePicture(answer->hwnd, "cable-test-answer");
        if (text == kInternetBackText) {
            Add("offline: connectivity probe", Status::Pass, "the probe reports: online", {picture});
            Answer(*answer, IDOK);
            Add("offline: offline support window", Status::NotHere,
                "the internet is there, so the guide does not lead on to the offline window");
        } else if (text == kStillOfflineText) {
            Add("offline: connectivity probe", Status::Pass, "the probe reports: offline", {picture});
            Answer(*answer, IDYES);
            e2e::WindowSnapshot offlineWindow;
            if (!WaitForWindowTitled(helper->id, kOfflineTitle, offlineWindow))
                throw e2e::DriverError("the offline window did not open: " +
                                       e2e::DescribeWindows(helper->id));
            const std::string offlinePicture = SavePicture(offlineWindow.hwnd, "offline-window");
            std::string why;
            const bool button = HasTaskbarButton(offlineWindow.hwnd, why);
            Add("offline: offline support window has a taskbar button", button ? Status::Pass : Status::Fail,
                why);
            Add("offline: coloured button captions (Hebrew, Latin, full stop)", Status::NeedsPerson,
                "look at the screenshot: each caption reads right to left, its full stop at the left end",
                {offlinePicture});
            ::PostMessageW(offlineWindow.hwnd, WM_CLOSE, 0, 0);
        } else {
            Add("offline: connectivity probe", Status::Fail,
                "unexpected answer \"" + answer->title + "\": " + Visible(answer->text), {picture});
            Answer(*answer, SafeButton(*answer));
        }
    } catch (const e2e::DriverError& e) {
        Add("offline: cable guide and offline window", Status::Fail, e.what());
    }
    // Whatever is left of this road's helper: its windows closed, or ended through its handle.
    for (HWND w : e2e::VisibleTopLevelWindows(helper->id)) ::PostMessageW(w, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(helper->handle.get(), 5000);
    EndProcessesOfRoad([](const SeenProcess&) { return false; });
}

// ---- A restore point before an action ----

namespace {
// "yyyymmdd-hhnnss" of a local time.
std::string Stamp(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

SYSTEMTIME LocalNow() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return t;
}

ULONGLONG Seconds(const SYSTEMTIME& t) {
    FILETIME f;
    ::SystemTimeToFileTime(&t, &f);
    return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000000ULL;
}
}  // namespace

void Kit::RestorePointRoad() {
    const char* key = "cmd";
    const SYSTEMTIME from = LocalNow();
    UrlRoad(key, false, true);
    const SYSTEMTIME to = LocalNow();
    std::string reason;
    const auto points = RestorePointDescriptions(reason);
    // The description names the local second the elevated instance made it in: one of the
    // seconds of this road.
    std::string found;
    std::string listed;
    if (points) {
        for (const auto& p : *points) {
            const std::string d = Narrow(p);
            listed += " \"" + d + "\";";
            const std::string prefix = std::string("Kelto Before ") + key + " ";
            if (d.size() != prefix.size() + 15 || d.compare(0, prefix.size(), prefix) != 0) continue;
            for (ULONGLONG s = Seconds(from); s <= Seconds(to); ++s) {
                FILETIME f;
                const ULONGLONG ticks = s * 10000000ULL;
                f.dwLowDateTime = static_cast<DWORD>(ticks);
                f.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
                SYSTEMTIME t;
                ::FileTimeToSystemTime(&f, &t);
                if (d == prefix + Stamp(t)) found = d;
            }
        }
    }
    const std::string log = NewLog();
    const bool logged = !found.empty() && log.find("Restore point created: " + found) != std::string::npos;
    Add("restore point: made before an action and listed afterwards",
        !found.empty() && logged ? Status::Pass : Status::Fail,
        (points ? "listed:" + (listed.empty() ? std::string(" none") : listed) : reason) +
            (found.empty() ? "; none made between " + Stamp(from) + " and " + Stamp(to)
                           : "; found \"" + found + "\"" +
                                 (logged ? ", and logged" : ", but the log does not say so")) +
            " (the restore point stays: System Restore lists it)");
}

// ---- The rollback and its restart: only with --with-restart, and last ----

void Kit::Rollback() {
    constexpr const char* kRollbackTitle = "Kelto - שחזור מערכת";
    Say("road: rollback to the newest Kelto restore point; Windows restarts afterwards");
    const ULONGLONG since = ::GetTickCount64();
    watcher_.Baseline();
    // The registration and the session were put back already: the helper is started with the
    // URL as the registered command would start it, and the token is typed again.
    OpenThroughShell(helper_, Widen("\"kelto:restorelastkelto/sid/" + sessionId_ + "\""));
    SeenProcess* request = WaitForHelper(since);
    if (request == nullptr) return;
    for (int step = 0; step < 4; ++step) {
        const auto box = NextDialog(*request);
        if (!box) break;
        if (box->title == kTokenPromptTitle) {
            std::string evidence;
            if (!TypeToken(*box, evidence)) {
                Say("  " + evidence);
                return;
            }
            continue;
        }
        Answer(*box, box->title == kConsentTitle ? IDYES : SafeButton(*box));
    }
    Say("  approve the Windows prompt now (waiting up to 2 minutes)");
    SeenProcess* elevated = WaitForHelper(since, request->id, kPromptWait);
    if (elevated == nullptr) return;
    if (const auto box = NextDialog(*elevated, kPromptWait)) {
        if (box->title == kRollbackTitle) {
            Say("  the rollback was confirmed; Windows restarts in 15 seconds and restores the point");
            Answer(*box, IDYES);
        } else {
            Say("  the elevated helper said: " + box->text);
            Answer(*box, SafeButton(*box));
        }
    }
}

// ---- A customer in a standard account ----

namespace {

// A line typed on the console without echo (ENABLE_ECHO_INPUT cleared while it is read).
std::wstring ReadSecretLine() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = ::GetConsoleMode(input, &mode);
    if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring line;
    wchar_t c = 0;
    DWORD read = 0;
    while (::ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1 && c != L'\n') {
        if (c != L'\r') line += c;
    }
    if (console) ::SetConsoleMode(input, mode);
    std::printf("\n");
    return line;
}

void Wipe(std::wstring& secret) {
    ::SecureZeroMemory(secret.data(), secret.size() * sizeof(wchar_t));
    secret.clear();
}

// The account's string SID and environment, read from a process that runs as it.
std::wstring SidOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    UniqueHandle owned(token);
    BYTE buffer[256];
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

std::wstring EnvironmentValueOf(HANDLE process, const std::wstring& name) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return {};
    UniqueHandle owned(token);
    void* block = nullptr;
    if (!::CreateEnvironmentBlock(&block, token, FALSE)) return {};
    std::wstring value;
    for (const wchar_t* entry = static_cast<const wchar_t*>(block); *entry != L'\0';
         entry += wcslen(entry) + 1) {
        const std::wstring e = entry;
        if (e.size() > name.size() && e[name.size()] == L'=' &&
            ::CompareStringOrdinal(e.c_str(), static_cast<int>(name.size()), name.c_str(), -1, TRUE) ==
                CSTR_EQUAL) {
            value = e.substr(name.size() + 1);
        }
    }
    ::DestroyEnvironmentBlock(block);
    return value;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[2048];
    DWORD size = sizeof value;
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

}  // namespace

void Kit::StandardUserRoad() {
    const std::string name = "standard account (--standard-user)";
    Say("road: a customer in the standard account " + options_.standardUser);
    std::wstring user = Widen(options_.standardUser);
    std::wstring domain = L".";
    if (const size_t slash = user.find(L'\\'); slash != std::wstring::npos) {
        domain = user.substr(0, slash);
        user = user.substr(slash + 1);
    }
    // A folder the account can write, holding a copy of the helper, as its Downloads would.
    const std::wstring folder = L"C:\\kelto-acceptance-" + user;
    const std::wstring copy = folder + L"\\KeltoClientHelper.exe";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    EXPLICIT_ACCESSW access{};
    std::wstring trustee = (domain == L"." ? user : domain + L"\\" + user);
    ::BuildExplicitAccessWithNameW(&access, trustee.data(), GENERIC_ALL, GRANT_ACCESS,
                                   SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    PACL acl = nullptr;
    DWORD aclError = ::SetEntriesInAclW(1, &access, nullptr, &acl);
    if (aclError == ERROR_SUCCESS) {
        aclError = ::SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr);
        ::LocalFree(acl);
    }
    if (aclError != ERROR_SUCCESS || !::CopyFileW(helper_.c_str(), copy.c_str(), FALSE)) {
        Add(name, Status::Fail,
            "could not prepare " + Narrow(folder) + " for the account (error " +
                std::to_string(aclError != ERROR_SUCCESS ? aclError : ::GetLastError()) + ")");
        return;
    }

    // Starts the copy as the account, its profile (and so its registry hive) loaded.
    auto startAs = [&](const std::wstring& arguments) -> SeenProcess* {
        std::wstring line = L"\"" + copy + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        const ULONGLONG since = ::GetTickCount64();
        if (!::CreateProcessWithLogonW(user.c_str(), domain.c_str(), password_.c_str(), LOGON_WITH_PROFILE,
                                       copy.c_str(), line.data(), 0, nullptr, folder.c_str(), &si, &pi)) {
            Add(name + ": logon", Status::Fail,
                "CreateProcessWithLogonW failed, error " + std::to_string(::GetLastError()));
            return nullptr;
        }
        UniqueHandle thread(pi.hThread);
        UniqueHandle process(pi.hProcess);
        return watcher_.WaitFor(
            [&](const SeenProcess& p) { return p.id == pi.dwProcessId && p.seenAt + 1000 >= since; },
            Deadline::In(kWait));
    };
    auto isCopy = [&](const SeenProcess& p) { return SamePath(p.image, copy); };

    // Registration from the main window, in that account.
    watcher_.Baseline();
    SeenProcess* main = startAs(L"");
    if (main == nullptr) {
        Wipe(password_);
        return;
    }
    const std::wstring sid = SidOf(main->handle.get());
    const std::wstring temp = EnvironmentValueOf(main->handle.get(), L"TEMP");
    if (sid.empty()) {
        Add(name, Status::Fail, "the account's SID could not be read from its process");
        EndProcessesOfRoad([&](const SeenProcess& p) { return isCopy(p); });
        Wipe(password_);
        return;
    }
    SavedKey registration(HKEY_USERS, sid + L"_Classes\\kelto");
    SavedKey session(HKEY_USERS, sid + L"\\Software\\KeltoRemote");
    std::string registered;
    try {
        const auto window = e2e::WaitForMainWindow(main->id, Deadline::In(kWait));
        const auto* install = window.ControlWithText(kInstallCaption);
        if (install == nullptr) throw e2e::DriverError("no Install button");
        e2e::PressControl(install->hwnd);
        if (const auto box = NextDialog(*main)) Answer(*box, IDOK);
        registered = Narrow(
            ReadString(HKEY_USERS, sid + L"_Classes\\kelto\\shell\\open\\command", nullptr).value_or(L""));
        ::PostMessageW(window.hwnd, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(main->handle.get(), 15000);
    } catch (const e2e::DriverError& e) {
        registered = std::string("(") + e.what() + ")";
    }
    const std::string expectedCommand = "\"" + Narrow(copy) + "\" \"%1\"";
    Add(name + ": registered for the account",
        SamePath(Widen(registered), Widen(expectedCommand)) ? Status::Pass : Status::Fail,
        "HKEY_USERS\\" + Narrow(sid) + "_Classes\\kelto\\shell\\open\\command: " + registered);

    // Two requests of one session, each as the registered command starts the helper.
    const std::string sessionId = sessionId_ + "-std";
    std::string evidence;
    bool secondOk = false;
    bool tempShown = false;
    std::string tempEvidence;
    for (const char* key : {"ipconfig", "temp"}) {
        const bool first = std::string(key) == "ipconfig";
        const ULONGLONG since = ::GetTickCount64();
        watcher_.Baseline();
        SeenProcess* request = startAs(L"\"kelto:" + Widen(key) + L"/sid/" + Widen(sessionId) + L"\"");
        if (request == nullptr) break;
        bool tokenAsked = false;
        bool consented = false;
        for (int step = 0; step < 4; ++step) {
            const auto box = NextDialog(*request);
            if (!box) break;
            if (box->title == kTokenPromptTitle) {
                tokenAsked = true;
                std::string typed;
                if (!TypeToken(*box, typed)) {
                    evidence += std::string(key) + ": " + typed + "; ";
                    break;
                }
            } else if (box->title == kConsentTitle) {
                consented = true;
                Answer(*box, IDYES);
            } else if (box->title == kRestoreTitle) {
                Answer(*box, IDNO);
                break;
            } else {
                evidence += std::string(key) + ": box \"" + box->title + "\": " + Visible(box->text) + "; ";
                Answer(*box, SafeButton(*box));
                break;
            }
        }
        if (consented)
            Say("  approve the Windows prompt now with an administrator's name and password (up to 2 "
                "minutes)");
        SeenProcess* elevated = consented
                                    ? watcher_.WaitFor(
                                          [&](const SeenProcess& p) {
                                              return isCopy(p) && p.seenAt >= since && p.id != request->id;
                                          },
                                          Deadline::In(kPromptWait))
                                    : nullptr;
        std::string refused;
        if (elevated != nullptr) {
            if (const auto box = NextDialog(*elevated, milliseconds(5000))) {
                refused = box->title + ": " + Visible(box->text);
                Answer(*box, SafeButton(*box));
            }
        }
        evidence += std::string(key) + ": token " + (tokenAsked ? "asked" : "not asked") + ", consent " +
                    (consented ? "given" : "not reached") + ", elevated instance " +
                    (elevated ? "seen" : "not seen") + (refused.empty() ? "" : ", which showed " + refused) +
                    "; ";
        if (!first) {
            secondOk = !tokenAsked && consented && elevated != nullptr && refused.empty();
            std::string listed;
            tempShown = WaitForExplorerFolder(temp, listed);
            tempEvidence = "the account's TEMP " + Narrow(temp) + "; IShellWindows lists:" + listed;
        }
        EndProcessesOfRoad([&](const SeenProcess& p) { return isCopy(p) && p.seenAt >= since; });
    }
    Add(name + ": the second request of a session is not refused", secondOk ? Status::Pass : Status::Fail,
        evidence);
    Add(name + ": temp shows the account's folder", tempShown ? Status::Pass : Status::Fail, tempEvidence);

    // Put back in that account's hive, loaded again by one more start of the main window.
    if (SeenProcess* again = startAs(L"")) {
        const bool back = registration.Restore() && session.Restore();
        for (HWND w : e2e::VisibleTopLevelWindows(again->id)) ::PostMessageW(w, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(again->handle.get(), 15000);
        EndProcessesOfRoad([&](const SeenProcess& p) { return isCopy(p); });
        Add(name + ": the account's registry put back", back ? Status::Pass : Status::Fail,
            registration.Describe() + "; " + session.Describe());
    }
    Wipe(password_);
    ::DeleteFileW((folder + L"\\" + kLogName).c_str());
    ::DeleteFileW(copy.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// ---- The rescue VM through the real curl.exe and tar.exe ----

namespace {

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool EndsWithName(const std::wstring& path, const wchar_t* name) {
    const std::wstring file = path.substr(path.find_last_of(L'\\') + 1);
    return ::CompareStringOrdinal(file.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

void Kit::RescueVmRoad() {
    constexpr const char* kConfirmTitle = "Kelto Remote - מכונה וירטואלית";
    constexpr const char* kStartedText = "QEMU Portable הופעלה עם קובץ ה-ISO.";
    const std::string name = "rescue VM through the real curl.exe and tar.exe";
    Say("road: the rescue VM from the kit's own server on 127.0.0.1");
    // What the helper leaves beside itself: removed again unless it was there before.
    const std::wstring folder = FolderOf(helper_);
    const std::wstring leftovers[] = {folder + L"\\QEMU.zip", folder + L"\\Kelto-Rescue.iso",
                                      folder + L"\\QEMU"};
    bool existed[3];
    for (int i = 0; i < 3; ++i) existed[i] = Exists(leftovers[i]);
    const std::wstring record = EmulatorRecordPath();
    ::DeleteFileW(record.c_str());

    // The archive's emulator is the kit itself, which started under that name only records.
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::string evidence;
    bool started = false;
    std::vector<std::string> pictures;
    std::vector<std::string> requests;
    {
        RescueServer server(
            StoredZip({{"QEMU Portable/bin/qemu-system-x86_64.exe", e2e::ReadWholeFile(self)}}),
            "kelto acceptance: rescue image stand-in\n");
        const std::string port = std::to_string(server.Port());
        const ULONGLONG since = ::GetTickCount64();
        watcher_.Baseline();
        OpenThroughShell(
            Widen("kelto://virtualiso/sid/" + sessionId_ + "/host/127.0.0.1/port/" + port + "/tls/0"), L"");
        SeenProcess* request = WaitForHelper(since);
        bool confirmed = false;
        for (int step = 0; request != nullptr && step < 5; ++step) {
            const auto box = NextDialog(*request);
            if (!box) break;
            if (box->title == kTokenPromptTitle) {
                std::string typed;
                if (!TypeToken(*box, typed)) break;
            } else if (box->title == kConsentTitle) {
                Answer(*box, IDYES);
            } else if (box->title == kConfirmTitle) {
                pictures.push_back(SavePicture(box->hwnd, "rescue-vm-confirmation"));
                confirmed = true;
                Answer(*box, IDYES);
            } else if (box->title == kRestoreTitle) {
                Answer(*box, IDNO);
            } else {
                evidence += "box \"" + box->title + "\": " + Visible(box->text) + "; ";
                Answer(*box, SafeButton(*box));
                break;
            }
        }
        if (confirmed) Say("  approve the Windows prompt now (waiting up to 2 minutes)");
        SeenProcess* elevated =
            confirmed && request != nullptr ? WaitForHelper(since, request->id, kPromptWait) : nullptr;
        if (elevated != nullptr) {
            // Two downloads and the unpacking may take a while on a slow disk.
            if (const auto box = NextDialog(*elevated, milliseconds(300000))) {
                pictures.push_back(SavePicture(box->hwnd, "rescue-vm-outcome"));
                started = box->text == kStartedText;
                evidence += "the helper said: " + Visible(box->text) + "; ";
                Answer(*box, IDOK);
            }
        }
        evidence += std::string("confirmation ") + (confirmed ? "shown" : "not reached") +
                    ", elevated instance " + (elevated ? "seen" : "not seen") + "; ";
        requests = server.Requests();
        // curl and tar end at once: WMI reports them, polling may miss them.
        for (const wchar_t* tool : {L"curl.exe", L"tar.exe"}) {
            std::string how = "not seen";
            for (const auto& p : watcher_.Seen()) {
                if (p.seenAt >= since && EndsWithName(p.image, tool)) how = "polling: " + Narrow(p.image);
            }
            for (const auto& e : wmi_.Events()) {
                if (EndsWithName(e.image, tool)) how = "WMI: " + Narrow(e.commandLine);
            }
            evidence += Narrow(tool) + " " + how + "; ";
        }
        EndProcessesOfRoad([&](const SeenProcess& p) {
            return p.seenAt >= since && EndsWithName(p.image, L"qemu-system-x86_64.exe");
        });
    }
    const std::string recorded = e2e::ReadWholeFile(record);
    const std::string sidQuery = "?sid=" + sessionId_;
    bool zipAsked = false, isoAsked = false;
    evidence += "server requests:";
    for (const auto& r : requests) {
        evidence += " " + r + ";";
        zipAsked = zipAsked || r == "/vm/qemu.zip" + sidQuery;
        isoAsked = isoAsked || r == "/vm/kelto-rescue.iso" + sidQuery;
    }
    evidence += " emulator record: " + (recorded.empty() ? std::string("none") : recorded);
    const bool pass = started && zipAsked && isoAsked && recorded.find("-cdrom") != std::string::npos;
    Add(name, pass ? Status::Pass : Status::Fail, evidence, pictures);

    ::DeleteFileW(record.c_str());
    std::string cleaned;
    for (int i = 0; i < 3; ++i) {
        if (existed[i] || !Exists(leftovers[i])) continue;
        if (i == 2)
            e2e::RemoveFolderTree(leftovers[i]);
        else
            ::DeleteFileW(leftovers[i].c_str());
        cleaned += " " + Narrow(leftovers[i]) + (Exists(leftovers[i]) ? " (could not be removed)" : "") + ";";
    }
    if (!cleaned.empty()) Say("  removed what the rescue VM left:" + cleaned);
}

// ---- Roads that need real Windows ----

void Kit::RealWindowsOnly() {
    const std::string wine = "Wine has no System Restore (its SystemRestore WMI methods are stubs)";
    if (Wine()) {
        Add("restore point: made before an action and listed afterwards", Status::NotUnderWine, wine);
        Add("rollback to the helper's restore point (--with-restart)", Status::NotUnderWine, wine);
        Add("rescue VM through the real curl.exe and tar.exe", Status::NotUnderWine,
            "Wine has no curl.exe or tar.exe");
        Add("standard account (--standard-user)", Status::NotUnderWine,
            "Wine has one account, and CreateProcessWithLogonW does not log a second one on");
        Add("launched programs: WMI process-creation events", Status::NotUnderWine,
            "Wine has no __InstanceCreationEvent for Win32_Process; polled snapshots are used, and a program "
            "that ends between two polls is not seen");
        return;
    }
    RestorePointRoad();
    Add("rollback to the helper's restore point (--with-restart)", Status::NeedsPerson,
        options_.withRestart
            ? "run last, after this report was written: after the restart Windows says whether "
              "the restore succeeded; a person reads it"
            : "not asked for (--with-restart not given): nothing rolled back, no restart");
    RescueVmRoad();
    if (options_.standardUser.empty())
        Add("standard account (--standard-user)", Status::NeedsPerson,
            "not asked for (--standard-user not given)");
    else
        StandardUserRoad();
    Add("launched programs: WMI process-creation events", wmiRunning_ ? Status::Pass : Status::Fail,
        wmiRunning_ ? std::to_string(wmi_.Events().size()) + " process creations reported during the run"
                    : wmiReason_);
}

int Kit::Run() {
    facts_ = ReadSystemFacts();
    // The report's folder and the folders above it.
    for (size_t at = reportDir_.find(L'\\', 3);; at = reportDir_.find(L'\\', at + 1)) {
        ::CreateDirectoryW(reportDir_.substr(0, at).c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
    Say("kelto-acceptance: checking " + Narrow(helper_) +
        (Wine() ? " under Wine " + facts_.wineVersion : ""));
    {
        const std::string log = e2e::ReadWholeFile(FolderOf(helper_) + L"\\" + kLogName);
        logStart_ = log.size();
    }
    char sid[32];
    std::snprintf(sid, sizeof sid, "kit-%lu", static_cast<unsigned long>(::GetTickCount64() % 100000000));
    sessionId_ = sid;

    if (!options_.standardUser.empty() && !Wine()) {
        std::printf("password of %s (not shown, never stored): ", options_.standardUser.c_str());
        std::fflush(stdout);
        password_ = ReadSecretLine();
    }
    // Saved now, put back at the end, whatever happens between.
    auto registration = std::make_unique<SavedKey>(HKEY_CURRENT_USER, L"Software\\Classes\\kelto");
    auto session = std::make_unique<SavedKey>(HKEY_CURRENT_USER, L"Software\\KeltoRemote");
    // The helper holds the restore-frequency value at 0 while it makes a restore point.
    SavedDword frequency(HKEY_LOCAL_MACHINE,
                         L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore",
                         L"SystemRestorePointCreationFrequency");
    std::unique_ptr<SavedKey> machineRegistration;
    if (Wine()) {
        machineRegistration = std::make_unique<SavedKey>(HKEY_LOCAL_MACHINE, L"Software\\Classes\\kelto");
        // The test bench's stand-ins stay open as the real programs do, and say how they were started.
        launchRecord_ = reportDir_ + L"\\launches.txt";
        ::DeleteFileW(launchRecord_.c_str());
        ::SetEnvironmentVariableW(L"KELTO_LAUNCH_RECORD", launchRecord_.c_str());
        ::SetEnvironmentVariableW(L"KELTO_STANDIN_LINGER_MS", L"60000");
    } else {
        wmiRunning_ = wmi_.Start(wmiReason_);
    }
    // As a browser in the foreground does, the kit lets the helper take the foreground.
    ::AllowSetForegroundWindow(ASFW_ANY);
    watcher_.Baseline();

    Registration();
    bool first = true;
    for (const char* key : {"ipconfig", "cmd", "control", "network", "devices", "events", "windowsupdate",
                            "temp", "taskmgr", "msinfo"}) {
        UrlRoad(key, first);
        first = false;
    }
    Add("launched programs: working folder", Status::NotHere,
        "Windows documents no way to read another process's current folder");
    OfflineAndGuide();
    RealWindowsOnly();

    // Everything the helper started and is still running ends through the handle kept for it.
    EndProcessesOfRoad([](const SeenProcess&) { return false; });
    std::string log = NewLog();
    Add("activity log of the run", Status::NeedsPerson, log.empty() ? "(nothing logged)" : log);

    bool putBackOk = registration->Restore() && session->Restore();
    std::string putBack = registration->Describe() + "; " + session->Describe();
    if (machineRegistration) {
        putBackOk = machineRegistration->Restore() && putBackOk;
        putBack += "; HKLM " + machineRegistration->Describe();
    }
    putBackOk = frequency.Restore() && putBackOk;
    putBack += "; HKLM " + frequency.Describe();
    Add("registry put back", putBackOk ? Status::Pass : Status::Fail, putBack);

    auto facts = DescribeFacts(facts_);
    facts.push_back({"Helper", Narrow(helper_)});
    const bool tsv = WriteFileBytes(reportDir_ + L"\\acceptance-report.tsv", TsvReport(checks_));
    const bool html = WriteFileBytes(reportDir_ + L"\\acceptance-report.html",
                                     HtmlReport("Kelto helper acceptance", facts, checks_));
    int failed = 0;
    for (const auto& c : checks_) failed += c.status == Status::Fail;
    Say("report: " + Narrow(reportDir_) + "\\acceptance-report.html" +
        (tsv && html ? "" : " (could not be written)"));
    Say(failed == 0 ? "no check failed" : "FAILED: " + std::to_string(failed) + " of the checks");
    // Last of all, because Windows restarts: only when asked for by name, never under Wine.
    if (options_.withRestart && !Wine()) Rollback();
    return failed == 0 && tsv && html ? 0 : 1;
}

}  // namespace

int RunKit(const Options& options, const std::wstring& helperPath, const std::wstring& reportDir) {
    Kit kit(options, helperPath, reportDir);
    return kit.Run();
}

}  // namespace kelto::acceptance

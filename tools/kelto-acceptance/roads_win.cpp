#include "roads_win.h"

#include <windows.h>
// After <windows.h>.
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "kit_roads_win.h"
#include "token/token.h"

namespace kelto::acceptance {

namespace roads {

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

bool EndsWithName(const std::wstring& path, const wchar_t* name) {
    const std::wstring file = path.substr(path.find_last_of(L'\\') + 1);
    return ::CompareStringOrdinal(file.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

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

// The internet check of the offline window, as a screen reader follows it: the notice that
// shows the outcome raises EVENT_OBJECT_LIVEREGIONCHANGED (an out-of-context WinEvent hook
// receives it, as a screen reader does).
void Kit::CheckAnnouncement(DWORD processId, const e2e::WindowSnapshot& offlineWindow) {
    constexpr const char* kCheckCaption = "בדוק אם האינטרנט חזר";
    constexpr const char* kStillOffline = "עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג.";
    constexpr const char* kBack = "האינטרנט חזר. אפשר לחזור לאתר ולהמשיך בצ'אט.";
    const auto* check = offlineWindow.ControlWithText(kCheckCaption);
    const auto* notice = offlineWindow.ControlWithText("מצב ללא אינטרנט - אפשר לבצע פעולות מקומיות בהנחיית הנציג בטלפון");
    if (check == nullptr || notice == nullptr) {
        Add(kAnnouncedCheck, Status::Fail, "no check button or connection notice in the offline window");
        return;
    }
    e2e::LiveRegionEvents events(processId);
    if (!events.Hooked()) {
        Add(kAnnouncedCheck, Status::Fail, "SetWinEventHook failed, error " + std::to_string(::GetLastError()));
        return;
    }
    e2e::PressControl(check->hwnd);
    std::string shown;
    const bool outcome = PollUntil(Deadline::In(milliseconds(30000)), [&] {
        shown = e2e::TextOf(notice->hwnd);
        return shown == kStillOffline || shown == kBack;
    });
    const bool announced =
        outcome && PollUntil(Deadline::In(milliseconds(5000)), [&] { return events.Announced(notice->hwnd); });
    Add(kAnnouncedCheck, announced ? Status::Pass : Status::Fail,
        "the notice says: " + Visible(shown) + (announced ? "; EVENT_OBJECT_LIVEREGIONCHANGED received"
                                                          : "; no EVENT_OBJECT_LIVEREGIONCHANGED from it"));
}

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
            Add(kAnnouncedCheck, Status::NotHere, "the offline window was not reached");
        } else if (text == kStillOfflineText) {
            Add("offline: connectivity probe", Status::Pass, "the probe reports: offline", {picture});
            Answer(*answer, IDYES);
            e2e::WindowSnapshot offlineWindow;
            if (!WaitForWindowTitled(helper->id, kOfflineTitle, offlineWindow))
                throw e2e::DriverError("the offline window did not open: " +
                                       e2e::DescribeWindows(helper->id));
            const std::string offlinePicture = SavePicture(offlineWindow.hwnd, "offline-window");
            CheckAnnouncement(helper->id, offlineWindow);
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

// ---- Roads that need real Windows ----

void Kit::RealWindowsOnly() {
    const std::string wine = "Wine has no System Restore (its SystemRestore WMI methods are stubs)";
    if (Wine()) {
        Add("restore point: made before an action and listed afterwards", Status::NotUnderWine, wine);
        Add("rollback to the helper's restore point (--with-restart)", Status::NotUnderWine, wine);
        Add(kInterruptedCheck, Status::NotUnderWine, wine);
        Add(kSafeModeCheck, Status::NotUnderWine, "Wine always reports a normal boot (SM_CLEANBOOT 0)");
        Add("rescue VM through the real curl.exe and tar.exe", Status::NotUnderWine,
            "Wine has no curl.exe or tar.exe");
        Add(kRescueHungCheck, Status::NotUnderWine,
            "Wine never reports a window hung (IsHungAppWindow) and has no curl.exe or tar.exe; the "
            "end-to-end suite checks that the status window answers WM_NULL throughout a slow download");
        Add("standard account (--standard-user)", Status::NotUnderWine,
            "Wine has one account, and CreateProcessWithLogonW does not log a second one on");
        Add("launched programs: WMI process-creation events", Status::NotUnderWine,
            "Wine has no __InstanceCreationEvent for Win32_Process; polled snapshots are used, and a program "
            "that ends between two polls is not seen");
        return;
    }
    if (::GetSystemMetrics(SM_CLEANBOOT) != 0) {
        const std::string safe = "Windows makes no restore point in Safe Mode";
        Add("restore point: made before an action and listed afterwards", Status::NotHere, safe);
        Add(kInterruptedCheck, Status::NotHere, safe);
    } else {
        RestorePointRoad();
        InterruptedRestorePoint();
    }
    SafeModeRoad();
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

    SignatureCheck();
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

}  // namespace roads

int RunKit(const Options& options, const std::wstring& helperPath, const std::wstring& reportDir) {
    roads::Kit kit(options, helperPath, reportDir);
    return kit.Run();
}

}  // namespace kelto::acceptance

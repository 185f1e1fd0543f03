// The acceptance kit's roads: the kit as one object that walks them with the real helper,
// and what the roads share (the helper's texts, the waits, small look-ups). Each road lives in
// a file of its own.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "kelto/version.h"
#include "kit_win.h"
#include "options.h"
#include "report.h"

namespace kelto::acceptance::roads {

// The helper's texts as the customer sees them.
// The version is the helper's own, from the one place the build writes it.
inline constexpr const char* kMainWindowTitle = "Kelto Remote - כלי תמיכה ללקוח - גרסה " KELTO_VERSION_TEXT;
inline constexpr const char* kInstallCaption = "הפעל פעולות Kelto";
inline constexpr const char* kRegisteredText = "כלי העזר הופעל בהצלחה.";
inline constexpr const char* kTokenPromptTitle = "אישור פעולה - Kelto";
inline constexpr const char* kConsentTitle = "בקשת פעולה מ-Kelto";
inline constexpr const char* kRestoreTitle = "Kelto - נקודת שחזור";
inline constexpr const char* kOfflineButtonCaption = "אין לי אינטרנט - פתח טיפול ללא חיבור";
inline constexpr const char* kGuideTitle = "Kelto Remote - ניסיון חיבור באמצעות כבל רשת";
inline constexpr const char* kOfflineTitle = "Kelto Remote - טיפול ללא אינטרנט";
inline constexpr const char* kCableCaption = "חיברתי כבל - בדוק חיבור";
inline constexpr const char* kStillOfflineText = "עדיין אין גישה לאינטרנט.\r\nלעבור לפעולות התיקון הנוספות?";
inline constexpr const char* kInternetBackText = "החיבור לאינטרנט חזר בהצלחה.\r\nאפשר לחזור לאתר ולהמשיך את הטיפול.";
// The check that the helper's windows stay alive while the rescue VM downloads.
inline constexpr const char* kRescueHungCheck = "rescue VM: status window never reported hung";
// The checks of Safe Mode and of a restore point whose helper is ended midway.
inline constexpr const char* kSafeModeCheck = "safe mode: normalboot asks no restore question";
inline constexpr const char* kInterruptedCheck =
    "restore point: the frequency value comes back after the helper was ended midway";
// The check that a screen reader hears the internet check's outcome.
inline constexpr const char* kAnnouncedCheck = "offline: the check's outcome is announced (live region)";
// The helper's Authenticode signature as Windows sees it.
inline constexpr const char* kSignatureCheck = "signature: the helper is signed, as Windows sees it";
inline const milliseconds kWait{20000};
inline const milliseconds kPromptWait{120000};
inline const std::wstring kLogName = L"KeltoClientHelper.log";

// Marks and line breaks made visible for the report.
std::string Visible(std::string_view text);

// Two paths of one file, compared as Windows compares names; never for an empty path.
bool SamePath(const std::wstring& a, const std::wstring& b);

// Waits until an Explorer window shows the folder; `listed` gets the folders Explorer shows
// (" a; b;") and, where they could not be read, why.
bool WaitForExplorerFolder(const std::wstring& folder, std::string& listed);

// Waits for a visible top-level window of the process with this title; false when none came.
bool WaitForWindowTitled(DWORD processId, const std::string& title, e2e::WindowSnapshot& found);

// Whether the path's file name is `name`, as Windows compares names.
bool EndsWithName(const std::wstring& path, const wchar_t* name);

// The folder of a file's path, and the Windows folder.
std::wstring FolderOf(const std::wstring& path);
std::wstring WindowsFolder();

// The answer to a box the kit did not expect: the one that changes nothing (No, Cancel, OK).
int SafeButton(const e2e::WindowSnapshot& box);

// A line typed on the console without echo (ENABLE_ECHO_INPUT cleared while it is read): the
// standard account's password.
std::wstring ReadSecretLine();

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
    void SignatureCheck();
    bool TypeToken(const e2e::WindowSnapshot& box, std::string& evidence);
    void UrlRoad(const std::string& key, bool first, bool restorePoint = false);
    void Launched(const std::string& key, ULONGLONG since, milliseconds wait);
    void RestorePointRoad();
    void InterruptedRestorePoint();
    void SafeModeRoad();
    void Rollback();
    void StandardUserRoad();
    void RescueVmRoad();
    std::wstring password_;  // of --standard-user, read from the console; wiped after use
    void OfflineAndGuide();
    void CheckAnnouncement(DWORD processId, const e2e::WindowSnapshot& offlineWindow);
    void RealWindowsOnly();
};

}  // namespace kelto::acceptance::roads

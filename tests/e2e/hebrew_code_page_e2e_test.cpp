// The helper on a Hebrew Windows: ANSI code page 1255, in which the log keeps Hebrew as it is.
// Run by its own test entry with Wine's locale set to Hebrew (run-in-wine.sh with
// KELTO_WINE_LOCALE=he_IL.UTF-8); the other entries leave this group out. The expected log
// bytes are windows-1255 written out by hand. Wine mirrors its own dialogs in this locale:
// buttons are pressed by id.
#include "harness.h"
#include "probe_server.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

constexpr const char* kGuideTitle = "Kelto Remote - ניסיון חיבור באמצעות כבל רשת";
constexpr const char* kContinueCaption = "לא עזר - המשך לפעולות תיקון";
constexpr const char* kOfflineTitle = "Kelto Remote - טיפול ללא אינטרנט";
constexpr const char* kIpInfoCaption = "הצג פרטי IP";

class HebrewCodePage : public HelperTest {
protected:
    static HWND Control(const WindowSnapshot& window, const char* caption) {
        return window.ControlCaptioned(caption).hwnd;
    }
};

TEST_F(HebrewCodePage, TheRunHasTheHebrewAnsiCodePage) { EXPECT_EQ(::GetACP(), 1255u); }

// Hebrew is kept; Cyrillic and Arabic, which code page 1255 lacks, become "?".
TEST_F(HebrewCodePage, TheVersionLineKeepsHebrewAndReplacesWhatTheCodePageLacks) {
    auto helper = StartHelper(L"\"kelto:\u05E9\u05DC\u05D5\u05DD \u0436 \u0639\"");
    const auto box = WaitForDialog(helper);
    Answer(box, IDOK);
    EXPECT_EQ(WaitForExit(helper), 0u);
    EXPECT_THAT(LogMessages(), ElementsAre("Version 1.12.0 Command: [\"kelto:\xF9\xEC\xE5\xED ? ?\"]",
                                           "Parsed tool: []", "Support session: []"));
}

// The offline window's lines in the log, in a stored session: the window opened, the action
// approved and sent, and the elevated start.
TEST_F(HebrewCodePage, TheOfflineWindowsLinesAreWindows1255) {
    ProbeServer server(ProbeAnswer::NotFound);
    ::SetEnvironmentVariableW(L"http_proxy", server.ProxyUrl().c_str());
    StoreAuthorizedSession("s-42", LocalSecondsSince2024() + 3600);
    auto helper = StartHelper(L"kelto:offline");
    const auto guide = WaitForWindow(helper, kGuideTitle);
    PressControl(Control(guide, kContinueCaption));
    const auto offline = WaitForWindow(helper, kOfflineTitle);
    PressControl(Control(offline, kIpInfoCaption));
    Answer(WaitForDialog(helper), IDYES);
    Answer(WaitForDialog(helper), IDNO);
    WaitForExit(helper);
    WaitUntilAllEnded();
    ::SetEnvironmentVariableW(L"http_proxy", nullptr);

    EXPECT_THAT(Launches(), SizeIs(1));
    EXPECT_THAT(
        LogMessages(),
        ElementsAre(
            "Version 1.12.0 Command: [kelto:offline]", "Parsed tool: [offline]", "Support session: [s-42]",
            "Offline Ethernet cable guide opened.",
            // "Offline: מצב טיפול ללא אינטרנט נפתח."
            "Offline: \xEE\xF6\xE1 \xE8\xE9\xF4\xE5\xEC \xEC\xEC\xE0 \xE0\xE9\xF0\xE8\xF8\xF0\xE8 "
            "\xF0\xF4\xFA\xE7.",
            "Approved offline tool: ipconfig",
            // "Offline: הפעולה נשלחה: הצגת פרטי IP"
            "Offline: \xE4\xF4\xF2\xE5\xEC\xE4 \xF0\xF9\xEC\xE7\xE4: \xE4\xF6\xE2\xFA \xF4\xF8\xE8\xE9 IP",
            "Version 1.12.0 Command: [/elevated:ipconfig::0:s-42::0:0:" + OwnUserSid() + "]"));
}

}  // namespace
}  // namespace kelto::e2e

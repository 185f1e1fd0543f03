#include "ui/offline_support.h"

#include <gtest/gtest.h>

#include "intake/session_store.h"
#include "support/fakes.h"
#include "ui/layout.h"

namespace kelto {
namespace {

using namespace platform::mb;
using testing::FakeOfflineSupportView;
using testing::FakeSystem;

// 2025-12-10 16:00:00 UTC is the first second of token window 204384, whose token is 226939.
constexpr platform::DateTime kWindowStart{2025, 12, 10, 16, 0, 0};
constexpr const char* kToken = "226939";

constexpr ui::Rgb kBlue{0x00, 0x50, 0x80};
constexpr ui::Rgb kGrey{0x60, 0x60, 0x60};
constexpr ui::Rgb kRed{0xC0, 0x40, 0x40};

struct OfflineWindow : ::testing::Test {
    FakeSystem f;
    FakeOfflineSupportView view;
    void SetUp() override {
        f.clock.utc = kWindowStart;
        f.clock.local = {2025, 12, 10, 18, 0, 0};
        f.request.CurrentSessionId = "s-42";
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& box : f.dialogs.boxes) out.push_back(box.text);
        return out;
    }
    // The log as code page 1252 holds it: Hebrew letters become "?".
    std::string Ansi(const std::string& text) { return f.process.ToAnsiCodePage(text); }
};

TEST(OfflineActivityLine, TimeOnA24HourClockThenTheText) {
    EXPECT_EQ(ui::ActivityLine({2025, 1, 2, 9, 5, 7}, "בדיקת חיבור נכשלה."), "09:05:07 - בדיקת חיבור נכשלה.");
    EXPECT_EQ(ui::ActivityLine({2025, 12, 31, 23, 59, 59}, "x"), "23:59:59 - x");
}

TEST_F(OfflineWindow, AddActivityAppendsTheLineAndLogsTheTextWithoutTime) {
    f.clock.local = {2025, 12, 10, 9, 5, 7};
    ui::AddActivity(f.system, view, "בדיקת Ping");
    f.clock.local = {2025, 12, 10, 23, 59, 59};
    ui::AddActivity(f.system, view, "second");
    EXPECT_EQ(view.activity, (std::vector<std::string>{"09:05:07 - בדיקת Ping", "23:59:59 - second"}));
    EXPECT_EQ(f.LogMessages(), (std::vector<std::string>{Ansi("Offline: בדיקת Ping"), "Offline: second"}));
}

struct TokenCase {
    const char* name;
    const char* typed;
    bool authorized;
    const char* text;
    ui::Rgb colour;
};

class OfflineTokenStatus : public OfflineWindow, public ::testing::WithParamInterface<TokenCase> {};

TEST_P(OfflineTokenStatus, ShowsTheFirstCaseThatApplies) {
    const auto& c = GetParam();
    if (c.authorized) intake::AuthorizeSession(f.system, "s-42");
    view.SetControlText(ui::kOffTxtToken, c.typed);
    ui::OnTokenChanged(f.context, view);
    EXPECT_EQ(view.texts[ui::kOffLblTokenStatus], c.text);
    EXPECT_EQ(view.textColours[ui::kOffLblTokenStatus], c.colour);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OfflineTokenStatus,
    ::testing::Values(
        TokenCase{"Empty", "", false, "הזן טוקן בן 6 ספרות שקיבלת מהנציג בטלפון.", kGrey},
        TokenCase{"BlanksOnly", "   ", false, "הזן טוקן בן 6 ספרות שקיבלת מהנציג בטלפון.", kGrey},
        TokenCase{"FiveDigits", "22693", false, "הטוקן עדיין אינו תקין או שפג תוקפו.", kRed},
        TokenCase{"WrongToken", "000000", false, "הטוקן עדיין אינו תקין או שפג תוקפו.", kRed},
        TokenCase{"ValidToken", "226939", false, "הטוקן תקין ומוכן להפעלת פעולה.", kBlue},
        TokenCase{"ValidWithBlanks", "  226939 ", false, "הטוקן תקין ומוכן להפעלת פעולה.", kBlue},
        TokenCase{"AuthorizedEmpty", "", true, "הטוקן כבר אושר לשיחת התמיכה הנוכחית.", kBlue},
        TokenCase{"AuthorizedWrong", "12", true, "הטוקן כבר אושר לשיחת התמיכה הנוכחית.", kBlue}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OfflineWindow, CheckingTheTokenStoresNothingAndLogsNothing) {
    view.SetControlText(ui::kOffTxtToken, kToken);
    ui::OnTokenChanged(f.context, view);
    EXPECT_FALSE(intake::IsSessionAuthorized(f.system, "s-42"));
    EXPECT_TRUE(f.LogMessages().empty());
}

TEST_F(OfflineWindow, OpeningLogsClearsTheTokenAndPrompts) {
    view.texts[ui::kOffTxtToken] = "left over";
    ui::OnOfflineSupportLoad(f.context, view);
    EXPECT_EQ(view.windowBackground, (ui::Rgb{255, 255, 255}));
    EXPECT_EQ(view.activity, std::vector<std::string>{"18:00:00 - מצב טיפול ללא אינטרנט נפתח."});
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{Ansi("Offline: מצב טיפול ללא אינטרנט נפתח.")});
    EXPECT_EQ(view.texts[ui::kOffTxtToken], "");
    EXPECT_TRUE(view.enabled[ui::kOffTxtToken]);
    EXPECT_EQ(view.texts[ui::kOffLblTokenStatus], "הזן טוקן בן 6 ספרות שקיבלת מהנציג בטלפון.");
    EXPECT_EQ(view.textColours[ui::kOffLblTokenStatus], kGrey);
}

TEST_F(OfflineWindow, AnAuthorizedSessionAtOpeningDisablesTheTokenBox) {
    intake::AuthorizeSession(f.system, "s-42");
    ui::OnOfflineSupportLoad(f.context, view);
    EXPECT_FALSE(view.enabled[ui::kOffTxtToken]);
    EXPECT_EQ(view.texts[ui::kOffLblTokenStatus], "הטוקן כבר אושר לשיחת התמיכה הנוכחית.");
    EXPECT_EQ(view.textColours[ui::kOffLblTokenStatus], kBlue);
}

// The 14 buttons as designed: the key each one runs and the text its list line shows.
struct ButtonCase {
    int control;
    const char* key;
    const char* activity;
    bool extraConfirmation;  // a boot change or the network reinstall asks once more
};

const ButtonCase kButtons[] = {
    {ui::kOffCmdIpInfo, "ipconfig", "הצגת פרטי IP", false},
    {ui::kOffCmdPing, "ping", "בדיקת Ping", false},
    {ui::kOffCmdAdapters, "network", "פתיחת מתאמי רשת", false},
    {ui::kOffCmdWifi, "wifistatus", "הצגת מצב Wi-Fi", false},
    {ui::kOffCmdFlushDns, "flushdns", "ניקוי DNS", false},
    {ui::kOffCmdDhcpRenew, "dhcprenew", "חידוש כתובת IP", false},
    {ui::kOffCmdProxyReset, "proxyreset", "איפוס Proxy", false},
    {ui::kOffCmdWinsock, "winsockreset", "איפוס Winsock", false},
    {ui::kOffCmdIpReset, "ipreset", "איפוס TCP/IP", false},
    {ui::kOffCmdFullReset, "fullnetworkreset", "איפוס Firewall, Winsock ו-TCP/IP", false},
    {ui::kOffCmdNormalBoot, "normalboot", "חזרה לאתחול רגיל", true},
    {ui::kOffCmdCancelRestart, "cancelrestart", "ביטול אתחול מתוזמן", false},
    {ui::kOffCmdAirplaneMode, "airplanemode", "פתיחת ביטול מצב טיסה", false},
    {ui::kOffCmdReinstallNetwork, "reinstallnetwork", "רענון והתקנה מחדש של מתאמי הרשת", true},
};

class OfflineButton : public OfflineWindow, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(OfflineButton, ASentActionIsListedAndClosesTheWindow) {
    const auto& c = GetParam();
    view.texts[ui::kOffTxtToken] = std::string(" ") + kToken + " ";
    f.dialogs.answers =
        c.extraConfirmation ? std::deque<int>{kIdYes, kIdYes, kIdNo} : std::deque<int>{kIdYes, kIdNo};
    ui::OnOfflineButtonClicked(f.context, view, c.control);

    // The trimmed token travels in the elevated command line; restore point declined.
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].verb, "runas");
    EXPECT_EQ(f.shell.calls[0].parameters, std::string("/elevated:") + c.key + ":226939:0:s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
    // Every box of the approval belongs to the offline window.
    for (const auto& box : f.dialogs.boxes) EXPECT_EQ(box.owner, view.handle) << box.text;
    EXPECT_TRUE(f.request.ActionLaunched);
    EXPECT_EQ(view.activity, std::vector<std::string>{std::string("18:00:00 - הפעולה נשלחה: ") + c.activity});
    EXPECT_EQ(f.LogMessages().back(), Ansi(std::string("Offline: הפעולה נשלחה: ") + c.activity));
    EXPECT_TRUE(view.closed);
}

TEST_P(OfflineButton, ARefusedActionIsListedAndTheWindowStaysOpen) {
    const auto& c = GetParam();
    view.texts[ui::kOffTxtToken] = "";
    ui::OnOfflineButtonClicked(f.context, view, c.control);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"יש להזין תחילה טוקן שקיבלת מהנציג."});
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_FALSE(f.request.ActionLaunched);
    EXPECT_EQ(view.activity,
              std::vector<std::string>{std::string("18:00:00 - הפעולה לא הופעלה: ") + c.activity});
    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{Ansi(std::string("Offline: הפעולה לא הופעלה: ") + c.activity)});
    EXPECT_FALSE(view.closed);
}

INSTANTIATE_TEST_SUITE_P(AllFourteen, OfflineButton, ::testing::ValuesIn(kButtons),
                         [](const auto& info) { return std::string(info.param.key); });

TEST_F(OfflineWindow, EveryActionButtonOfTheLayoutRunsOneCatalogueKey) {
    int buttons = 0;
    for (const auto& spec : ui::kOfflineLayout) {
        if (spec.kind != ui::ControlKind::Button || spec.id == ui::kOffCmdCheckInternet ||
            spec.id == ui::kOffCmdClose)
            continue;
        ++buttons;
        bool found = false;
        for (const auto& c : kButtons) found = found || c.control == spec.id;
        EXPECT_TRUE(found) << spec.name;
    }
    EXPECT_EQ(buttons, 14);
}

TEST_F(OfflineWindow, AWrongTokenIsRefusedByTheApprovalAndTheTokenStays) {
    view.texts[ui::kOffTxtToken] = "12345x";
    EXPECT_FALSE(ui::RunOfflineAction(f.context, view, "ipconfig", "הצגת פרטי IP"));
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"קוד הטוקן שגוי או שפג תוקפו.\r\nבקש מהנציג ליצור טוקן חדש."});
    EXPECT_EQ(view.texts[ui::kOffTxtToken], "12345x");
    EXPECT_EQ(view.activity, std::vector<std::string>{"18:00:00 - הפעולה לא הופעלה: הצגת פרטי IP"});
}

TEST_F(OfflineWindow, AnAuthorizedSessionRunsWithoutAToken) {
    intake::AuthorizeSession(f.system, "s-42");
    view.texts[ui::kOffTxtToken] = "";
    f.dialogs.answers = {kIdYes, kIdNo};
    EXPECT_TRUE(ui::RunOfflineAction(f.context, view, "ipconfig", "הצגת פרטי IP"));
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/elevated:ipconfig::0:s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
}

// The window opened inside the support session, which then ran out: a refused action gives
// the token box back, so that the customer can type the token the agent reads out.
TEST_F(OfflineWindow, ASessionThatRanOutWhileOpenGivesTheTokenBoxBack) {
    intake::AuthorizeSession(f.system, "s-42");
    ui::OnOfflineSupportLoad(f.context, view);
    ASSERT_FALSE(view.enabled[ui::kOffTxtToken]);
    f.clock.local = {2025, 12, 11, 2, 0, 1};  // eight hours and a second later
    f.clock.utc = {2025, 12, 11, 0, 0, 1};
    EXPECT_FALSE(ui::RunOfflineAction(f.context, view, "ipconfig", "הצגת פרטי IP"));
    EXPECT_TRUE(view.enabled[ui::kOffTxtToken]);
    EXPECT_EQ(view.texts[ui::kOffLblTokenStatus], "הזן טוקן בן 6 ספרות שקיבלת מהנציג בטלפון.");
    EXPECT_EQ(view.textColours[ui::kOffLblTokenStatus], kGrey);
    EXPECT_EQ(view.activity.back(), "02:00:01 - הפעולה לא הופעלה: הצגת פרטי IP");
}

// A refusal inside a running session (the customer said No) leaves the token box as it was.
TEST_F(OfflineWindow, ARefusalInsideTheSessionKeepsTheTokenBoxDisabled) {
    intake::AuthorizeSession(f.system, "s-42");
    ui::OnOfflineSupportLoad(f.context, view);
    f.dialogs.answers = {kIdNo};
    EXPECT_FALSE(ui::RunOfflineAction(f.context, view, "ipconfig", "הצגת פרטי IP"));
    EXPECT_FALSE(view.enabled[ui::kOffTxtToken]);
    EXPECT_EQ(view.texts[ui::kOffLblTokenStatus], "הטוקן כבר אושר לשיחת התמיכה הנוכחית.");
}

TEST_F(OfflineWindow, InternetChecksShowTheOutcomeAndNeverClose) {
    // While the probe runs the button is disabled and the checking text has been painted.
    std::vector<std::string> during;
    f.http.onRequest = [&] {
        during.push_back(std::string(view.enabled[ui::kOffCmdCheckInternet] ? "enabled" : "disabled") + " " +
                         view.texts[ui::kOffLblConnection] + " " + view.events.back());
    };
    f.http.status = std::nullopt;
    ui::OnCheckInternetClicked(f.context, view);
    EXPECT_EQ(view.texts[ui::kOffLblConnection], "עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג.");
    EXPECT_EQ(view.backgrounds[ui::kOffLblConnection], (ui::Rgb{0xFF, 0xF6, 0xF0}));
    EXPECT_EQ(view.textColours[ui::kOffLblConnection], (ui::Rgb{0x0A, 0x47, 0xA8}));
    EXPECT_TRUE(view.enabled[ui::kOffCmdCheckInternet]);

    f.http.status = 204;
    ui::OnCheckInternetClicked(f.context, view);
    f.http.status = 302;
    ui::OnCheckInternetClicked(f.context, view);
    EXPECT_EQ(view.texts[ui::kOffLblConnection], "האינטרנט חזר. אפשר לחזור לאתר ולהמשיך בצ'אט.");
    EXPECT_EQ(view.backgrounds[ui::kOffLblConnection], (ui::Rgb{0xF1, 0xF8, 0xEA}));
    EXPECT_EQ(view.textColours[ui::kOffLblConnection], kBlue);
    EXPECT_TRUE(view.enabled[ui::kOffCmdCheckInternet]);
    EXPECT_FALSE(view.closed);

    EXPECT_EQ(during, std::vector<std::string>(3, "disabled בודק חיבור לאינטרנט... pump"));
    // Each outcome is announced once its text stands in the notice.
    std::vector<std::string> announced;
    for (const auto& event : view.events)
        if (event.starts_with("announce ")) announced.push_back(event);
    EXPECT_EQ(announced, (std::vector<std::string>{"announce עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג.",
                                                    "announce האינטרנט חזר. אפשר לחזור לאתר ולהמשיך בצ'אט.",
                                                    "announce האינטרנט חזר. אפשר לחזור לאתר ולהמשיך בצ'אט."}));
    EXPECT_EQ(view.activity, (std::vector<std::string>{"18:00:00 - בדיקת חיבור נכשלה.",
                                                       "18:00:00 - בדיקת חיבור הצליחה. האינטרנט חזר.",
                                                       "18:00:00 - בדיקת חיבור הצליחה. האינטרנט חזר."}));
    EXPECT_EQ(f.LogMessages(),
              (std::vector<std::string>{Ansi("Offline: בדיקת חיבור נכשלה."),
                                        Ansi("Offline: בדיקת חיבור הצליחה. האינטרנט חזר."),
                                        Ansi("Offline: בדיקת חיבור הצליחה. האינטרנט חזר.")}));
}

TEST_F(OfflineWindow, CloseClosesAndLogsNothing) {
    ui::OnOfflineButtonClicked(f.context, view, ui::kOffCmdClose);
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(f.LogMessages().empty());
}

TEST(OfflineLayout, FrameChildrenStandAtFramePlusTheirOwnPosition) {
    const auto& table = ui::kOfflineLayout;
    EXPECT_EQ(ui::WindowRectOf(table, *ui::FindControl(table, ui::kOffCmdIpInfo)),
              (ui::TwipsRect{7860, 3360, 2220, 570}));
    EXPECT_EQ(ui::WindowRectOf(table, *ui::FindControl(table, ui::kOffTxtToken)),
              (ui::TwipsRect{6840, 2040, 1680, 390}));
    EXPECT_EQ(ui::WindowRectOf(table, *ui::FindControl(table, ui::kOffLstActivity)),
              (ui::TwipsRect{420, 6600, 9660, 494}));
    EXPECT_EQ(ui::WindowRectOf(table, *ui::FindControl(table, ui::kOffCmdClose)),
              (ui::TwipsRect{240, 7560, 1440, 510}));
    // Mirrored once, as a whole: cmdIpInfo at 96 DPI is 148 px wide, 524 px from the left
    // of a 700 px client area, so 28 px from its right edge.
    EXPECT_EQ(
        ui::MirroredX(ui::TwipsToPixels(7860, 96), ui::TwipsToPixels(2220, 96), ui::TwipsToPixels(10504, 96)),
        28);
}

TEST(OfflineLayout, RowsAreInTabOrder) {
    int previous = -1;
    for (const auto& spec : ui::kOfflineLayout) {
        EXPECT_EQ(spec.tabOrder, previous + 1) << spec.name;
        previous = spec.tabOrder;
    }
}

}  // namespace
}  // namespace kelto

#include "actions/approval.h"

#include <gtest/gtest.h>

#include "intake/session_store.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using namespace platform::mb;
using testing::FakeSystem;

// 2025-12-10 16:00:00 UTC is the first second of token window 204384, whose token is 226939.
constexpr platform::DateTime kWindowStart{2025, 12, 10, 16, 0, 0};
constexpr const char* kToken = "226939";
constexpr const char* kExe = "C:\\Program Files\\Kelto\\KeltoClientHelper.exe";

const std::string kConsentTitle = "בקשת פעולה מ-Kelto";
const std::string kRestoreQuestion = "האם ליצור נקודת שחזור לפני ביצוע הפעולה?";
const std::string kTokenRefusal = "קוד הטוקן שגוי או שפג תוקפו.\r\nבקש מהנציג ליצור טוקן חדש.";

struct Approval : ::testing::Test {
    FakeSystem f;
    void SetUp() override {
        f.clock.utc = kWindowStart;
        f.request.CurrentSessionId = "s-42";
    }
    void Authorize() {
        intake::AuthorizeSession(f.system, "s-42");
        f.files.entries.clear();  // start the log afresh
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& box : f.dialogs.boxes) out.push_back(box.text);
        return out;
    }
};

TEST_F(Approval, UnknownKeyIsRefusedBeforeAnyTokenCheck) {
    EXPECT_FALSE(actions::RequestAction(f.context, "format", "123456"));
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, "הפעולה אינה נמצאת ברשימת הפעולות המאושרות.");
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconExclamation);
    EXPECT_EQ(f.clock.utcReads, 0);
    EXPECT_TRUE(f.LogMessages().empty());
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Approval, MissingAndWrongTokensAreRefused) {
    EXPECT_FALSE(actions::RequestAction(f.context, "ipconfig", "   "));
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, "יש להזין תחילה טוקן שקיבלת מהנציג.");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconInformation);
    EXPECT_TRUE(f.LogMessages().empty());

    EXPECT_FALSE(actions::RequestAction(f.context, "ipconfig", "000000"));
    ASSERT_EQ(f.dialogs.boxes.size(), 2u);
    EXPECT_EQ(f.dialogs.boxes[1].text, kTokenRefusal);
    EXPECT_EQ(f.dialogs.boxes[1].flags, kOk | kIconExclamation);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Invalid or expired token for tool: ipconfig"});
    EXPECT_FALSE(f.registry.KeyExists("HKCU\\Software\\KeltoRemote\\AuthorizedSession\\"));
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Approval, ValidTokenRunsTheWholeRoadToTheElevationPrompt) {
    f.dialogs.answers = {kIdYes, kIdNo};  // consent, restore question
    EXPECT_TRUE(actions::RequestAction(f.context, "ipconfig", " 226939 "));

    ASSERT_EQ(f.dialogs.boxes.size(), 2u);
    EXPECT_EQ(f.dialogs.boxes[0].text,
              "הנציג מבקש לבצע את הפעולה:\r\n\r\nהצגת הגדרות IP\r\nתופעל הפקודה: ipconfig /all\r\n\r\nלאשר "
              "את הפעולה?");
    EXPECT_EQ(f.dialogs.boxes[0].title, kConsentTitle);
    EXPECT_EQ(f.dialogs.boxes[0].flags, kYesNo | kIconQuestion);
    EXPECT_EQ(f.dialogs.boxes[1].text, kRestoreQuestion);
    EXPECT_EQ(f.dialogs.boxes[1].title, "Kelto - נקודת שחזור");
    EXPECT_EQ(f.dialogs.boxes[1].flags, kYesNoCancel | kIconQuestion);

    ASSERT_EQ(f.shell.calls.size(), 1u);
    const auto& call = f.shell.calls[0];
    EXPECT_EQ(call.verb, "runas");
    EXPECT_EQ(call.file, kExe);
    // The trimmed token travels.
    EXPECT_EQ(call.parameters, "/elevated:ipconfig:226939:0:s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
    EXPECT_EQ(call.directory, "C:\\Program Files\\Kelto");
    EXPECT_EQ(call.showMode, 1);
    EXPECT_EQ(call.owner, f.mainWindow.handle);
    // Readied behind the consent box.
    EXPECT_EQ(f.mainWindow.promptsPrepared, 1);
    EXPECT_TRUE(f.request.ActionLaunched);
    EXPECT_EQ(f.LogMessages(), (std::vector<std::string>{"Support session authorized: s-42",
                                                         "Approved offline tool: ipconfig"}));
}

TEST_F(Approval, AuthorizedSessionSkipsThePromptAndCarriesAnEmptyToken) {
    Authorize();
    f.dialogs.answers = {kIdYes, kIdYes};
    actions::PromptTokenAndRequest(f.context, "flushdns");
    EXPECT_TRUE(f.dialogs.inputBoxes.empty());
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/elevated:flushdns::1:s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Approved offline tool: flushdns"});
}

TEST_F(Approval, TheInputBoxAsksForTheTokenAndCancelEndsSilently) {
    actions::PromptTokenAndRequest(f.context, "ipconfig");  // no scripted input: Cancel
    ASSERT_EQ(f.dialogs.inputBoxes.size(), 1u);
    EXPECT_EQ(f.dialogs.inputBoxes[0].text, "הזן קוד טוקן בן 6 ספרות שקיבלת מהנציג.");
    EXPECT_EQ(f.dialogs.inputBoxes[0].title, "אישור פעולה - Kelto");
    EXPECT_TRUE(f.dialogs.boxes.empty());
    EXPECT_TRUE(f.LogMessages().empty());

    f.dialogs.inputs = {kToken};
    f.dialogs.answers = {kIdYes, kIdNo};
    actions::PromptTokenAndRequest(f.context, "ipconfig");
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/elevated:ipconfig:226939:0:s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
}

TEST_F(Approval, DecliningConsentAfterAValidTokenLeavesTheSessionAuthorized) {
    f.dialogs.answers = {kIdNo};
    EXPECT_FALSE(actions::RequestAction(f.context, "ipconfig", kToken));
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Support session authorized: s-42"});
    EXPECT_TRUE(intake::IsSessionAuthorized(f.system, "s-42"));
}

TEST_F(Approval, CancelAtTheRestoreQuestionEndsSilently) {
    f.dialogs.answers = {kIdYes, kIdCancel};
    EXPECT_FALSE(actions::RequestAction(f.context, "ipconfig", kToken));
    EXPECT_EQ(f.dialogs.boxes.size(), 2u);
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Support session authorized: s-42"});
}

TEST_F(Approval, RefusedElevationLogsOnlyTheApprovalLine) {
    Authorize();
    f.shell.result = 5;
    f.dialogs.answers = {kIdYes, kIdNo};
    EXPECT_FALSE(actions::RequestAction(f.context, "ipconfig", ""));
    EXPECT_FALSE(f.request.ActionLaunched);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Approved offline tool: ipconfig"});
    ASSERT_EQ(f.dialogs.boxes.size(), 3u);
    EXPECT_EQ(f.dialogs.boxes[2].text, "הפעולה בוטלה או שאישור UAC לא התקבל.");
    EXPECT_EQ(f.dialogs.boxes[2].flags, kOk | kIconExclamation);
}

// Windows puts the elevation prompt in front only for an owner that is a shown window in the
// foreground; for the hidden window of the URL road it would wait minimised on the taskbar.
TEST_F(Approval, TheElevationPromptIsOwnedByAShownForegroundWindowWithItsOneLine) {
    Authorize();
    f.dialogs.answers = {kIdYes, kIdNo};
    bool checked = false;
    f.shell.onExecute = [&](const testing::FakeShell::Call& call) {
        checked = true;
        EXPECT_EQ(call.owner, f.mainWindow.handle);
        EXPECT_TRUE(f.mainWindow.visible);
        EXPECT_TRUE(f.mainWindow.foreground);
        EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "ממתין לאישור ההרשאות של Windows...");
        // The helper explains a refusal itself: the shell shows no box of its own.
        EXPECT_EQ(call.failureBox, platform::ShellFailureBox::Caller);
    };
    EXPECT_TRUE(actions::RequestAction(f.context, "ipconfig", ""));
    EXPECT_TRUE(checked);
    // Hidden again once the shell has returned.
    EXPECT_FALSE(f.mainWindow.visible);
    EXPECT_EQ(f.mainWindow.events,
              (std::vector<std::string>{"prompt ממתין לאישור ההרשאות של Windows...", "prompt end"}));
}

TEST_F(Approval, ATokenThatWouldShiftTheElevatedFieldsIsRefusedInAnAuthorizedSession) {
    Authorize();
    for (const std::string token : {"1:2", "\"x", "12345:"}) {
        f.dialogs.boxes.clear();
        EXPECT_FALSE(actions::RequestAction(f.context, "ipconfig", token)) << token;
        ASSERT_EQ(f.dialogs.boxes.size(), 1u) << token;
        EXPECT_EQ(f.dialogs.boxes[0].text, kTokenRefusal);
    }
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_EQ(f.LogMessages().back(), "Invalid or expired token for tool: ipconfig");
    // An ordinary token is passed on unchecked, as typed.
    f.dialogs.answers = {kIdYes, kIdNo};
    EXPECT_TRUE(actions::RequestAction(f.context, "ipconfig", "abc"));
    EXPECT_EQ(f.shell.calls.at(0).parameters, "/elevated:ipconfig:abc:0:s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
}

struct ConfirmationCase {
    std::string key;
    std::string text;
    std::string title;
};

class Confirmations : public Approval, public ::testing::WithParamInterface<ConfirmationCase> {};

TEST_P(Confirmations, ShowTheirTextAndStopOnNo) {
    const auto& c = GetParam();
    f.request.ServerHost = "support.example.com";
    f.request.ServerPort = 8443;
    f.dialogs.answers = {kIdYes, kIdNo};
    EXPECT_FALSE(actions::RequestAction(f.context, c.key, kToken));
    ASSERT_EQ(f.dialogs.boxes.size(), 2u);
    EXPECT_EQ(f.dialogs.boxes[1].text, c.text);
    EXPECT_EQ(f.dialogs.boxes[1].title, c.title);
    EXPECT_EQ(f.dialogs.boxes[1].flags, kYesNo | kIconExclamation);
    EXPECT_TRUE(f.shell.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Confirmations,
    ::testing::Values(
        ConfirmationCase{
            "safemodenetwork",
            "המחשב יופעל מחדש במצב בטוח עם רשת.\r\nהצ'אט והתמיכה מרחוק עשויים להתנתק.\r\nלאחר הבדיקה יש "
            "להפעיל חזרה לאתחול רגיל.\r\nאם BitLocker פעיל, ודא שמפתח השחזור זמין.\r\n\r\nהאם להמשיך?",
            "Kelto Remote - אתחול"},
        ConfirmationCase{"normalboot", "הגדרת מצב בטוח תבוטל והמחשב יופעל מחדש.\r\n\r\nהאם להמשיך?",
                         "Kelto Remote - אתחול"},
        ConfirmationCase{"restartnormal", "המחשב יופעל מחדש בעוד 15 שניות.\r\n\r\nהאם להמשיך?",
                         "Kelto Remote - אתחול"},
        ConfirmationCase{
            "reinstallnetwork",
            "כל מתאמי הרשת הפיזיים יופעלו מחדש.\r\nהצ'אט והתמיכה מרחוק יתנתקו לזמן קצר.\r\nחבילת מנהל ההתקן "
            "לא תימחק מהמחשב.\r\n\r\nהאם להמשיך?",
            "Kelto Remote - כרטיס רשת"},
        ConfirmationCase{
            "virtualiso",
            "הפעולה תוריד את QEMU.zip ואת קובץ ה-ISO.\r\nה-ZIP יחולץ לתיקיית QEMU ליד כלי העזר.\r\nQEMU לא "
            "תותקן ב-Windows ולא יימחקו קבצים אחרים.\r\nשרת ההורדה: http://support.example.com:8443\r\n\r\n"
            "להמשיך בהורדה ובהפעלה?",
            "Kelto Remote - מכונה וירטואלית"}),
    [](const auto& info) { return info.param.key; });

struct NoRestoreQuestionCase {
    std::string key;
    std::string expectedLine;
};

class NoRestoreQuestion : public Approval, public ::testing::WithParamInterface<NoRestoreQuestionCase> {};

TEST_P(NoRestoreQuestion, PassesTheFlagZeroWithoutAsking) {
    f.request.ServerHost = "support.example.com";
    f.request.ServerPort = 8443;
    f.request.ServerUseTls = true;
    f.dialogs.answers = {kIdYes, kIdYes, kIdYes};
    EXPECT_TRUE(actions::RequestAction(f.context, GetParam().key, kToken));
    for (const auto& box : f.dialogs.boxes) EXPECT_NE(box.text, kRestoreQuestion);
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, GetParam().expectedLine);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, NoRestoreQuestion,
    ::testing::Values(
        NoRestoreQuestionCase{"restorelastkelto",
                              "/elevated:restorelastkelto:226939:0:s-42:support.example.com:8443:1:S-1-5-21-1004336348-1177238915-682003330-1001"},
        NoRestoreQuestionCase{"virtualiso", "/elevated:virtualiso:226939:0:s-42:support.example.com:8443:1:S-1-5-21-1004336348-1177238915-682003330-1001"}),
    [](const auto& info) { return info.param.key; });

// In Safe Mode Windows makes no restore point: the question is not asked, for any action, and
// the elevated line carries no request for one. "normalboot" (how a customer leaves Safe Mode)
// goes from the consent to its restart confirmation and on to the elevation. In a normal boot
// the question comes as always.
struct BootCase {
    const char* name;
    bool safeMode;
    std::vector<int> answers;
    std::vector<std::string> titles;
    std::vector<std::string> log;
    char restoreFlag;
};

void PrintTo(const BootCase& c, std::ostream* os) { *os << c.name; }

class RestoreQuestionByBoot : public Approval, public ::testing::WithParamInterface<BootCase> {};

TEST_P(RestoreQuestionByBoot, SafeModeAsksNoRestoreQuestion) {
    const BootCase& c = GetParam();
    f.boot.safeMode = c.safeMode;
    f.dialogs.answers = {c.answers.begin(), c.answers.end()};
    EXPECT_TRUE(actions::RequestAction(f.context, "normalboot", kToken));
    std::vector<std::string> titles;
    for (const auto& box : f.dialogs.boxes) titles.push_back(box.title);
    EXPECT_EQ(titles, c.titles);
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].verb, "runas");
    EXPECT_EQ(f.shell.calls[0].parameters, std::string("/elevated:normalboot:226939:") + c.restoreFlag +
                                               ":s-42::0:0:S-1-5-21-1004336348-1177238915-682003330-1001");
    EXPECT_EQ(f.LogMessages(), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Boots, RestoreQuestionByBoot,
    ::testing::Values(BootCase{"SafeMode",
                               true,
                               {kIdYes, kIdYes},
                               {"בקשת פעולה מ-Kelto", "Kelto Remote - אתחול"},
                               {"Support session authorized: s-42", "Restore point skipped: Safe Mode",
                                "Approved offline tool: normalboot"},
                               '0'},
                      BootCase{"NormalBoot",
                               false,
                               {kIdYes, kIdYes, kIdYes},
                               {"בקשת פעולה מ-Kelto", "Kelto Remote - אתחול", "Kelto - נקודת שחזור"},
                               {"Support session authorized: s-42", "Approved offline tool: normalboot"},
                               '1'}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Approval, RescueVmWithoutAServerAddressIsRefusedAfterConsent) {
    f.request.ServerHost = "support.example.com";  // a host without a port is no address
    f.dialogs.answers = {kIdYes};
    EXPECT_FALSE(actions::RequestAction(f.context, "virtualiso", kToken));
    ASSERT_EQ(f.dialogs.boxes.size(), 2u);
    EXPECT_EQ(f.dialogs.boxes[0].title, kConsentTitle);
    EXPECT_EQ(f.dialogs.boxes[1].text, "כתובת שרת Kelto לא התקבלה ולכן ההורדה בוטלה.");
    EXPECT_EQ(f.dialogs.boxes[1].title, "Kelto Remote");
    EXPECT_EQ(f.dialogs.boxes[1].flags, kOk | kIconExclamation);
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST(ApprovalKeys, BootActionsAreExactlyTheThreeRestarts) {
    for (const std::string key : {"restartnormal", "safemodenetwork", "normalboot"})
        EXPECT_TRUE(actions::IsBootAction(key));
    for (const std::string key : {"cancelrestart", "RESTARTNORMAL", "restorelastkelto", ""})
        EXPECT_FALSE(actions::IsBootAction(key));
}

}  // namespace
}  // namespace kelto

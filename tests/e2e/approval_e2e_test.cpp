// Approval and elevated execution with the real executable: the token prompt, consent and the
// restore-point question, the relaunch through the shell's "runas" (which Wine performs
// without a prompt), and the program the elevated instance finally starts, seen through the
// stand-in that replaces cmd.exe in the prefix and records its own command line.
#include <cstdio>

#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

TEST(TokenReference, GivesTheDocumentedTokens) {
    EXPECT_EQ(TokenOfWindow(0), "072923");
    EXPECT_EQ(TokenOfWindow(204384), "226939");
}

// A token the helper accepts now: that of the current window or of a neighbour.
bool AcceptedAround(const std::string& token, std::int64_t window) {
    return token == TokenOfWindow(window - 1) || token == TokenOfWindow(window) ||
           token == TokenOfWindow(window + 1);
}

std::string ConsentText(const std::string& title, const std::string& description) {
    return "הנציג מבקש לבצע את הפעולה:\r\n\r\n" + title + "\r\n" + description + "\r\n\r\nלאשר את הפעולה?";
}

constexpr const char* kRestoreTitle = "Kelto - נקודת שחזור";
constexpr const char* kRestoreText = "האם ליצור נקודת שחזור לפני ביצוע הפעולה?";
constexpr const char* kTokenRefused = "קוד הטוקן שגוי או שפג תוקפו.\r\nבקש מהנציג ליצור טוקן חדש.";

class ApprovalTest : public HelperTest {
protected:
    // The token input box: title, prompt, an empty unmasked entry field, OK and Cancel.
    static void ExpectTokenPrompt(const WindowSnapshot& box) {
        EXPECT_EQ(box.title, kTokenPromptTitle);
        EXPECT_NE(box.ControlWithText(kTokenPromptText), nullptr)
            << "no prompt \"" << kTokenPromptText << "\"";
        const ControlInfo& edit = EntryField(box);
        EXPECT_EQ(edit.text, "");
        EXPECT_EQ(edit.style & ES_PASSWORD, 0) << "the entry is masked";
        EXPECT_THAT(box.ButtonIds(), ElementsAre(IDOK, IDCANCEL));
        ExpectRightToLeftReading(box);
        // Owned by the hidden main window, the box carries a taskbar button of its own.
        EXPECT_TRUE(box.exStyle & WS_EX_APPWINDOW) << "the token box has no taskbar button";
    }

    // Types the token into the entry field (WM_SETTEXT) and presses OK.
    void EnterToken(const WindowSnapshot& box, const std::string& token) {
        SetEditText(box.hwnd, EntryField(box).id, token);
        Answer(box, IDOK);
    }

    // Starts the helper with a URL, types the token at the prompt and returns the box that
    // follows; keeps a screenshot of the prompt under `promptShot` when one is named.
    WindowSnapshot RequestWithToken(const Process& helper, const std::string& token,
                                    const char* promptShot = nullptr) {
        const auto prompt = WaitForDialog(helper);
        ExpectTokenPrompt(prompt);
        if (promptShot != nullptr) SaveScreenshot(prompt.hwnd, promptShot);
        EnterToken(prompt, token);
        return WaitForDialog(helper);
    }
};

// The whole road of a request: URL, token, consent, restore question, relaunch through
// "runas", and the command window the elevated instance starts.
TEST_F(ApprovalTest, RealRoadFromTheUrlToTheStartedCommandWindow) {
    const std::int64_t authorizedFrom = LocalSecondsSince2024();
    const std::string token = TokenOfWindow(SettledTokenWindow());
    auto helper = StartHelper(L"\"kelto:ipconfig/sid/s-42\"");

    const auto consent = RequestWithToken(helper, token, "token-prompt");
    ExpectMessageBox(consent, kConsentTitle, ConsentText("הצגת הגדרות IP", "תופעל הפקודה: ipconfig /all"),
                     IconKind::Question, {IDYES, IDNO});
    SaveScreenshot(consent.hwnd, "consent");
    Answer(consent, IDYES);

    const auto restore = WaitForDialog(helper);
    ExpectMessageBox(restore, kRestoreTitle, kRestoreText, IconKind::Question, {IDYES, IDNO, IDCANCEL});
    SaveScreenshot(restore.hwnd, "restore-question");
    Answer(restore, IDNO);
    WaitForExit(helper);
    // The elevated instance, and what it started, end by themselves.
    WaitUntilAllEnded();
    const std::int64_t authorizedTo = LocalSecondsSince2024();

    // The stand-in in place of cmd.exe recorded its own path, working folder and the command
    // line it got: the native command processor (system32, which the 32-bit helper names
    // through Sysnative), started in the system folder, with nothing added to the catalogue's
    // arguments.
    const auto launches = Launches();
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_EQ(launches[0].program, "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(launches[0].commandLine,
              "\"" + NativeSystemFolder() + "\\cmd.exe\" /K ipconfig /all");
    EXPECT_EQ(launches[0].workingFolder, "C:\\windows\\System32");

    EXPECT_THAT(LogMessages(),
                ElementsAre(VersionLine("\"kelto:ipconfig/sid/s-42\""), "Parsed tool: [ipconfig]",
                            "Support session: [s-42]", "Support session authorized: s-42",
                            "Approved offline tool: ipconfig",
                            VersionLine("/elevated:ipconfig:" + token + ":0:s-42::0:0:" + OwnUserSid())));

    const auto id = ReadRegistry(kSessionKey, L"SessionID");
    const auto expires = ReadRegistry(kSessionKey, L"ExpiresAt");
    ASSERT_TRUE(id && expires);
    EXPECT_EQ(id->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(id->data, "s-42");
    EXPECT_EQ(expires->type, static_cast<DWORD>(REG_SZ));
    // Eight hours from the moment of authorization, on the local clock.
    const std::int64_t expiresAt = std::stoll(expires->data);
    EXPECT_EQ(expires->data, std::to_string(expiresAt));
    EXPECT_GE(expiresAt, authorizedFrom + 28800);
    EXPECT_LE(expiresAt, authorizedTo + 28800);
}

TEST_F(ApprovalTest, WrongTokenIsRefusedAndNothingStarts) {
    const std::int64_t window = SettledTokenWindow();
    const std::string wrong = TokenOfWindow(window + 5);
    ASSERT_FALSE(AcceptedAround(wrong, window));
    auto helper = StartHelper(L"\"kelto:ipconfig/sid/s-42\"");

    // Typed, then Enter in the entry field: the box's default button, OK.
    const auto prompt = WaitForDialog(helper);
    const ControlInfo& entry = EntryField(prompt);
    SetEditText(prompt.hwnd, entry.id, wrong);
    PressKey(entry.hwnd, VK_RETURN);
    WaitUntilGone(prompt.hwnd, Deadline::In(kDefaultWait));
    const auto box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto", kTokenRefused, IconKind::Exclamation, {IDOK});
    SaveScreenshot(box.hwnd, "token-refused");
    Answer(box, IDOK);
    WaitForExit(helper);
    WaitUntilAllEnded();
    EXPECT_THAT(LogMessages(),
                ElementsAre(VersionLine("\"kelto:ipconfig/sid/s-42\""), "Parsed tool: [ipconfig]",
                            "Support session: [s-42]", "Invalid or expired token for tool: ipconfig"));
    EXPECT_TRUE(Launches().empty());
    EXPECT_FALSE(RegistryKeyExists(kSessionKey));
}

TEST_F(ApprovalTest, KeyOutsideTheCatalogueIsRefusedAfterTheTokenPrompt) {
    auto helper = StartHelper(L"kelto:format/sid/x");
    const auto box = RequestWithToken(helper, TokenOfWindow(SettledTokenWindow()));
    ExpectMessageBox(box, "Kelto", "הפעולה אינה נמצאת ברשימת הפעולות המאושרות.", IconKind::Exclamation,
                     {IDOK});
    SaveScreenshot(box.hwnd, "action-not-in-catalogue");
    Answer(box, IDOK);
    WaitForExit(helper);
    WaitUntilAllEnded();
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine("kelto:format/sid/x"), "Parsed tool: [format]",
                                           "Support session: [x]"));
    EXPECT_TRUE(Launches().empty());
    // Refused before the token was looked at: the session is not authorized.
    EXPECT_FALSE(RegistryKeyExists(kSessionKey));
}

// Started directly with an elevated line whose token no longer holds, and no session stored.
TEST_F(ApprovalTest, ElevatedLineWithAnExpiredTokenIsRefused) {
    const std::int64_t window = SettledTokenWindow();
    for (const std::string& token : {std::string("000000"), TokenOfWindow(window - 2)}) {
        SCOPED_TRACE("token " + token);
        ASSERT_FALSE(AcceptedAround(token, window));
        const std::string line = "/elevated:ipconfig:" + token + ":0";
        auto helper = StartHelper(Widen(line));
        const auto box = WaitForDialog(helper);
        ExpectMessageBox(box, "Kelto", "קוד הטוקן פג לפני אישור UAC.\r\nבקש מהנציג ליצור טוקן חדש.",
                         IconKind::Exclamation, {IDOK});
        if (token == "000000") SaveScreenshot(box.hwnd, "elevated-token-expired");
        Answer(box, IDOK);
        WaitForExit(helper);
        WaitUntilAllEnded();
        ASSERT_FALSE(LogMessages().empty());
        EXPECT_EQ(LogMessages().back(), VersionLine(line));
    }
    EXPECT_THAT(LogMessages(), SizeIs(2));
    EXPECT_TRUE(Launches().empty());
}

// ---- The second confirmation after consent ----

struct ConfirmationCase {
    const char* key;
    const char* shot;
    const char* title;
    const char* text;
    std::vector<int> buttons;
    int answer;
    friend void PrintTo(const ConfirmationCase& c, std::ostream* os) { *os << c.key; }
};

class ConfirmationTest : public ApprovalTest, public ::testing::WithParamInterface<ConfirmationCase> {};

// A stored session, consent given, then the action's own box: declined (or, for the rescue VM
// without a server, refused), nothing is started and no elevated instance runs.
TEST_P(ConfirmationTest, DecliningTheActionsOwnBoxStartsNothing) {
    const auto& c = GetParam();
    StoreAuthorizedSession("conf-1", LocalSecondsSince2024() + 600);
    const std::string url = std::string("kelto:") + c.key;
    auto helper = StartHelper(Widen(url));
    const auto consent = WaitForDialog(helper);
    EXPECT_EQ(consent.title, kConsentTitle);
    Answer(consent, IDYES);

    const auto box = WaitForDialog(helper);
    ExpectMessageBox(box, c.title, c.text, IconKind::Exclamation, c.buttons);
    SaveScreenshot(box.hwnd, c.shot);
    Answer(box, c.answer);
    EXPECT_EQ(WaitForExit(helper), 0u);
    WaitUntilAllEnded();
    EXPECT_TRUE(Launches().empty());
    const auto log = LogMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), VersionLine(url));
    for (size_t i = 1; i < log.size(); ++i) EXPECT_FALSE(log[i].starts_with("Version ")) << log[i];
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ConfirmationTest,
    ::testing::Values(
        ConfirmationCase{"safemodenetwork",
                         "confirm-boot-safe-mode",
                         "Kelto Remote - אתחול",
                         "המחשב יופעל מחדש במצב בטוח עם רשת.\r\nהצ'אט והתמיכה מרחוק עשויים להתנתק.\r\n"
                         "לאחר הבדיקה יש להפעיל חזרה לאתחול רגיל.\r\nאם BitLocker פעיל, ודא שמפתח השחזור "
                         "זמין.\r\n\r\nהאם להמשיך?",
                         {IDYES, IDNO},
                         IDNO},
        ConfirmationCase{"normalboot",
                         "confirm-boot-normal",
                         "Kelto Remote - אתחול",
                         "הגדרת מצב בטוח תבוטל והמחשב יופעל מחדש.\r\n\r\nהאם להמשיך?",
                         {IDYES, IDNO},
                         IDNO},
        ConfirmationCase{"restartnormal",
                         "confirm-restart",
                         "Kelto Remote - אתחול",
                         "המחשב יופעל מחדש בעוד 15 שניות.\r\n\r\nהאם להמשיך?",
                         {IDYES, IDNO},
                         IDNO},
        ConfirmationCase{"reinstallnetwork",
                         "confirm-network-reinstall",
                         "Kelto Remote - כרטיס רשת",
                         "כל מתאמי הרשת הפיזיים יופעלו מחדש.\r\nהצ'אט והתמיכה מרחוק יתנתקו לזמן קצר.\r\n"
                         "חבילת מנהל ההתקן לא תימחק מהמחשב.\r\n\r\nהאם להמשיך?",
                         {IDYES, IDNO},
                         IDNO},
        ConfirmationCase{"virtualiso",
                         "rescue-vm-no-server",
                         "Kelto Remote",
                         "כתובת שרת Kelto לא התקבלה ולכן ההורדה בוטלה.",
                         {IDOK},
                         IDOK}),
    [](const auto& info) { return std::string(info.param.key); });

// quickassist.exe is a catalogue entry that Wine does not have: it is in no system folder and
// not on PATH, and the launch fails as the shell fails a file it cannot find.
TEST_F(ApprovalTest, CatalogueEntryWhoseFileIsMissingShowsTheLaunchFailure) {
    const std::string line = "/elevated:quickassist:" + TokenOfWindow(SettledTokenWindow()) + ":0";
    auto helper = StartHelper(Widen(line));
    const auto box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto",
                     "לא ניתן לפתוח את הפעולה:\r\nפתיחת סיוע מהיר\r\n\r\nהקובץ לא נמצא.\r\nקוד שגיאה: 2\r\n"
                     "נתיב: quickassist.exe",
                     IconKind::Exclamation, {IDOK});
    SaveScreenshot(box.hwnd, "launch-failed");
    Answer(box, IDOK);
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(line),
                                           "Open failed. Tool: quickassist Result: 2 File: quickassist.exe"));
}

}  // namespace
}  // namespace kelto::e2e

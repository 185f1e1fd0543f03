#include "actions/elevated.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "actions/elevated_line.h"
#include "intake/session_store.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using namespace platform::mb;
using testing::FakeSystem;

constexpr platform::DateTime kWindowStart{2025, 12, 10, 16, 0, 0};  // token window 204384: "226939"
const std::string kInvalidLine = "בקשת ההפעלה המוגבהת אינה תקינה.";
const std::string kExpired = "קוד הטוקן פג לפני אישור UAC.\r\nבקש מהנציג ליצור טוקן חדש.";
const std::string kNoRestorePoint =
    "לא נוצרה נקודת שחזור ולכן הפעולה בוטלה.\r\nבדוק שהגנת המערכת פעילה ושיש מקום פנוי בדיסק.";

// 64-bit Windows seen from the 32-bit helper, beside which files named like the programs it
// starts were planted.
struct Elevated : ::testing::Test {
    FakeSystem f;
    void SetUp() override {
        f.clock.utc = kWindowStart;
        f.environment.variables = {{"SystemRoot", "C:\\Windows"}, {"TEMP", "C:\\Temp"}};
        for (const char* path :
             {"C:\\Windows\\Sysnative\\cmd.exe", "C:\\Windows\\Sysnative\\mmc.exe",
              "C:\\Windows\\Sysnative\\taskmgr.exe", "C:\\Windows\\explorer.exe",
              "C:\\Windows\\System32\\cmd.exe", "C:\\Windows\\SysWOW64\\cmd.exe",
              "C:\\Windows\\System32\\explorer.exe", "C:\\Windows\\SysWOW64\\explorer.exe",
              "C:\\Program Files\\Kelto\\cmd.exe", "C:\\Program Files\\Kelto\\quickassist.exe",
              "C:\\Program Files\\Kelto\\devmgmt.msc"}) {
            f.files.AddFile(path);
        }
        f.files.AddFile("C:\\Windows\\Sysnative", testing::FakeFileSystem::Attr::Folder);
    }
};

// Every row of the elevated line's field table, read back from literal lines.
struct LineCase {
    std::string line;
    bool valid;
    std::string key, token;
    bool restore;
    std::string session;
    std::optional<std::string> host;
    std::optional<int> port;
    std::optional<bool> tls;
};

class ElevatedLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ElevatedLines, SplitIntoTheirFields) {
    const auto& c = GetParam();
    const auto parsed = actions::ParseElevatedCommandLine(c.line);
    ASSERT_EQ(parsed.has_value(), c.valid);
    if (!parsed) return;
    EXPECT_EQ(parsed->actionKey, c.key);
    EXPECT_EQ(parsed->token, c.token);
    EXPECT_EQ(parsed->createRestorePoint, c.restore);
    EXPECT_EQ(parsed->sessionId, c.session);
    EXPECT_EQ(parsed->serverHost, c.host);
    EXPECT_EQ(parsed->serverPort, c.port);
    EXPECT_EQ(parsed->serverUseTls, c.tls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ElevatedLines,
    ::testing::Values(
        LineCase{"/elevated:ipconfig", false, "", "", true, "", {}, {}, {}},
        LineCase{"/elevated", false, "", "", true, "", {}, {}, {}},
        LineCase{"/elevated:ipconfig:", true, "ipconfig", "", true, "", {}, {}, {}},
        LineCase{"/ELEVATED:IPCONFIG:226939", true, "ipconfig", "226939", true, "", {}, {}, {}},
        LineCase{"\"/elevated: IpConfig : 226939 : 0 \"", true, "ipconfig", "226939", false, "", {}, {}, {}},
        LineCase{"/elevated:ipconfig::1:s-42::0:0", true, "ipconfig", "", true, "s-42", "", 0, false},
        LineCase{"/elevated:virtualiso:1:yes:AbC: Support.Example.COM :0443: 1 ", true, "virtualiso", "1",
                 false, "AbC", "support.example.com", 443, true},
        LineCase{"/elevated:ipconfig:1:1:s:h:1:1:extra:more", true, "ipconfig", "1", true, "s", "h", 1, true},
        LineCase{"/elevated:ipconfig:1:1:s:h::2", true, "ipconfig", "1", true, "s", "h", 0, false},
        LineCase{"/elevated:ipconfig:1:1:s:h:99999:1", true, "ipconfig", "1", true, "s", "h", 0, true},
        LineCase{"/elevated:ipconfig:1:1:s:h:4x:1", true, "ipconfig", "1", true, "s", "h", 0, true}));

TEST(ElevatedLineRoundTrip, WhatIsBuiltReadsBackTheSame) {
    struct State {
        std::string session, host;
        int port;
        bool tls;
    };
    const State states[] = {{"", "", 0, false},
                            {"AbC-9_x", "10.0.0.5", 443, true},
                            {std::string(80, 'z'), std::string(253, 'h'), 65535, false},
                            {"s", "", 0, true},
                            {"a-b", "host-only.example", 0, false}};
    for (const auto& s : states) {
        for (const std::string token : {"", "072923"}) {
            for (const bool restore : {false, true}) {
                intake::RequestState request;
                request.CurrentSessionId = s.session;
                request.ServerHost = s.host;
                request.ServerPort = s.port;
                request.ServerUseTls = s.tls;
                const std::string line =
                    actions::BuildElevatedCommandLine("spoolerreset", token, restore, request);
                const auto parsed = actions::ParseElevatedCommandLine(line);
                ASSERT_TRUE(parsed) << line;
                EXPECT_EQ(parsed->actionKey, "spoolerreset");
                EXPECT_EQ(parsed->token, token);
                EXPECT_EQ(parsed->createRestorePoint, restore);
                intake::RequestState back;
                actions::ApplyToRequestState(*parsed, back);
                EXPECT_EQ(back.CurrentSessionId, s.session) << line;
                EXPECT_EQ(back.ServerHost, s.host) << line;
                EXPECT_EQ(back.ServerPort, s.port) << line;
                EXPECT_EQ(back.ServerUseTls, s.tls) << line;
            }
        }
    }
}

TEST(ElevatedLineState, HandMadeValuesOutsideTheRequestInvariantsAreDropped) {
    const auto parsed = actions::ParseElevatedCommandLine("/elevated:virtualiso:1:0:a&b=c:evil_host:8080:1");
    ASSERT_TRUE(parsed);
    intake::RequestState request;
    actions::ApplyToRequestState(*parsed, request);
    EXPECT_EQ(request.CurrentSessionId, "");
    EXPECT_EQ(request.ServerHost, "");
    EXPECT_EQ(request.ServerPort, 0);
    EXPECT_TRUE(request.ServerUseTls);
}

TEST_F(Elevated, TooFewFieldsAreInvalid) {
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig");
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kInvalidLine);
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconExclamation);
    EXPECT_TRUE(f.LogMessages().empty());
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Elevated, AnEmptyTokenWithoutSessionIsExpired) {
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig:");
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kExpired);
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Elevated, ValidTokenLaunchesTheCatalogueEntryWithOpen) {
    actions::HandleElevatedRequest(f.context, "\"/ELEVATED:DHCPRENEW:226939:0:s-42::0:0\"");
    ASSERT_EQ(f.shell.calls.size(), 1u);
    const auto& call = f.shell.calls[0];
    EXPECT_EQ(call.verb, "open");  // the catalogue says runas; this instance is elevated already
    EXPECT_EQ(call.file, "C:\\Windows\\Sysnative\\cmd.exe");
    EXPECT_EQ(call.parameters, "/K ipconfig /release & ipconfig /renew");
    EXPECT_EQ(call.directory, "C:\\Windows\\System32");
    EXPECT_EQ(call.showMode, 1);
    EXPECT_EQ(call.failureBox, platform::ShellFailureBox::Caller);  // its own failure box follows
    // The shell shows nothing of its own: no window (hidden) is given or made for it.
    EXPECT_EQ(call.owner, 0u);
    EXPECT_TRUE(f.dialogs.boxes.empty());
    EXPECT_TRUE(f.LogMessages().empty());
    EXPECT_FALSE(f.mainWindow.visible);
    EXPECT_EQ(f.request.CurrentSessionId, "s-42");
}

TEST_F(Elevated, AnAuthorizedSessionStandsInForTheToken) {
    intake::AuthorizeSession(f.system, "s-42");
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig::0:S-42::0:0");
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/K ipconfig /all");
}

TEST_F(Elevated, AMissingRestoreFieldMeansCreateAndNoRestorePointMeansNoLaunch) {
    f.systemRestore.createError = -2147418113;
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig:226939");
    EXPECT_TRUE(f.mainWindow.visible);
    EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "יוצר נקודת שחזור לפני הפעולה...");
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kNoRestorePoint);
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconExclamation);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Restore point error: -2147418113"});
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Elevated, ARefusedRestorePointMeansNoLaunch) {
    f.systemRestore.createResult = 1058;
    actions::HandleElevatedRequest(f.context, "/elevated:flushdns:226939:1:rp-1::0:0");
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kNoRestorePoint);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Restore point failed. Result: 1058"});
    EXPECT_TRUE(f.shell.calls.empty());
}

// Another elevated instance holds the restore lock past the bound: the box of a restore point
// that was not created, and the action is not started.
TEST_F(Elevated, ARestoreLockHeldElsewhereMeansNoPointAndNoLaunch) {
    testing::FakeMachineLock other;
    f.restoreLock.machine = other.machine;
    ASSERT_TRUE(other.Acquire(300000).Ok());
    actions::HandleElevatedRequest(f.context, "/elevated:flushdns:226939:1:rp-1::0:0");
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kNoRestorePoint);
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconExclamation);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Restore point error: 258"});
    EXPECT_EQ(f.restoreLock.waits, std::vector<std::uint32_t>{300000});
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Elevated, ACreatedRestorePointIsFollowedByTheLaunch) {
    f.clock.local = {2026, 12, 7, 0, 0, 5};
    actions::HandleElevatedRequest(f.context, "/elevated:flushdns:226939:1:rp-1::0:0");
    EXPECT_EQ(f.mainWindow.events,
              (std::vector<std::string>{"show", "status יוצר נקודת שחזור לפני הפעולה...",
                                        "status נקודת השחזור נוצרה. מפעיל את הפעולה..."}));
    EXPECT_EQ(f.systemRestore.calls.back(), "CreateRestorePoint Kelto Before flushdns 20261207-000005 0 100");
    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{"Restore point created: Kelto Before flushdns 20261207-000005"});
    EXPECT_TRUE(f.dialogs.boxes.empty());
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/K ipconfig /flushdns");
    // The status window is on screen: it owns the start.
    EXPECT_EQ(f.shell.calls[0].owner, f.mainWindow.handle);
}

// A line that asks for a restore point while Windows runs in Safe Mode (asked for before a
// restart into it, or made by hand): none is tried, and the action goes ahead.
TEST_F(Elevated, InSafeModeNoRestorePointIsTriedAndTheActionRuns) {
    f.boot.safeMode = true;
    f.registry.log.clear();
    actions::HandleElevatedRequest(f.context, "/elevated:flushdns:226939:1:rp-1::0:0");
    EXPECT_TRUE(f.systemRestore.calls.empty());
    EXPECT_TRUE(f.restoreLock.calls.empty());
    for (const auto& entry : f.registry.log)
        EXPECT_EQ(entry.find("SystemRestore"), std::string::npos) << "the frequency value was touched: " << entry;
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Restore point skipped: Safe Mode"});
    EXPECT_TRUE(f.dialogs.boxes.empty());
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/K ipconfig /flushdns");
}

TEST_F(Elevated, RollbackIgnoresTheRestoreFlag) {
    actions::HandleElevatedRequest(f.context, "/elevated:restorelastkelto:226939:1:s::0:0");
    EXPECT_EQ(f.mainWindow.texts[ui::kLblStatus], "מכין שחזור לנקודת Kelto האחרונה...");
    for (const auto& event : f.mainWindow.events)
        EXPECT_EQ(event.find("יוצר נקודת שחזור"), std::string::npos);
    EXPECT_TRUE(f.shell.calls.empty());
}

// Hand-made lines: the rollback never makes a point first, any other key with the restore
// field "1" or missing starts only after a point was made, and no line changes the value.
TEST_F(Elevated, HandMadeLinesNeverLaunchWithoutTheirPointNorChangeTheFrequencyValue) {
    const std::string frequency =
        "HKLM\\SOFTWARE\\Microsoft\\Windows "
        "NT\\CurrentVersion\\SystemRestore\\SystemRestorePointCreationFrequency";
    const char* lines[] = {"/elevated:restorelastkelto:226939:1:s::0:0",
                           "/elevated:restorelastkelto:226939",
                           "/elevated:RESTORELASTKELTO:226939:0",
                           "/elevated:flushdns:226939:1",
                           "/elevated:flushdns:226939",
                           "/elevated:flushdns:226939: 1 :s",
                           "\"/elevated:flushdns:226939\"",
                           "/elevated:virtualiso:226939:1:s:h:443:1"};
    for (const bool valueBefore : {false, true}) {
        for (const char* line : lines) {
            FakeSystem g;
            g.clock.utc = kWindowStart;
            if (valueBefore) g.registry.WriteDword(frequency, 1440);
            g.systemRestore.createError = -2147418113;
            g.systemRestore.points = {{"Kelto Before flushdns 20261207-071530", 7}};
            g.dialogs.answers = {kIdNo};
            actions::HandleElevatedRequest(g.context, line);
            const bool rollback = std::string(line).find("KELTO") != std::string::npos ||
                                  std::string(line).find("kelto") != std::string::npos;
            const bool created =
                std::any_of(g.systemRestore.calls.begin(), g.systemRestore.calls.end(),
                            [](const std::string& call) { return call.starts_with("Create"); });
            EXPECT_NE(created, rollback) << line;
            EXPECT_TRUE(g.shell.calls.empty()) << line;
            std::uint32_t after = 0;
            EXPECT_EQ(g.registry.ReadDword(frequency, after).Ok(), valueBefore) << line;
            if (valueBefore) {
                EXPECT_EQ(after, 1440u) << line;
            }
        }
    }
}

TEST_F(Elevated, AFailedStartIsExplainedAndLogged) {
    f.shell.result = 0;
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig:226939:0");
    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{"Open failed. Tool: ipconfig Result: 0 File: cmd.exe"});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        f.dialogs.boxes[0].text,
        "לא ניתן לפתוח את הפעולה:\r\nהצגת הגדרות IP\r\n\r\nWindows לא הצליח לפתוח את הפעולה.\r\nקוד שגיאה: "
        "0\r\nנתיב: cmd.exe");
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
}

// A TEMP set by a program of the customer's account never reaches the elevated command
// line: the full reset fails as a file not found would, before the shell is asked.
TEST_F(Elevated, AFullResetWithAHostileTempIsRefusedAsAFailedStart) {
    f.environment.variables["TEMP"] = "C:\\Temp\" & calc.exe & rem \"";
    actions::HandleElevatedRequest(f.context, "/elevated:fullnetworkreset:226939:0");
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{"Open failed. Tool: fullnetworkreset Result: 2 File: cmd.exe"});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text,
              "לא ניתן לפתוח את הפעולה:\r\nאיפוס מלא של רכיבי הרשת\r\n\r\nהקובץ לא נמצא.\r\nקוד שגיאה: "
              "2\r\nנתיב: cmd.exe");
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconExclamation);
}

// What the shell is asked for each kind of catalogue file: the catalogue's parameters,
// unchanged, and the system folder as working folder.
TEST_F(Elevated, EveryLaunchNamesAFullPathAndTheSystemFolder) {
    f.environment.variables["PATH"] = "C:\\Tools";
    f.files.AddFile("C:\\Tools\\quickassist.exe");
    struct Row {
        const char* key;
        std::string file, parameters;
    };
    const Row rows[] = {
        {"ipconfig", "C:\\Windows\\Sysnative\\cmd.exe", "/K ipconfig /all"},
        {"sfc", "C:\\Windows\\Sysnative\\cmd.exe", "/K sfc /scannow"},
        {"safemodenetwork", "C:\\Windows\\Sysnative\\cmd.exe",
         "/K bcdedit /set {current} safeboot network && shutdown /r /t 15 /c \"Kelto Safe Mode with "
         "Networking\""},
        {"spoolerreset", "C:\\Windows\\Sysnative\\cmd.exe",
         "/K net stop spooler & del /Q /F \"C:\\Windows\\System32\\spool\\PRINTERS\\*.*\" & net start "
         "spooler"},
        {"devices", "C:\\Windows\\Sysnative\\mmc.exe", "devmgmt.msc"},
        {"taskmgr", "C:\\Windows\\Sysnative\\taskmgr.exe", ""},
        {"events", "C:\\Windows\\System32\\eventvwr.msc", ""},
        {"temp", "C:\\Windows\\explorer.exe", "C:\\Temp"},
        {"windowsupdate", "ms-settings:windowsupdate", ""},
        {"quickassist", "C:\\Tools\\quickassist.exe", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        f.shell.calls.clear();
        actions::LaunchAction(f.context, row.key);
        ASSERT_EQ(f.shell.calls.size(), 1u);
        EXPECT_EQ(f.shell.calls[0].verb, "open");
        EXPECT_EQ(f.shell.calls[0].file, row.file);
        EXPECT_EQ(f.shell.calls[0].parameters, row.parameters);
        EXPECT_EQ(f.shell.calls[0].directory, "C:\\Windows\\System32");
        EXPECT_EQ(f.shell.calls[0].showMode, 1);
        EXPECT_EQ(f.shell.calls[0].owner, 0u);
    }
    EXPECT_TRUE(f.dialogs.boxes.empty());
    EXPECT_TRUE(f.LogMessages().empty());
}

// A program found only beside the helper (or through "." on PATH) is not started: the launch
// fails as the shell fails a file it cannot find, naming the catalogue's file.
TEST_F(Elevated, AProgramOnlyBesideTheHelperIsNotFound) {
    f.environment.variables["PATH"] = ".;C:\\Program Files\\Kelto\\";
    actions::HandleElevatedRequest(f.context, "/elevated:quickassist:226939:0");
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_EQ(f.LogMessages(),
              std::vector<std::string>{"Open failed. Tool: quickassist Result: 2 File: quickassist.exe"});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text,
              "לא ניתן לפתוח את הפעולה:\r\nפתיחת סיוע מהיר\r\n\r\nהקובץ לא נמצא.\r\nקוד שגיאה: 2\r\nנתיב: "
              "quickassist.exe");
    EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | kIconExclamation);
    EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto");
}

TEST_F(Elevated, WithoutAWindowsFolderNothingStarts) {
    f.environment.variables = {{"SystemRoot", ""}, {"WinDir", ""}};
    actions::HandleElevatedRequest(f.context, "/elevated:cmd:226939:0");
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Open failed. Tool: cmd Result: 2 File: cmd.exe"});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text,
              "לא ניתן לפתוח את הפעולה:\r\nפתיחת שורת פקודה CMD\r\n\r\nהקובץ לא נמצא.\r\nקוד שגיאה: "
              "2\r\nנתיב: cmd.exe");
}

TEST_F(Elevated, AKeyOutsideTheCatalogueStartsNothingAndSaysNothing) {
    actions::HandleElevatedRequest(f.context, "/elevated:format:226939:0");
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_TRUE(f.dialogs.boxes.empty());
    EXPECT_TRUE(f.LogMessages().empty());
}

TEST(ShellErrorTexts, FollowTheTable) {
    const std::pair<int, std::string> rows[] = {
        {2, "הקובץ לא נמצא."},
        {3, "הנתיב לא נמצא."},
        {5, "הגישה נדחתה."},
        {8, "אין מספיק זיכרון."},
        {26, "הקובץ נמצא בשימוש."},
        {27, "לא נמצאה תוכנה מתאימה לפתיחה."},
        {28, "הפעולה חרגה מזמן ההמתנה."},
        {31, "לא נמצאה תוכנה מתאימה לפתיחה."},
        {32, "קובץ מערכת נדרש לא נמצא."},
        {0, "Windows לא הצליח לפתוח את הפעולה."},
        {11, "Windows לא הצליח לפתוח את הפעולה."},
        {29, "Windows לא הצליח לפתוח את הפעולה."},
        {30, "Windows לא הצליח לפתוח את הפעולה."},
        {-1, "Windows לא הצליח לפתוח את הפעולה."},
    };
    for (const auto& [code, text] : rows) EXPECT_EQ(actions::ShellErrorText(code), text) << code;
}

}  // namespace
}  // namespace kelto

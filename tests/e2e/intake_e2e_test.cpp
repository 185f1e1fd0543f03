// Protocol URLs as the browser hands them over to the real executable: what it logs, which
// prompt follows, and how a URL without a sid continues the support session stored in the
// prefix's registry (whose clock is local time, so the prefix runs in a zone other than UTC).
#include <cstdlib>

#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

class IntakeTest : public HelperTest {};

TEST_F(IntakeTest, PathStyleUrlInQuotesLogsKeyAndSessionThenAsksForTheToken) {
    const std::string url = "\"kelto://IPCONFIG/sid/AbC-9_x/host/10.0.0.5/port/0443/tls/1\"";
    auto helper = StartHelper(Widen(url));
    const auto prompt = WaitForDialog(helper);
    EXPECT_EQ(prompt.title, kTokenPromptTitle);
    // Escape in the entry field cancels the box, and that ends the request silently.
    PressKey(EntryField(prompt).hwnd, VK_ESCAPE);
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(),
                ElementsAre(VersionLine(url), "Parsed tool: [ipconfig]", "Support session: [AbC-9_x]"));
    EXPECT_TRUE(Launches().empty());
    EXPECT_FALSE(RegistryKeyExists(kSessionKey));
}

TEST_F(IntakeTest, KeltoAloneShowsTheInvalidActionBoxWithTheReceivedText) {
    auto helper = StartHelper(L"kelto:");
    const auto box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto", "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: kelto:", IconKind::Exclamation,
                     {IDOK});
    SaveScreenshot(box.hwnd, "invalid-action");
    Answer(box, IDOK);
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine("kelto:"), "Parsed tool: []", "Support session: []"));
}

// ---- A URL without sid and the session stored in the registry ----

enum class Prompt { Consent, Token };

struct StoredSessionCase {
    const char* name;
    const char* storedId;
    std::int64_t expiresIn;  // seconds from now, local clock
    const char* continued;   // the session the request goes on with ("" when none)
    Prompt prompt;           // the first dialog the request shows
    bool keyKept;            // the AuthorizedSession key is still there afterwards
    friend void PrintTo(const StoredSessionCase& c, std::ostream* os) { *os << c.name; }
};

class StoredSessionTest : public HelperTest, public ::testing::WithParamInterface<StoredSessionCase> {};

TEST_P(StoredSessionTest, UrlWithoutSid) {
    const auto& c = GetParam();
    // The expiry is counted on the local clock; with local and UTC more than the margins
    // apart, a helper that counted in UTC would take the expired row for a valid one.
    const std::int64_t local = LocalSecondsSince2024();
    ASSERT_GT(std::abs(local - UtcSecondsSince2024()), 600) << "the prefix runs in (nearly) UTC";
    StoreAuthorizedSession(c.storedId, local + c.expiresIn);

    auto helper = StartHelper(L"\"kelto:ipconfig\"");
    const auto dialog = WaitForDialog(helper);
    if (c.prompt == Prompt::Consent) {
        EXPECT_EQ(dialog.title, kConsentTitle);
        Answer(dialog, IDNO);
    } else {
        EXPECT_EQ(dialog.title, kTokenPromptTitle);
        Answer(dialog, IDCANCEL);
    }
    WaitForExit(helper);
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine("\"kelto:ipconfig\""), "Parsed tool: [ipconfig]",
                                           "Support session: [" + std::string(c.continued) + "]"));
    EXPECT_EQ(RegistryKeyExists(kSessionKey), c.keyKept);
    EXPECT_TRUE(RegistryKeyExists(L"Software\\KeltoRemote"));
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, StoredSessionTest,
    ::testing::Values(
        // Stored IDs are compared and handed out lower-cased; no token is asked.
        StoredSessionCase{"Unexpired", "Live-77", 600, "live-77", Prompt::Consent, true},
        StoredSessionCase{"ExpiredOneSecondAgo", "live-78", -1, "", Prompt::Token, false},
        // A URL could never carry it: it would shift the fields of the elevated command line.
        StoredSessionCase{"IdWithAColon", "a:b", 600, "", Prompt::Token, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The executable's own path outside the ANSI code page ----

// The customer's copy may sit in a folder whose name the Western code page cannot spell: the
// log is still written beside it, and the elevated instance is still started from it.
TEST_F(IntakeTest, FromAHebrewFolderTheLogIsBesideTheExecutableAndTheRelaunchFindsIt) {
    ASSERT_EQ(::GetACP(), 1252u);
    const std::wstring folder = MakeFolder(L"תיקיית תמיכה");
    const std::wstring exe = CopyInto(ExePath(), folder);
    StoreAuthorizedSession("heb-1", LocalSecondsSince2024() + 600);

    auto helper = StartRaw(L"\"" + exe + L"\" \"kelto:ipconfig\"");
    Answer(WaitForDialog(helper), IDYES);  // consent: the stored session needs no token
    Answer(WaitForDialog(helper), IDNO);   // no restore point
    WaitForExit(helper);
    WaitUntilAllEnded();

    EXPECT_THAT(LogMessages(folder),
                ElementsAre(VersionLine("\"kelto:ipconfig\""), "Parsed tool: [ipconfig]",
                            "Support session: [heb-1]", "Approved offline tool: ipconfig",
                            VersionLine("/elevated:ipconfig::0:heb-1::0:0:" + OwnUserSid())));
    EXPECT_EQ(LogBytes(), "") << "a log beside the test's other copy";
    const auto launches = Launches();
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_EQ(launches[0].program, "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(launches[0].commandLine,
              "\"" + NativeSystemFolder() + "\\cmd.exe\" /K ipconfig /all");
}

}  // namespace
}  // namespace kelto::e2e

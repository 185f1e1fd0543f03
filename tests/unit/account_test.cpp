// The account the elevated instance acts for: the customer's session and folders when an
// administrator's credentials were typed at the elevation prompt of a standard account.
#include "intake/account.h"

#include <gtest/gtest.h>

#include "actions/elevated.h"
#include "intake/session_store.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using testing::FakeSystem;

// The elevated instance runs as the administrator; the customer is another account.
constexpr const char* kAdministrator = "S-1-5-21-1004336348-1177238915-682003330-500";
constexpr const char* kCustomer = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const char* kOtherCustomer = "S-1-12-1-3453462134-1104345219-2383512738-1863225645";
constexpr platform::DateTime kWindowStart{2025, 12, 10, 16, 0, 0};
const std::string kExpired = "קוד הטוקן פג לפני אישור UAC.\r\nבקש מהנציג ליצור טוקן חדש.";

struct SidCase {
    const char* text;
    bool wellFormed;
};

class SidTexts : public ::testing::TestWithParam<SidCase> {};

TEST_P(SidTexts, OnlyThePlainNumericFormIsTaken) {
    EXPECT_EQ(intake::IsWellFormedSidText(GetParam().text), GetParam().wellFormed) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SidTexts,
    ::testing::Values(SidCase{"S-1-5-21-1004336348-1177238915-682003330-1001", true},
                      SidCase{"S-1-12-1-3453462134-1104345219-2383512738-1863225645", true},  // Entra ID
                      SidCase{"S-1-5-18", true}, SidCase{"S-1-5-4294967295", true},
                      SidCase{"S-1-5-4294967296", false},  // beyond 32 bits
                      SidCase{"S-1-5", false}, SidCase{"S-1-", false}, SidCase{"S-1-5-", false},
                      SidCase{"S-1-5--1", false}, SidCase{"BA", false}, SidCase{"SY", false},
                      SidCase{"s-1-5-18", false}, SidCase{"S-2-5-18", false}, SidCase{"S-1-0x5-18", false},
                      SidCase{"S-1-5-18 ", false}, SidCase{" S-1-5-18", false}, SidCase{"S-1-5-+18", false},
                      SidCase{"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", true},
                      SidCase{"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", false},
                      SidCase{"S-1-5-18\\Software", false}, SidCase{"S-1-5-18:x", false},
                      SidCase{"", false}));

struct Account : ::testing::Test {
    FakeSystem f;
    void SetUp() override {
        f.process.userSid = kAdministrator;
        f.clock.utc = kWindowStart;
        f.environment.variables = {{"SystemRoot", "C:\\Windows"},
                                   {"SystemDrive", "C:"},
                                   {"TEMP", "C:\\Users\\admin\\AppData\\Local\\Temp"},
                                   {"USERPROFILE", "C:\\Users\\admin"}};
        f.files.AddFile("C:\\Windows\\Sysnative", testing::FakeFileSystem::Attr::Folder);
        f.files.AddFile("C:\\Windows\\Sysnative\\cmd.exe");
        f.files.AddFile("C:\\Windows\\explorer.exe");
    }
    // The customer's profile as Windows records it, and the TEMP of the customer's own settings.
    void PlantProfile(const std::string& sid, const std::string& profile, const std::string& temp) {
        f.registry.WriteString("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid +
                                   "\\ProfileImagePath",
                               profile);
        f.registry.WriteString("HKU\\" + sid + "\\Environment\\TEMP", temp);
    }
    // A session authorized in the given hive, expiring at `expiresAt`.
    void PlantSession(const std::string& root, const std::string& id, std::int64_t expiresAt) {
        f.registry.WriteString(root + "Software\\KeltoRemote\\AuthorizedSession\\SessionID", id);
        f.registry.WriteString(root + "Software\\KeltoRemote\\AuthorizedSession\\ExpiresAt",
                               std::to_string(expiresAt));
    }
    std::int64_t Now() { return intake::SecondsSince2024(f.clock); }
};

TEST_F(Account, TheSessionInTheCustomersHiveRunsTheSecondRequestWithoutAToken) {
    PlantSession(std::string("HKU\\") + kCustomer + "\\", "s-42", Now() + 3600);
    actions::HandleElevatedRequest(f.context, std::string("/elevated:ipconfig::0:s-42::0:0:") + kCustomer);
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].parameters, "/K ipconfig /all");
    EXPECT_TRUE(f.dialogs.boxes.empty());
}

// Without the field (an older helper's line, or a hand-made one) the elevated instance's own
// hive is asked, exactly as before: the customer's session there authorizes nothing.
TEST_F(Account, ALineWithoutTheFieldReadsTheOwnHiveAsBefore) {
    PlantSession(std::string("HKU\\") + kCustomer + "\\", "s-42", Now() + 3600);
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig::0:s-42::0:0");
    EXPECT_TRUE(f.shell.calls.empty());
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kExpired);

    PlantSession("HKCU\\", "s-42", Now() + 3600);
    actions::HandleElevatedRequest(f.context, "/elevated:ipconfig::0:s-42::0:0");
    EXPECT_EQ(f.shell.calls.size(), 1u);
}

// A field that is not the plain form of another account's SID is treated as absent: the own
// hive is asked, never a hive or a key the text would name.
TEST_F(Account, AMalformedForeignOrOwnSidAuthorizesNothingByItself) {
    PlantSession(std::string("HKU\\") + kCustomer + "\\", "s-42", Now() + 3600);
    PlantSession(std::string("HKU\\") + kOtherCustomer + "\\", "s-7", Now() + 3600);
    for (const std::string& field :
         {std::string("BA"), std::string(kCustomer) + "\\x", std::string("S-1-5-021"),
          std::string(kOtherCustomer), std::string(kAdministrator),
          std::string(kCustomer) + "-1-2-3-4-5-6-7-8-9-10-11-12"}) {
        f.shell.calls.clear();
        actions::HandleElevatedRequest(f.context, "/elevated:ipconfig::0:s-42::0:0:" + field);
        EXPECT_TRUE(f.shell.calls.empty()) << field;
    }
    // Another customer's session belongs to that customer's line only.
    f.shell.calls.clear();
    actions::HandleElevatedRequest(f.context,
                                   std::string("/elevated:ipconfig::0:s-7::0:0:") + kOtherCustomer);
    EXPECT_EQ(f.shell.calls.size(), 1u);
}

TEST_F(Account, AnExpiredSessionIsClearedInTheCustomersHive) {
    const std::string root = std::string("HKU\\") + kCustomer + "\\";
    PlantSession(root, "s-42", Now() - 1);
    PlantSession("HKCU\\", "s-42", Now() - 1);
    actions::HandleElevatedRequest(f.context, std::string("/elevated:ipconfig::0:s-42::0:0:") + kCustomer);
    EXPECT_TRUE(f.shell.calls.empty());
    EXPECT_FALSE(f.registry.KeyExists(root + "Software\\KeltoRemote\\AuthorizedSession\\"));
    // The administrator's own hive is not the customer's: left as it was.
    EXPECT_TRUE(f.registry.KeyExists("HKCU\\Software\\KeltoRemote\\AuthorizedSession\\"));
}

// A customer whose hive is not loaded: nothing to read, so not authorized (the usual refusal).
TEST_F(Account, AnUnloadedHiveIsNotAuthorized) {
    actions::HandleElevatedRequest(f.context, std::string("/elevated:ipconfig::0:s-42::0:0:") + kCustomer);
    EXPECT_TRUE(f.shell.calls.empty());
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kExpired);
}

TEST_F(Account, TempAndDownloadsOpenTheCustomersFolders) {
    PlantProfile(kCustomer, "%SystemDrive%\\Users\\dana", "%USERPROFILE%\\AppData\\Local\\Temp");
    PlantSession(std::string("HKU\\") + kCustomer + "\\", "s-42", Now() + 3600);
    actions::HandleElevatedRequest(f.context, std::string("/elevated:temp::0:s-42::0:0:") + kCustomer);
    actions::HandleElevatedRequest(f.context, std::string("/elevated:downloads::0:s-42::0:0:") + kCustomer);
    ASSERT_EQ(f.shell.calls.size(), 2u);
    EXPECT_EQ(f.shell.calls[0].parameters, "C:\\Users\\dana\\AppData\\Local\\Temp");
    EXPECT_EQ(f.shell.calls[1].parameters, "C:\\Users\\dana\\Downloads");
}

// What cannot be read or fully expanded falls back to the instance's own folders.
TEST_F(Account, UnreadableOrUnexpandedFoldersFallBackToTheOwnOnes) {
    PlantSession(std::string("HKU\\") + kCustomer + "\\", "s-42", Now() + 3600);
    struct Case {
        const char* profile;
        const char* temp;
        const char* expectedTemp;
        const char* expectedDownloads;
    };
    for (const Case& c : {Case{"C:\\Users\\dana", "%LOCALAPPDATA%\\Temp",
                               "C:\\Users\\admin\\AppData\\Local\\Temp", "C:\\Users\\dana\\Downloads"},
                          Case{"%HOMEDRIVE%\\Users\\dana", "%USERPROFILE%\\Temp",
                               "C:\\Users\\admin\\AppData\\Local\\Temp", "C:\\Users\\admin\\Downloads"},
                          Case{"Users\\dana", "C:\\T", "C:\\Users\\admin\\AppData\\Local\\Temp",
                               "C:\\Users\\admin\\Downloads"}}) {
        PlantProfile(kCustomer, c.profile, c.temp);
        f.shell.calls.clear();
        actions::HandleElevatedRequest(f.context, std::string("/elevated:temp::0:s-42::0:0:") + kCustomer);
        actions::HandleElevatedRequest(f.context,
                                       std::string("/elevated:downloads::0:s-42::0:0:") + kCustomer);
        ASSERT_EQ(f.shell.calls.size(), 2u);
        EXPECT_EQ(f.shell.calls[0].parameters, c.expectedTemp) << c.profile << " " << c.temp;
        EXPECT_EQ(f.shell.calls[1].parameters, c.expectedDownloads) << c.profile;
    }
}

}  // namespace
}  // namespace kelto

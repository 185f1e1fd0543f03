// The elevated instance acting for another account, with the real executable. Under Wine
// every process runs as the same user, so the other account is made up: its session is
// planted in the hive HKEY_USERS\<its SID>, which Wine lets a test create, and the elevated
// line names that SID as the first instance of a standard account's helper would.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

const std::string kOther = "S-1-5-21-1-2-3-1001";
const wchar_t kOtherW[] = L"S-1-5-21-1-2-3-1001";
const char* const kExpiredText = "קוד הטוקן פג לפני אישור UAC.\r\nבקש מהנציג ליצור טוקן חדש.";

std::wstring SessionKeyOfOther() {
    return std::wstring(kOtherW) + L"\\Software\\KeltoRemote\\AuthorizedSession";
}

class AccountTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        ASSERT_NE(OwnUserSid(), kOther) << "the made-up account must not be the test's own";
        ::RegDeleteTreeW(HKEY_USERS, kOtherW);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_USERS, kOtherW);
        HelperTest::TearDown();
    }

    static void PlantOthersSession(const std::string& id, std::int64_t expiresAt) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_USERS, SessionKeyOfOther().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, text] :
             {std::pair{L"SessionID", id}, std::pair{L"ExpiresAt", std::to_string(expiresAt)}}) {
            const std::wstring data = Widen(text);
            ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        }
        ::RegCloseKey(key);
    }

    static bool OthersSessionKeyExists() {
        HKEY key = nullptr;
        const LSTATUS opened = ::RegOpenKeyExW(HKEY_USERS, SessionKeyOfOther().c_str(), 0, KEY_READ, &key);
        if (key) ::RegCloseKey(key);
        return opened == ERROR_SUCCESS;
    }

    // With a live session planted in the other account's hive, runs the elevated line for
    // `action` that names that account, to its end; the line it ran.
    std::string RunInOthersSession(const std::string& action) {
        PlantOthersSession("s-42", LocalSecondsSince2024() + 3600);
        const std::string line = "/elevated:" + action + "::0:s-42::0:0:" + kOther;
        auto helper = StartHelper(Widen(line));
        WaitForExit(helper);
        WaitUntilAllEnded();
        return line;
    }

    // Starts the elevated line and answers the refusal box it must show.
    void ExpectRefused(const std::string& line) {
        auto helper = StartHelper(Widen(line));
        const auto box = WaitForDialog(helper);
        ExpectMessageBox(box, "Kelto", kExpiredText, IconKind::Exclamation, {IDOK});
        Answer(box, IDOK);
        WaitForExit(helper);
        WaitUntilAllEnded();
    }
};

TEST_F(AccountTest, ASessionInTheNamedAccountsHiveRunsTheActionWithoutAToken) {
    const std::string line = RunInOthersSession("ipconfig");
    const auto launches = Launches();
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_EQ(launches[0].commandLine,
              "\"" + NativeSystemFolder() + "\\cmd.exe\" /K ipconfig /all");
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(line)));
    EXPECT_TRUE(OthersSessionKeyExists());
}

// The same session authorizes nothing for a line that names no SID (the helper's own hive
// holds none), another SID, or an alias the system would take for a SID.
TEST_F(AccountTest, ALineNamingNoOtherOrAMalformedSidIsRefusedAsBefore) {
    PlantOthersSession("s-42", LocalSecondsSince2024() + 3600);
    for (const std::string& tail : {std::string(), std::string(":"), std::string(":S-1-5-21-1-2-3-1002"),
                                    std::string(":BA"), std::string(":s-1-5-21-1-2-3-1001")}) {
        SCOPED_TRACE("tail [" + tail + "]");
        ExpectRefused("/elevated:ipconfig::0:s-42::0:0" + tail);
    }
    EXPECT_TRUE(Launches().empty());
    EXPECT_TRUE(OthersSessionKeyExists());
}

TEST_F(AccountTest, AnExpiredSessionIsClearedInTheNamedAccountsHive) {
    PlantOthersSession("s-42", LocalSecondsSince2024() - 60);
    StoreAuthorizedSession("s-42", LocalSecondsSince2024() - 60);
    ExpectRefused("/elevated:ipconfig::0:s-42::0:0:" + kOther);
    EXPECT_FALSE(OthersSessionKeyExists());
    EXPECT_TRUE(RegistryKeyExists(kSessionKey)) << "the helper's own hive is not the one acted for";
    EXPECT_TRUE(Launches().empty());
}

// "temp" acting for another account opens that account's TEMP: its profile folder from the
// system's profile list (native view), its TEMP from its hive's environment. Explorer is
// replaced by the recording stand-in for this test: Wine's own explorer.exe is moved aside in
// the native system folder and the prefix told to run the file there instead of its builtin
// (the desktop's explorer, already running, is untouched).
class AccountFoldersTest : public AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        if (HasFatalFailure()) return;
        explorer_ = std::wstring(kOwnNativeSystemFolder) + L"\\explorer.exe";
        ASSERT_TRUE(
            ::MoveFileExW(explorer_.c_str(), (explorer_ + L".kelto").c_str(), MOVEFILE_REPLACE_EXISTING))
            << "cannot move Wine's explorer.exe aside, error " << ::GetLastError();
        moved_ = true;
        ASSERT_TRUE(::CopyFileW(Programs().standin.c_str(), explorer_.c_str(), FALSE));
        SetString(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"explorer.exe", L"native", REG_SZ, 0);
        SetString(HKEY_USERS, std::wstring(kOtherW) + L"\\Environment", L"TEMP",
                  L"%USERPROFILE%\\AppData\\Local\\Temp", REG_EXPAND_SZ, 0);
        SetString(HKEY_LOCAL_MACHINE, std::wstring(kProfileList) + L"\\" + kOtherW, L"ProfileImagePath",
                  L"%SystemDrive%\\users\\kelto-other", REG_EXPAND_SZ, KEY_WOW64_64KEY);
    }
    void TearDown() override {
        AccountTest::TearDown();
        HKEY list = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &list) ==
            ERROR_SUCCESS) {
            ::RegDeleteTreeW(list, kOtherW);
            ::RegCloseKey(list);
        }
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"explorer.exe");
        if (moved_)
            ::MoveFileExW((explorer_ + L".kelto").c_str(), explorer_.c_str(), MOVEFILE_REPLACE_EXISTING);
    }

    static void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data,
                          DWORD type, REGSAM view) {
        HKEY opened = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &opened,
                                    nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(opened, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(opened);
    }

    static constexpr const wchar_t* kProfileList =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    std::wstring explorer_;
    bool moved_ = false;
};

TEST_F(AccountFoldersTest, TempOpensTheNamedAccountsTempFolder) {
    const std::string line = RunInOthersSession("temp");
    const auto launches = Launches();
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_EQ(launches[0].program, "C:\\windows\\system32\\explorer.exe");
    EXPECT_EQ(launches[0].commandLine, "\"" + NativeSystemFolder() +
                                           "\\explorer.exe\" C:\\users\\kelto-other\\AppData\\Local\\Temp");
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(line)));
}

}  // namespace
}  // namespace kelto::e2e

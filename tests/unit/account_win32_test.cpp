// The account the helper acts for against the real system: the token's user SID, its
// comparison with a SID in string form, and another account's hive and profile read through
// the real registry (HKU by SID, the profile list in the native view).
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

#include <string>

#include "actions/catalogue.h"
#include "intake/account.h"
#include "intake/session_store.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

// A made-up account: no process here runs as it.
const std::string kOther = "S-1-5-21-1-2-3-1001";
const wchar_t kOtherW[] = L"S-1-5-21-1-2-3-1001";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The token's user as this test reads it, independently of the helper's own code.
std::string TokenUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD size = 0;
    const BOOL read = ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    ::CloseHandle(token);
    if (!read) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    const std::string sid = Narrow(text);
    ::LocalFree(text);
    return sid;
}

void SetExpandSz(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data,
                 REGSAM view) {
    HKEY opened = nullptr;
    ASSERT_EQ(
        ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &opened, nullptr),
        ERROR_SUCCESS);
    ::RegSetValueExW(opened, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(opened);
}

// The made-up account's hive and profile-list entry, removed again.
struct PlantedAccount : ::testing::Test {
    void SetUp() override {
        SetExpandSz(HKEY_USERS, std::wstring(kOtherW) + L"\\Environment", L"TEMP",
                    L"%USERPROFILE%\\AppData\\Local\\Temp", 0);
        SetExpandSz(HKEY_LOCAL_MACHINE, std::wstring(kProfileList) + L"\\" + kOtherW, L"ProfileImagePath",
                    L"%SystemDrive%\\users\\kelto-other", KEY_WOW64_64KEY);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_USERS, kOtherW);
        HKEY list = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &list) ==
            ERROR_SUCCESS) {
            ::RegDeleteTreeW(list, kOtherW);
            ::RegCloseKey(list);
        }
    }
    platform::win32::Win32System real;
};

TEST(AccountOnWindows, TheProcessKnowsItsOwnUserSid) {
    platform::win32::Win32Process process;
    const std::string own = TokenUserSid();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(process.UserSid(), own);
    EXPECT_TRUE(intake::IsWellFormedSidText(process.UserSid()));
    EXPECT_EQ(process.MatchAccount(own), platform::AccountMatch::Own);
    EXPECT_EQ(process.MatchAccount(kOther), platform::AccountMatch::Other);
    EXPECT_EQ(process.MatchAccount("S-1-5-18"), platform::AccountMatch::Other);
    // Only text that passed IsWellFormedSidText reaches the comparison (Wine's string-to-SID
    // conversion even takes "" and "not a SID", which Windows refuses).
}

TEST_F(PlantedAccount, AnotherAccountsFoldersComeFromItsHiveAndTheProfileList) {
    char drive[8] = {};
    ASSERT_GT(::GetEnvironmentVariableA("SystemDrive", drive, sizeof drive), 0u);
    const intake::CustomerAccount account = intake::ResolveCustomerAccount(real.system, kOther);
    EXPECT_EQ(account.sid, kOther);
    EXPECT_EQ(account.registryRoot, "HKU\\" + kOther + "\\");
    EXPECT_EQ(account.profileFolder, std::string(drive) + "\\users\\kelto-other");
    EXPECT_EQ(account.tempFolder, std::string(drive) + "\\users\\kelto-other\\AppData\\Local\\Temp");

    actions::ActionInfo info;
    info.Verb = "open";
    ASSERT_TRUE(actions::GetActionInfo(real.system, "temp", info, account));
    EXPECT_EQ(info.Arguments, std::string(drive) + "\\users\\kelto-other\\AppData\\Local\\Temp");
    ASSERT_TRUE(actions::GetActionInfo(real.system, "downloads", info, account));
    EXPECT_EQ(info.Arguments, std::string(drive) + "\\users\\kelto-other\\Downloads");
}

TEST_F(PlantedAccount, ASessionInAnotherAccountsHiveIsReadAndClearedThere) {
    const std::wstring key = std::wstring(kOtherW) + L"\\Software\\KeltoRemote\\AuthorizedSession";
    HKEY opened = nullptr;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_USERS, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr),
        ERROR_SUCCESS);
    const std::wstring id = L"s-42";
    const std::wstring expired = L"-1";  // 2023-12-31 23:59:59: long past
    ::RegSetValueExW(opened, L"SessionID", 0, REG_SZ, reinterpret_cast<const BYTE*>(id.c_str()),
                     static_cast<DWORD>((id.size() + 1) * sizeof(wchar_t)));
    ::RegSetValueExW(opened, L"ExpiresAt", 0, REG_SZ, reinterpret_cast<const BYTE*>(expired.c_str()),
                     static_cast<DWORD>((expired.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(opened);

    const intake::CustomerAccount account = intake::ResolveCustomerAccount(real.system, kOther);
    EXPECT_FALSE(intake::IsSessionAuthorized(real.system, "s-42", account));
    HKEY gone = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_USERS, key.c_str(), 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    if (gone) ::RegCloseKey(gone);
    // An account whose hive is not loaded: simply not authorized.
    EXPECT_FALSE(intake::IsSessionAuthorized(
        real.system, "s-42", intake::ResolveCustomerAccount(real.system, std::string("S-1-5-21-9-9-9-9"))));
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

// The catalogue's system-dependent rows against the real Windows environment and file
// system (the rest of the system stays doubled: the lookup must not reach for it).
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "actions/catalogue.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"
#include "support/fakes.h"
#include "support/win32_scoped.h"

namespace kelto {
namespace {

using actions::ActionInfo;

using platform::win32::Narrow;
using testing::ReadVariable;
using testing::ScopedFile;
using testing::ScopedVariable;

// A folder created for the test (when it did not exist) and removed again.
class ScopedFolder {
public:
    explicit ScopedFolder(std::wstring path) : path_(std::move(path)) {
        created_ = ::CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
        error_ = created_ ? 0 : ::GetLastError();
    }
    ~ScopedFolder() {
        if (created_) ::RemoveDirectoryW(path_.c_str());
    }
    ScopedFolder(const ScopedFolder&) = delete;
    ScopedFolder& operator=(const ScopedFolder&) = delete;
    bool created() const { return created_; }
    DWORD error() const { return error_; }

private:
    std::wstring path_;
    bool created_ = false;
    DWORD error_ = 0;
};

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The real environment and file system; doubles for everything else.
struct RealSystem {
    platform::win32::Win32Environment environment;
    platform::win32::Win32FileSystem files;
    testing::FakeSystem doubles;
    platform::System system{
        doubles.registry,   doubles.shell,    doubles.clock,         environment,  files,
        doubles.process,    doubles.children, doubles.systemRestore, doubles.http, doubles.dialogs,
        doubles.restoreLock, doubles.boot};

    ActionInfo Lookup(const char* key) {
        ActionInfo info;
        info.Verb = "open";
        EXPECT_TRUE(actions::GetActionInfo(system, key, info)) << key;
        return info;
    }
};

TEST(CatalogueOnWindows, FoldersTakeTheProcessTempAndProfile) {
    // The C runtime's copy of the environment, as the process received it.
    const wchar_t* temp = ::_wgetenv(L"TEMP");
    const wchar_t* profile = ::_wgetenv(L"USERPROFILE");
    ASSERT_NE(temp, nullptr);
    ASSERT_NE(profile, nullptr);
    EXPECT_TRUE(IsDirectory(temp)) << Narrow(temp);
    EXPECT_TRUE(IsDirectory(profile)) << Narrow(profile);

    RealSystem real;
    const ActionInfo tempInfo = real.Lookup("temp");
    EXPECT_EQ(tempInfo.File, "explorer.exe");
    EXPECT_EQ(tempInfo.Arguments, Narrow(temp));
    const ActionInfo downloads = real.Lookup("downloads");
    EXPECT_EQ(downloads.File, "explorer.exe");
    EXPECT_EQ(downloads.Arguments, Narrow(profile) + "\\Downloads");
}

TEST(CatalogueOnWindows, FoldersFollowTheVariablesAtLookupTime) {
    RealSystem real;
    {
        // "C:\Temp Dir\דנה" and a profile with a Hebrew name: UTF-16 in, UTF-8 out.
        ScopedVariable temp(L"TEMP", L"C:\\Temp Dir\\\u05D3\u05E0\u05D4");
        ScopedVariable profile(L"USERPROFILE", L"C:\\Users\\\u05D3\u05E0\u05D4 \u05DC\u05D5\u05D9");
        EXPECT_EQ(real.Lookup("temp").Arguments, "C:\\Temp Dir\\דנה");
        EXPECT_EQ(real.Lookup("downloads").Arguments, "C:\\Users\\דנה לוי\\Downloads");
    }
    {
        ScopedVariable temp(L"TEMP", nullptr);
        ScopedVariable profile(L"USERPROFILE", nullptr);
        EXPECT_EQ(real.Lookup("temp").Arguments, "");
        EXPECT_EQ(real.Lookup("downloads").Arguments, "\\Downloads");
    }
}

struct MsconfigPaths {
    std::wstring root, sysnative, system32, syswow64, windows;
};

MsconfigPaths Candidates() {
    const std::wstring root = ReadVariable(L"SystemRoot").value_or(L"");
    return {root, root + L"\\Sysnative\\msconfig.exe", root + L"\\System32\\msconfig.exe",
            root + L"\\SysWOW64\\msconfig.exe", root + L"\\msconfig.exe"};
}

// Wine has no msconfig.exe of its own; none of these tests leaves one behind.
void ExpectNoMsconfigAnywhere(const MsconfigPaths& paths) {
    ASSERT_FALSE(paths.root.empty());
    for (const std::wstring& candidate : {paths.sysnative, paths.system32, paths.syswow64, paths.windows}) {
        ASSERT_FALSE(Exists(candidate)) << "left over: " << Narrow(candidate);
    }
}

bool IsWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

TEST(CatalogueOnWindows, MsconfigIsTheBareNameWhenNoSystemFolderHasIt) {
    const MsconfigPaths paths = Candidates();
    ExpectNoMsconfigAnywhere(paths);
    RealSystem real;
    EXPECT_EQ(real.Lookup("msconfig").File, "msconfig.exe");
}

TEST(CatalogueOnWindows, MsconfigResolvesToTheNativeFolderThroughSysnative) {
    const MsconfigPaths paths = Candidates();
    ExpectNoMsconfigAnywhere(paths);
    // Under WoW64 "Sysnative" is the alias of the native system folder. A 32-bit Windows (or
    // Wine prefix) has no such alias: there a real folder of that name stands in for it, so
    // the lookup meets the same layout through the same file-system calls.
    std::optional<ScopedFolder> standIn;
    if (!IsWow64()) {
        standIn.emplace(paths.root + L"\\Sysnative");
        ASSERT_TRUE(standIn->created()) << "error " << standIn->error();
    }
    RealSystem real;
    {
        ScopedFile native(paths.sysnative);
        ASSERT_TRUE(native.created()) << "error " << native.error();
        EXPECT_EQ(real.Lookup("msconfig").File, Narrow(paths.sysnative));
    }
    EXPECT_EQ(real.Lookup("msconfig").File, "msconfig.exe");
}

TEST(CatalogueOnWindows, MsconfigFallsBackToSystem32) {
    const MsconfigPaths paths = Candidates();
    ExpectNoMsconfigAnywhere(paths);
    RealSystem real;
    {
        // Written through the plain name, the file lands in the folder this process sees as
        // System32 (under WoW64 the 32-bit one, which the Sysnative alias does not show).
        ScopedFile system32(paths.system32);
        ASSERT_TRUE(system32.created()) << "error " << system32.error();
        EXPECT_EQ(real.Lookup("msconfig").File, Narrow(paths.system32));
    }
    EXPECT_EQ(real.Lookup("msconfig").File, "msconfig.exe");
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

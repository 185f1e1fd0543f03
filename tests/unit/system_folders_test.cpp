#ifdef _WIN32
// First, so that its A/W macros rename the interface methods the same way everywhere.
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "intake/system_folders.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using Attr = testing::FakeFileSystem::Attr;
using testing::FakeEnvironment;
using testing::FakeFileSystem;
using testing::FakeProcess;

// ---- ResolveSystemFile ----

struct ResolveCase {
    const char* name;
    std::map<std::string, std::string> environment;
    std::map<std::string, Attr> files;
    std::string program;
    std::string expected;
    std::vector<std::string> probes;
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.name; }

class ResolveSystemFile : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveSystemFile, TriesTheFourCandidatesInOrder) {
    const ResolveCase& c = GetParam();
    FakeEnvironment environment;
    environment.variables = c.environment;
    FakeFileSystem files;
    for (const auto& [path, attr] : c.files) files.AddFile(path, attr);

    EXPECT_EQ(intake::ResolveSystemFile(environment, files, c.program), c.expected);
    EXPECT_EQ(files.probes, c.probes);
}

const std::map<std::string, std::string> kWindows = {{"SystemRoot", "C:\\Windows"}, {"WinDir", "C:\\Other"}};
const std::vector<std::string> kAllTar = {"C:\\Windows\\Sysnative\\tar.exe", "C:\\Windows\\System32\\tar.exe",
                                          "C:\\Windows\\SysWOW64\\tar.exe", "C:\\Windows\\tar.exe"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveSystemFile,
    ::testing::Values(
        // A 32-bit process on 64-bit Windows sees the native folder through Sysnative.
        ResolveCase{"Sysnative",
                    kWindows,
                    {{"C:\\Windows\\Sysnative\\tar.exe", Attr::Normal},
                     {"C:\\Windows\\System32\\tar.exe", Attr::Normal}},
                    "tar.exe",
                    "C:\\Windows\\Sysnative\\tar.exe",
                    {"C:\\Windows\\Sysnative\\tar.exe"}},
        ResolveCase{"System32",
                    kWindows,
                    {{"C:\\Windows\\System32\\cmd.exe", Attr::Normal},
                     {"C:\\Windows\\SysWOW64\\cmd.exe", Attr::Normal}},
                    "cmd.exe",
                    "C:\\Windows\\System32\\cmd.exe",
                    {"C:\\Windows\\Sysnative\\cmd.exe", "C:\\Windows\\System32\\cmd.exe"}},
        ResolveCase{
            "SysWOW64",
            kWindows,
            {{"C:\\Windows\\SysWOW64\\tar.exe", Attr::Normal}, {"C:\\Windows\\tar.exe", Attr::Normal}},
            "tar.exe",
            "C:\\Windows\\SysWOW64\\tar.exe",
            {kAllTar[0], kAllTar[1], kAllTar[2]}},
        ResolveCase{"WindowsFolder",
                    kWindows,
                    {{"C:\\Windows\\tar.exe", Attr::Normal}},
                    "tar.exe",
                    "C:\\Windows\\tar.exe",
                    kAllTar},
        ResolveCase{"NowhereGivesTheName",
                    kWindows,
                    {{"C:\\Other\\System32\\tar.exe", Attr::Normal}},
                    "tar.exe",
                    "tar.exe",
                    kAllTar},
        // Hidden, system and folder entries do not count.
        ResolveCase{"HiddenSkipped",
                    kWindows,
                    {{"C:\\Windows\\Sysnative\\tar.exe", Attr::Hidden},
                     {"C:\\Windows\\System32\\tar.exe", Attr::Normal}},
                    "tar.exe",
                    "C:\\Windows\\System32\\tar.exe",
                    {kAllTar[0], kAllTar[1]}},
        ResolveCase{"SystemSkipped",
                    kWindows,
                    {{"C:\\Windows\\Sysnative\\tar.exe", Attr::System},
                     {"C:\\Windows\\System32\\tar.exe", Attr::System},
                     {"C:\\Windows\\SysWOW64\\tar.exe", Attr::Normal}},
                    "tar.exe",
                    "C:\\Windows\\SysWOW64\\tar.exe",
                    {kAllTar[0], kAllTar[1], kAllTar[2]}},
        ResolveCase{
            "FolderSkipped",
            kWindows,
            {{"C:\\Windows\\Sysnative\\tar.exe", Attr::Folder}, {"C:\\Windows\\tar.exe", Attr::Normal}},
            "tar.exe",
            "C:\\Windows\\tar.exe",
            kAllTar},
        ResolveCase{"AllHiddenGivesTheName",
                    kWindows,
                    {{kAllTar[0], Attr::Hidden},
                     {kAllTar[1], Attr::Hidden},
                     {kAllTar[2], Attr::Hidden},
                     {kAllTar[3], Attr::Hidden}},
                    "tar.exe",
                    "tar.exe",
                    kAllTar},
        // SystemRoot missing or empty: WinDir; both empty: the candidates start with "\".
        ResolveCase{"WinDirFallback",
                    {{"WinDir", "D:\\WINNT"}},
                    {{"D:\\WINNT\\System32\\cmd.exe", Attr::Normal}},
                    "cmd.exe",
                    "D:\\WINNT\\System32\\cmd.exe",
                    {"D:\\WINNT\\Sysnative\\cmd.exe", "D:\\WINNT\\System32\\cmd.exe"}},
        ResolveCase{"EmptySystemRoot",
                    {{"SystemRoot", ""}, {"WinDir", "D:\\WINNT"}},
                    {{"D:\\WINNT\\msconfig.exe", Attr::Normal}},
                    "msconfig.exe",
                    "D:\\WINNT\\msconfig.exe",
                    {"D:\\WINNT\\Sysnative\\msconfig.exe", "D:\\WINNT\\System32\\msconfig.exe",
                     "D:\\WINNT\\SysWOW64\\msconfig.exe", "D:\\WINNT\\msconfig.exe"}},
        ResolveCase{"EmptyRoot",
                    {},
                    {{"\\System32\\cmd.exe", Attr::Normal}},
                    "cmd.exe",
                    "\\System32\\cmd.exe",
                    {"\\Sysnative\\cmd.exe", "\\System32\\cmd.exe"}},
        // The root and the name are used as given: no case or separator normalisation.
        ResolveCase{"RootAsGiven",
                    {{"SystemRoot", "c:\\windows\\"}},
                    {{"c:\\windows\\\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", Attr::Normal}},
                    "WindowsPowerShell\\v1.0\\powershell.exe",
                    "c:\\windows\\\\System32\\WindowsPowerShell\\v1.0\\powershell.exe",
                    {"c:\\windows\\\\Sysnative\\WindowsPowerShell\\v1.0\\powershell.exe",
                     "c:\\windows\\\\System32\\WindowsPowerShell\\v1.0\\powershell.exe"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- GetOwnExePath ----

struct ExePathCase {
    const char* name;
    std::string moduleFileName;
    std::string commandLine;
    std::string expected;
};

void PrintTo(const ExePathCase& c, std::ostream* os) { *os << c.name; }

class OwnExePath : public ::testing::TestWithParam<ExePathCase> {};

TEST_P(OwnExePath, ComesFromTheModuleElseTheCommandLine) {
    const ExePathCase& c = GetParam();
    FakeProcess process;
    process.moduleFileName = c.moduleFileName;
    process.commandLine = c.commandLine;
    EXPECT_EQ(base::GetOwnExePath(process), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnExePath,
    ::testing::Values(ExePathCase{"Module", "C:\\Program Files\\Kelto\\KeltoClientHelper.exe",
                                  "\"C:\\x.exe\" \"kelto:ping\"",
                                  "C:\\Program Files\\Kelto\\KeltoClientHelper.exe"},
                      // A folder outside any ANSI code page comes through as UTF-8.
                      ExePathCase{"ModuleHebrew", "C:\\Users\\דנה\\הורדות\\KeltoClientHelper.exe", "x",
                                  "C:\\Users\\דנה\\הורדות\\KeltoClientHelper.exe"},
                      ExePathCase{"QuotedCommandLine", "",
                                  "\"C:\\Program Files\\Kelto\\KeltoClientHelper.exe\" \"kelto:ping\"",
                                  "C:\\Program Files\\Kelto\\KeltoClientHelper.exe"},
                      ExePathCase{"QuotedWithoutArguments", "",
                                  "\"C:\\Program Files\\Kelto\\KeltoClientHelper.exe\"",
                                  "C:\\Program Files\\Kelto\\KeltoClientHelper.exe"},
                      ExePathCase{"UnquotedCommandLine", "", "C:\\Kelto\\KeltoClientHelper.exe kelto:ping",
                                  "C:\\Kelto\\KeltoClientHelper.exe"},
                      ExePathCase{"UnquotedTab", "", "C:\\Kelto\\KeltoClientHelper.exe\tkelto:ping",
                                  "C:\\Kelto\\KeltoClientHelper.exe"},
                      ExePathCase{"UnclosedQuote", "", "\"C:\\Kelto Dir\\KeltoClientHelper.exe",
                                  "C:\\Kelto Dir\\KeltoClientHelper.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OwnFolder, IsTheFolderOfTheExecutable) {
    FakeProcess process;
    process.moduleFileName = "C:\\Users\\דנה\\KeltoClientHelper.exe";
    EXPECT_EQ(base::GetOwnFolder(process), "C:\\Users\\דנה");
}

}  // namespace
}  // namespace kelto

#ifdef _WIN32
// ---- under Windows (Wine in the tests): the real environment and file system ----
#include <optional>

#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"
#include "support/win32_scoped.h"

namespace kelto {
namespace {

using platform::win32::Widen;
using testing::ScopedFile;
using testing::ScopedVariable;

bool IsWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

TEST(ResolveSystemFileOnWindows, NativeSystemFolderFirst) {
    platform::win32::Win32Environment environment;
    platform::win32::Win32FileSystem files;
    const std::string root = environment.Get("SystemRoot");
    ASSERT_FALSE(root.empty());
    // A 32-bit process on 64-bit Windows reaches the native folder only through Sysnative.
    EXPECT_EQ(intake::ResolveSystemFile(environment, files, "cmd.exe"),
              root + (IsWow64() ? "\\Sysnative\\cmd.exe" : "\\System32\\cmd.exe"));
}

TEST(ResolveSystemFileOnWindows, WindowsFolderItselfAndHiddenFiles) {
    platform::win32::Win32Environment environment;
    platform::win32::Win32FileSystem files;
    const std::string root = environment.Get("SystemRoot");
    const std::string name = "kelto-resolve-probe.exe";
    ScopedFile file(Widen(root + "\\" + name));
    ASSERT_TRUE(file.created());
    EXPECT_EQ(intake::ResolveSystemFile(environment, files, name), root + "\\" + name);

    ASSERT_TRUE(file.SetAttributes(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(intake::ResolveSystemFile(environment, files, name), name);
    ASSERT_TRUE(file.SetAttributes(FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(intake::ResolveSystemFile(environment, files, name), name);
}

TEST(ResolveSystemFileOnWindows, WinDirWhenSystemRootIsMissing) {
    platform::win32::Win32Environment environment;
    platform::win32::Win32FileSystem files;
    const std::string root = environment.Get("SystemRoot");
    const std::string name = "kelto-resolve-probe2.exe";
    ScopedFile file(Widen(root + "\\" + name));
    ASSERT_TRUE(file.created());
    // The same folder spelled differently tells which variable was used.
    const std::string winDir = root + "\\.";
    ScopedVariable noSystemRoot(L"SystemRoot", nullptr);
    ScopedVariable otherWinDir(L"WinDir", Widen(winDir).c_str());
    EXPECT_EQ(intake::ResolveSystemFile(environment, files, name), winDir + "\\" + name);
}

TEST(ResolveSystemFileOnWindows, NameFoundNowhereComesBack) {
    platform::win32::Win32Environment environment;
    platform::win32::Win32FileSystem files;
    EXPECT_EQ(intake::ResolveSystemFile(environment, files, "kelto-no-such-program.exe"),
              "kelto-no-such-program.exe");
}

}  // namespace
}  // namespace kelto
#endif  // _WIN32

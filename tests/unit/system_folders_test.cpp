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

// ---- ResolveLaunchTarget ----

struct LaunchCase {
    const char* name;
    std::map<std::string, std::string> environment;
    std::map<std::string, Attr> files;
    std::string file;
    bool found;
    std::string expectedFile;
    std::string expectedDirectory;
    std::vector<std::string> probes;
};

void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

class ResolveLaunchTarget : public ::testing::TestWithParam<LaunchCase> {};

// The helper runs from the customer's Downloads folder.
constexpr const char* kHelperPath = "C:\\Users\\Dana\\Downloads\\KeltoClientHelper.exe";

TEST_P(ResolveLaunchTarget, GivesTheShellAFullPathAndTheSystemFolder) {
    const LaunchCase& c = GetParam();
    testing::FakeSystem f;
    f.environment.variables = c.environment;
    f.process.moduleFileName = kHelperPath;
    for (const auto& [path, attr] : c.files) f.files.AddFile(path, attr);

    const auto target = intake::ResolveLaunchTarget(f.system, c.file);
    EXPECT_EQ(target.found, c.found);
    if (c.found) {
        EXPECT_EQ(target.file, c.expectedFile);
        EXPECT_EQ(target.directory, c.expectedDirectory);
    }
    EXPECT_EQ(f.files.probes, c.probes);
}

const std::map<std::string, std::string> kRoot = {{"SystemRoot", "C:\\Windows"}};
// 64-bit Windows as a 32-bit process sees it: the Sysnative alias, and System32 redirected to
// the 32-bit copies, so that it holds the same names as SysWOW64.
const std::map<std::string, Attr> kWindows64 = {
    {"C:\\Windows\\Sysnative", Attr::Folder},
    {"C:\\Windows\\Sysnative\\cmd.exe", Attr::Normal},
    {"C:\\Windows\\System32\\cmd.exe", Attr::Normal},
    {"C:\\Windows\\SysWOW64\\cmd.exe", Attr::Normal},
    {"C:\\Windows\\explorer.exe", Attr::Normal},
    {"C:\\Windows\\System32\\explorer.exe", Attr::Normal},
    {"C:\\Windows\\SysWOW64\\explorer.exe", Attr::Normal},
    {"C:\\Windows\\System32\\odbcad32.exe", Attr::Normal},
    {"C:\\Windows\\SysWOW64\\odbcad32.exe", Attr::Normal},
    // Planted beside the helper.
    {"C:\\Users\\Dana\\Downloads\\cmd.exe", Attr::Normal},
    {"C:\\Users\\Dana\\Downloads\\quickassist.exe", Attr::Normal},
    {"C:\\Users\\Dana\\Downloads\\eventvwr.msc", Attr::Normal},
};
const std::map<std::string, Attr> kWindows32 = {
    {"C:\\Windows\\System32\\cmd.exe", Attr::Normal},
    {"C:\\Windows\\explorer.exe", Attr::Normal},
    {"C:\\Users\\Dana\\Downloads\\cmd.exe", Attr::Normal},
};
std::map<std::string, Attr> With(std::map<std::string, Attr> files, const std::map<std::string, Attr>& more) {
    files.insert(more.begin(), more.end());
    return files;
}
std::map<std::string, std::string> WithPath(const std::string& path) {
    auto environment = kRoot;
    environment["PATH"] = path;
    return environment;
}
// Every system folder probed for quickassist.exe on 64-bit Windows, in order.
const std::vector<std::string> kQuickAssist64 = {
    "C:\\Windows\\Sysnative\\quickassist.exe", "C:\\Windows\\quickassist.exe",
    "C:\\Windows\\System32\\quickassist.exe", "C:\\Windows\\SysWOW64\\quickassist.exe"};
std::vector<std::string> Then(std::vector<std::string> probes, const std::vector<std::string>& more) {
    probes.insert(probes.end(), more.begin(), more.end());
    return probes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveLaunchTarget,
    ::testing::Values(
        LaunchCase{"CmdOn64BitWindowsIsTheNativeOne",
                   kRoot,
                   kWindows64,
                   "cmd.exe",
                   true,
                   "C:\\Windows\\Sysnative\\cmd.exe",
                   "C:\\Windows\\System32",
                   {"C:\\Windows\\Sysnative\\cmd.exe"}},
        LaunchCase{"CmdOn32BitWindows",
                   kRoot,
                   kWindows32,
                   "cmd.exe",
                   true,
                   "C:\\Windows\\System32\\cmd.exe",
                   "C:\\Windows\\System32",
                   {"C:\\Windows\\Sysnative\\cmd.exe", "C:\\Windows\\System32\\cmd.exe"}},
        // Not the 32-bit copy that System32 shows a 32-bit process.
        LaunchCase{"ExplorerOn64BitWindowsIsTheWindowsFolders",
                   kRoot,
                   kWindows64,
                   "explorer.exe",
                   true,
                   "C:\\Windows\\explorer.exe",
                   "C:\\Windows\\System32",
                   {"C:\\Windows\\Sysnative\\explorer.exe", "C:\\Windows\\explorer.exe"}},
        LaunchCase{"ExplorerOn32BitWindows",
                   kRoot,
                   kWindows32,
                   "explorer.exe",
                   true,
                   "C:\\Windows\\explorer.exe",
                   "C:\\Windows\\System32",
                   {"C:\\Windows\\Sysnative\\explorer.exe", "C:\\Windows\\System32\\explorer.exe",
                    "C:\\Windows\\SysWOW64\\explorer.exe", "C:\\Windows\\explorer.exe"}},
        // A program that 64-bit Windows has only as a 32-bit copy comes from System32.
        LaunchCase{"Only32BitCopyOn64BitWindows",
                   kRoot,
                   kWindows64,
                   "odbcad32.exe",
                   true,
                   "C:\\Windows\\System32\\odbcad32.exe",
                   "C:\\Windows\\System32",
                   {"C:\\Windows\\Sysnative\\odbcad32.exe", "C:\\Windows\\odbcad32.exe",
                    "C:\\Windows\\System32\\odbcad32.exe"}},
        // What a 64-bit console sees; the copy beside the helper is never looked at.
        LaunchCase{"ConsoleFileFromTheSystemFolder",
                   kRoot,
                   kWindows64,
                   "eventvwr.msc",
                   true,
                   "C:\\Windows\\System32\\eventvwr.msc",
                   "C:\\Windows\\System32",
                   {}},
        LaunchCase{"ConsoleFileExtensionInCapitals",
                   kRoot,
                   kWindows32,
                   "DevMgmt.MSC",
                   true,
                   "C:\\Windows\\System32\\DevMgmt.MSC",
                   "C:\\Windows\\System32",
                   {}},
        LaunchCase{"SettingsUriUnchanged",
                   kRoot,
                   kWindows64,
                   "ms-settings:windowsupdate",
                   true,
                   "ms-settings:windowsupdate",
                   "C:\\Windows\\System32",
                   {}},
        LaunchCase{"FullPathUnchanged",
                   kRoot,
                   kWindows64,
                   "C:\\Windows\\Sysnative\\WindowsPowerShell\\v1.0\\powershell.exe",
                   true,
                   "C:\\Windows\\Sysnative\\WindowsPowerShell\\v1.0\\powershell.exe",
                   "C:\\Windows\\System32",
                   {}},
        LaunchCase{"NetworkPathUnchanged",
                   kRoot,
                   kWindows64,
                   "\\\\server\\share\\tool.exe",
                   true,
                   "\\\\server\\share\\tool.exe",
                   "C:\\Windows\\System32",
                   {}},
        LaunchCase{
            "FoundOnPath",
            WithPath("C:\\Windows\\system32;C:\\Users\\Dana\\AppData\\Local\\Microsoft\\WindowsApps"),
            With(kWindows64, {{"C:\\Users\\Dana\\AppData\\Local\\Microsoft\\WindowsApps\\quickassist.exe",
                               Attr::Normal}}),
            "quickassist.exe", true,
            "C:\\Users\\Dana\\AppData\\Local\\Microsoft\\WindowsApps\\quickassist.exe",
            "C:\\Windows\\System32",
            Then(kQuickAssist64,
                 {"C:\\Windows\\system32\\quickassist.exe",
                  "C:\\Users\\Dana\\AppData\\Local\\Microsoft\\WindowsApps\\quickassist.exe"})},
        // A quoted entry, and one with a trailing backslash.
        LaunchCase{"QuotedPathEntry", WithPath("\"C:\\Program Files\\Tools\\\""),
                   With(kWindows64, {{"C:\\Program Files\\Tools\\quickassist.exe", Attr::Normal}}),
                   "quickassist.exe", true, "C:\\Program Files\\Tools\\quickassist.exe",
                   "C:\\Windows\\System32",
                   Then(kQuickAssist64, {"C:\\Program Files\\Tools\\quickassist.exe"})},
        // The helper's own folder (in any case, with or without "\") and entries that are not
        // full paths are skipped: only the last entry is looked in.
        LaunchCase{"PathSkipsTheHelpersFolderAndRelativeEntries",
                   WithPath(".;;c:\\users\\dana\\downloads\\;C:\\Users\\Dana\\Downloads;Downloads;"
                            "%SystemRoot%\\Tools;C:Tools;\\Tools;D:\\Tools"),
                   With(kWindows64, {{".\\quickassist.exe", Attr::Normal},
                                     {"Downloads\\quickassist.exe", Attr::Normal},
                                     {"D:\\Tools\\quickassist.exe", Attr::Normal}}),
                   "quickassist.exe", true, "D:\\Tools\\quickassist.exe", "C:\\Windows\\System32",
                   Then(kQuickAssist64, {"D:\\Tools\\quickassist.exe"})},
        // On PATH only as the helper's folder or ".": found nowhere.
        LaunchCase{"OnlyBesideTheHelperIsNotFound", WithPath(".;C:\\Users\\Dana\\Downloads"), kWindows64,
                   "quickassist.exe", false, "", "", kQuickAssist64},
        LaunchCase{"NoPathIsNotFound", kRoot, kWindows64, "quickassist.exe", false, "", "", kQuickAssist64},
        LaunchCase{"WinDirWhenSystemRootIsUnset",
                   {{"WinDir", "D:\\WINNT"}},
                   {{"D:\\WINNT\\System32\\cmd.exe", Attr::Normal}},
                   "cmd.exe",
                   true,
                   "D:\\WINNT\\System32\\cmd.exe",
                   "D:\\WINNT\\System32",
                   {"D:\\WINNT\\Sysnative\\cmd.exe", "D:\\WINNT\\System32\\cmd.exe"}},
        // Without a Windows folder nothing is started, not even from a path that would be
        // relative to the current drive.
        LaunchCase{"NoRootIsNotFound",
                   {{"SystemRoot", ""}, {"PATH", "D:\\Tools"}},
                   {{"\\Sysnative\\cmd.exe", Attr::Normal},
                    {"\\System32\\cmd.exe", Attr::Normal},
                    {"D:\\Tools\\cmd.exe", Attr::Normal}},
                   "cmd.exe",
                   false,
                   "",
                   "",
                   {}},
        LaunchCase{"NoRootStartsNoSettingsPage", {}, {}, "ms-settings:windowsupdate", false, "", "", {}},
        LaunchCase{"RelativeRootIsNotFound",
                   {{"SystemRoot", "Windows"}},
                   {{"Windows\\System32\\cmd.exe", Attr::Normal}},
                   "cmd.exe",
                   false,
                   "",
                   "",
                   {}},
        LaunchCase{"EmptyFileIsNotFound", kRoot, kWindows64, "", false, "", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- ResolveSystemProgram ----

struct SystemProgramCase {
    const char* name;
    std::map<std::string, std::string> environment;
    std::map<std::string, Attr> files;
    bool found;
    std::string expectedFile;
};

void PrintTo(const SystemProgramCase& c, std::ostream* os) { *os << c.name; }

class ResolveSystemProgram : public ::testing::TestWithParam<SystemProgramCase> {};

// What the helper starts on its own as administrator comes from a system folder or not at
// all: a PATH entry may be a folder of the customer's account.
TEST_P(ResolveSystemProgram, LooksInTheSystemFoldersAndNowhereElse) {
    const SystemProgramCase& c = GetParam();
    testing::FakeSystem f;
    f.environment.variables = c.environment;
    f.process.moduleFileName = kHelperPath;
    for (const auto& [path, attr] : c.files) f.files.AddFile(path, attr);

    const auto target = intake::ResolveSystemProgram(f.system, "shutdown.exe");
    EXPECT_EQ(target.found, c.found);
    if (c.found) {
        EXPECT_EQ(target.file, c.expectedFile);
        EXPECT_EQ(target.directory, "C:\\Windows\\System32");
    }
}

const std::map<std::string, Attr> kCustomerShutdown = {
    {"C:\\Users\\Dana\\Tools\\shutdown.exe", Attr::Normal},
    {"C:\\Users\\Dana\\Downloads\\shutdown.exe", Attr::Normal},
};

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveSystemProgram,
    ::testing::Values(
        SystemProgramCase{"NativeOn64BitWindows", WithPath("C:\\Users\\Dana\\Tools"),
                          With(With(kCustomerShutdown, {{"C:\\Windows\\Sysnative", Attr::Folder}}),
                               {{"C:\\Windows\\Sysnative\\shutdown.exe", Attr::Normal},
                                {"C:\\Windows\\System32\\shutdown.exe", Attr::Normal}}),
                          true, "C:\\Windows\\Sysnative\\shutdown.exe"},
        SystemProgramCase{"System32On32BitWindows", WithPath("C:\\Users\\Dana\\Tools"),
                          With(kCustomerShutdown, {{"C:\\Windows\\System32\\shutdown.exe", Attr::Normal}}),
                          true, "C:\\Windows\\System32\\shutdown.exe"},
        SystemProgramCase{"OnlyOnPathIsNotFound", WithPath("C:\\Users\\Dana\\Tools"), kCustomerShutdown,
                          false, ""},
        SystemProgramCase{"HiddenInSystem32IsNotFound", WithPath("C:\\Users\\Dana\\Tools"),
                          With(kCustomerShutdown, {{"C:\\Windows\\System32\\shutdown.exe", Attr::Hidden}}),
                          false, ""},
        SystemProgramCase{"WithoutAWindowsFolderIsNotFound",
                          {{"PATH", "C:\\Users\\Dana\\Tools"}},
                          With(kCustomerShutdown, {{"\\System32\\shutdown.exe", Attr::Normal}}),
                          false,
                          ""}),
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

TEST(ResolveLaunchTargetOnWindows, NativeCommandProcessorFromTheSystemFolder) {
    platform::win32::Win32System real;
    const std::string root = real.environment.Get("SystemRoot");
    ASSERT_FALSE(root.empty());
    const auto target = intake::ResolveLaunchTarget(real.system, "cmd.exe");
    ASSERT_TRUE(target.found);
    EXPECT_EQ(target.file, root + (IsWow64() ? "\\Sysnative\\cmd.exe" : "\\System32\\cmd.exe"));
    EXPECT_EQ(target.directory, root + "\\System32");
}

// A program beside this executable, and "." first on PATH with this folder as the current
// one: neither is looked in.
TEST(ResolveLaunchTargetOnWindows, NeverFromTheOwnFolder) {
    platform::win32::Win32System real;
    const std::string name = "kelto-planted-probe.exe";
    ScopedFile planted(Widen(base::GetOwnFolder(real.process) + "\\" + name));
    ASSERT_TRUE(planted.created());
    ScopedVariable path(L"PATH", Widen(".;" + base::GetOwnFolder(real.process)).c_str());
    EXPECT_FALSE(intake::ResolveLaunchTarget(real.system, name).found);
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

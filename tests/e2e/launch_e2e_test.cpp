// What the elevated instance starts, and from where: the stand-ins in the prefix's native
// system folder (system32, which a 32-bit process reaches through Sysnative) and its 32-bit
// one (syswow64) record their own path, working folder and command line; copies of the
// stand-in named like the programs and console files are planted beside the helper, as a web
// page could drop them into a Downloads folder, and must never run.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr const char* kSession = "launch-1";
constexpr const char* kSystemFolder = "C:\\windows\\System32";
constexpr const char* kNativeCmd = "C:\\windows\\system32\\cmd.exe";

std::string VersionLine(const std::string& commandLine) {
    return "Version 1.12.0 Command: [" + commandLine + "]";
}

// Names the elevated instance or the command processor could find in the current folder.
const wchar_t* const kPlantedPrograms[] = {L"cmd.exe",   L"mmc.exe",        L"taskmgr.exe", L"ipconfig.exe",
                                           L"sfc.exe",   L"net.exe",        L"bcdedit.exe", L"shutdown.exe",
                                           L"netsh.exe", L"quickassist.exe"};
const wchar_t* const kPlantedConsoles[] = {L"devmgmt.msc", L"eventvwr.msc"};

class LaunchTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_FALSE(Programs().standin.empty()) << "the stand-in's path was not given (--standin=)";
        for (const wchar_t* name : kPlantedPrograms) CopyInto(Programs().standin, Folder(), name);
        for (const wchar_t* name : kPlantedConsoles) CopyInto(Programs().standin, Folder(), name);
        StoreAuthorizedSession(kSession, LocalSecondsSince2024() + 600);
    }

    // The elevated line of an authorized session, without a restore point.
    static std::string ElevatedLine(const std::string& key) {
        return "/elevated:" + key + "::0:" + kSession + "::0:0";
    }

    // Starts the elevated instance for a key from the helper's own folder and waits until it,
    // and whatever it started, have ended.
    std::vector<Launch> LaunchElevated(const std::string& key) {
        auto helper = StartHelper(Widen(ElevatedLine(key)));
        WaitForExit(helper);
        WaitUntilAllEnded();
        return Launches();
    }
};

struct LaunchCase {
    std::string key;
    std::string program;      // the stand-in that ran
    std::string commandLine;  // what it was given
    friend void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.key; }
};

class NativeLaunchTest : public LaunchTest, public ::testing::WithParamInterface<LaunchCase> {};

// The native program, the catalogue's parameters unchanged, the system folder as working
// folder, and no box and no log line beyond the start-up line.
TEST_P(NativeLaunchTest, StartsTheNativeProgramFromTheSystemFolder) {
    const auto& c = GetParam();
    const auto launches = LaunchElevated(c.key);
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_EQ(launches[0].program, c.program);
    EXPECT_EQ(launches[0].commandLine, c.commandLine);
    EXPECT_EQ(launches[0].workingFolder, kSystemFolder);
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(ElevatedLine(c.key))));
}

// The native system folder as the helper names it, after an opening quote.
std::string Native() { return "\"" + NativeSystemFolder(); }

INSTANTIATE_TEST_SUITE_P(
    Catalogue, NativeLaunchTest,
    ::testing::Values(
        LaunchCase{"ipconfig", kNativeCmd, Native() + "\\cmd.exe\" /K ipconfig /all"},
        LaunchCase{"sfc", kNativeCmd, Native() + "\\cmd.exe\" /K sfc /scannow"},
        LaunchCase{"safemodenetwork", kNativeCmd,
                   Native() + "\\cmd.exe\" /K bcdedit /set {current} safeboot network && "
                             "shutdown /r /t 15 /c \"Kelto Safe Mode with Networking\""},
        LaunchCase{"devices", "C:\\windows\\system32\\mmc.exe", Native() + "\\mmc.exe\" devmgmt.msc"},
        LaunchCase{"taskmgr", "C:\\windows\\system32\\taskmgr.exe", Native() + "\\taskmgr.exe\""},
        // The console file by its full path; its class's command names system32\mmc.exe, which a
        // 32-bit shell starts as the 32-bit copy.
        LaunchCase{"events", Narrow(HelpersSystem32()) + "\\mmc.exe",
                   "C:\\windows\\system32\\mmc.exe \"C:\\windows\\System32\\eventvwr.msc\""}),
    [](const auto& info) { return std::string(info.param.key); });

std::wstring CurrentPath() {
    std::wstring value(32767, L'\0');
    value.resize(::GetEnvironmentVariableW(L"PATH", value.data(), static_cast<DWORD>(value.size())));
    return value;
}

// A scoped change of this process's PATH, which the helper inherits.
class ScopedPath {
public:
    explicit ScopedPath(const std::wstring& value) : old_(CurrentPath()) {
        ::SetEnvironmentVariableW(L"PATH", value.c_str());
    }
    ~ScopedPath() { ::SetEnvironmentVariableW(L"PATH", old_.empty() ? nullptr : old_.c_str()); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

private:
    std::wstring old_;
};

// Wine has no Quick Assist: a program of that name is found on PATH, ahead of the copy
// planted beside the helper.
TEST_F(LaunchTest, AProgramInNoSystemFolderIsFoundOnPath) {
    const std::wstring tools = MakeFolder(L"tools");
    CopyInto(Programs().standin, tools, L"quickassist.exe");
    std::vector<Launch> launches;
    {
        ScopedPath path(L".;" + Folder() + L";" + tools + L";" + CurrentPath());
        launches = LaunchElevated("quickassist");
    }
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_EQ(launches[0].program, Narrow(tools) + "\\quickassist.exe");
    EXPECT_EQ(launches[0].commandLine, "\"" + Narrow(tools) + "\\quickassist.exe\"");
    EXPECT_EQ(launches[0].workingFolder, kSystemFolder);
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(ElevatedLine("quickassist"))));
}

// Only beside the helper (and through "." and the helper's folder on PATH): not started; the
// launch fails as the shell fails a file it cannot find, naming the catalogue's file.
TEST_F(LaunchTest, AProgramOnlyBesideTheHelperIsNotStarted) {
    ScopedPath path(L".;" + Folder() + L"\\;" + CurrentPath());
    auto helper = StartHelper(Widen(ElevatedLine("quickassist")));
    const auto box = WaitForDialog(helper);
    ExpectMessageBox(box, "Kelto",
                     "לא ניתן לפתוח את הפעולה:\r\nפתיחת סיוע מהיר\r\n\r\nהקובץ לא נמצא.\r\nקוד שגיאה: 2\r\n"
                     "נתיב: quickassist.exe",
                     IconKind::Exclamation, {IDOK});
    Answer(box, IDOK);
    WaitForExit(helper);
    WaitUntilAllEnded();
    EXPECT_THAT(Launches(), IsEmpty());
    EXPECT_THAT(LogMessages(), ElementsAre(VersionLine(ElevatedLine("quickassist")),
                                           "Open failed. Tool: quickassist Result: 2 File: quickassist.exe"));
}

}  // namespace
}  // namespace kelto::e2e

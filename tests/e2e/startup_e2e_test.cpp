// Start-up and command routing of the real executable: which road a command line takes,
// what the version line logs, and that every argument road ends by itself.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;
using ::testing::StartsWith;

constexpr const char* kInvalidActionPrefix = "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: ";
constexpr const char* kInvalidElevated = "בקשת ההפעלה המוגבהת אינה תקינה.";

class StartupTest : public HelperTest {};

// ---- No arguments: the main window ----

struct MainWindowStart {
    const char* name;
    const wchar_t* arguments;  // after the quoted program path and one space; none when empty
};

class MainWindowStartTest : public HelperTest, public ::testing::WithParamInterface<MainWindowStart> {};

TEST_P(MainWindowStartTest, ShowsTheMainWindowAndLogsEmptyBrackets) {
    auto helper = StartHelper(GetParam().arguments);
    const auto window = WaitForMainWindow(helper);
    EXPECT_EQ(window.title, kMainWindowTitle);
    EXPECT_THAT(VisibleTopLevelWindows(helper.id), SizeIs(1)) << DescribeWindows(helper.id);
    // It lives until the customer closes it.
    EXPECT_TRUE(IsRunning(helper));
    CloseMainWindow(helper, window);
    EXPECT_THAT(LogLines(), ElementsAre(IsLogLine(VersionLine(""))));
}

INSTANTIATE_TEST_SUITE_P(Starts, MainWindowStartTest,
                         ::testing::Values(MainWindowStart{"NoArguments", L""},
                                           MainWindowStart{"SpacesOnly", L"     "}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Argument roads: the main window stays hidden, a box, then the process ends ----

enum class Road { Protocol, Elevated };

struct ArgumentStart {
    const char* name;
    std::wstring commandLine;  // the whole command line; %EXE% stands for the quoted program path
    Road road;
    std::string received;  // the trimmed argument text, as the handler and the log get it
    friend void PrintTo(const ArgumentStart& c, std::ostream* os) { *os << c.name; }
};

class ArgumentRoadTest : public HelperTest, public ::testing::WithParamInterface<ArgumentStart> {};

TEST_P(ArgumentRoadTest, TakesItsRoadWithTheMainWindowHiddenAndEndsByItself) {
    const auto& c = GetParam();
    std::wstring line = c.commandLine;
    const std::wstring quotedExe = L"\"" + ExePath() + L"\"";
    if (const size_t at = line.find(L"%EXE%"); at != std::wstring::npos) line.replace(at, 5, quotedExe);
    if (const size_t at = line.find(L"%BAREEXE%"); at != std::wstring::npos) line.replace(at, 9, ExePath());
    auto helper = StartRaw(line);
    const auto box = WaitForDialog(helper);

    EXPECT_EQ(box.title, "Kelto");
    EXPECT_EQ(box.text, c.road == Road::Protocol ? kInvalidActionPrefix + c.received : kInvalidElevated);
    EXPECT_EQ(box.icon, IconKind::Exclamation);
    EXPECT_THAT(box.ButtonIds(), ElementsAre(IDOK));
    // No main window behind the box.
    EXPECT_THAT(VisibleTopLevelWindows(helper.id), ElementsAre(box.hwnd)) << DescribeWindows(helper.id);
    if (std::string_view(c.name) == "ElevatedLowerCase") SaveScreenshot(box.hwnd, "elevated-line-invalid");

    Press(box.hwnd, IDOK);
    WaitForExit(helper);
    const auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines[0], IsLogLine(VersionLine(c.received)));
}

INSTANTIATE_TEST_SUITE_P(
    Roads, ArgumentRoadTest,
    ::testing::Values(
        // A tab is not a blank: the line is not empty.
        ArgumentStart{"TabOnly", L"%EXE% \t", Road::Protocol, "\t"},
        ArgumentStart{"ElevatedUpperCaseTrimmed", L"%EXE%    /ELEVATED:xyz  ", Road::Elevated,
                      "/ELEVATED:xyz"},
        ArgumentStart{"ElevatedLowerCase", L"%EXE% /elevated:", Road::Elevated, "/elevated:"},
        ArgumentStart{"ElevatedWithoutColon", L"%EXE% /elevated", Road::Protocol, "/elevated"},
        ArgumentStart{"ElevatedPrefixWithLetter", L"%EXE% /elevatedx", Road::Protocol, "/elevatedx"},
        ArgumentStart{"ShorterThanThePrefix", L"%EXE% /e", Road::Protocol, "/e"},
        // As the browser hands it over: the URL in double quotes, kept in the log.
        ArgumentStart{"QuotedUrl", L"%EXE% \"kelto:///?sid=ab-1\"", Road::Protocol, "\"kelto:///?sid=ab-1\""},
        ArgumentStart{"UnquotedProgramPath", L"%BAREEXE%   /ELEVATED:xyz  ", Road::Elevated, "/ELEVATED:xyz"},
        ArgumentStart{"InnerBlanksKept", L"%EXE%  a   b  ", Road::Protocol, "a   b"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Where the log goes, and what it holds ----

TEST_F(StartupTest, LogsBesideTheExecutableWhenStartedFromAnotherFolder) {
    const std::wstring elsewhere = MakeFolder(L"elsewhere");
    auto helper = StartHelper(L"/e", elsewhere);
    Press(WaitForDialog(helper).hwnd, IDOK);
    WaitForExit(helper);
    ASSERT_FALSE(LogLines().empty());
    EXPECT_THAT(LogLines()[0], IsLogLine(VersionLine("/e")));
    EXPECT_EQ(::GetFileAttributesW((elsewhere + L"\\KeltoClientHelper.log").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(StartupTest, HebrewIsLoggedAsQuestionMarksUnderAWesternCodePage) {
    ASSERT_EQ(::GetACP(), 1252u) << "this prefix is meant to run with the Western code page";
    auto helper = StartHelper(L"שלום");
    const auto box = WaitForDialog(helper);
    // The customer sees the text as received; only the log is limited to the code page.
    EXPECT_EQ(box.text, std::string(kInvalidActionPrefix) + "שלום");
    Press(box.hwnd, IDOK);
    WaitForExit(helper);
    ASSERT_FALSE(LogLines().empty());
    EXPECT_THAT(LogLines()[0], IsLogLine(VersionLine("????")));
}

TEST_F(StartupTest, AppendsToAnExistingLog) {
    const std::string earlier = "2020-01-02 03:04:05 Version 1.12.0 Command: [earlier]\r\n";
    {
        UniqueHandle file(::CreateFileW((Folder() + L"\\KeltoClientHelper.log").c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(
            ::WriteFile(file.get(), earlier.data(), static_cast<DWORD>(earlier.size()), &written, nullptr));
    }
    auto helper = StartHelper(L"/e");
    Press(WaitForDialog(helper).hwnd, IDOK);
    WaitForExit(helper);
    const std::string bytes = LogBytes();
    EXPECT_THAT(bytes, StartsWith(earlier));
    EXPECT_NE(bytes.find("Version 1.12.0 Command: [/e]\r\n", earlier.size()), std::string::npos);
}

// ---- Any command line is routed without a crash ----

struct HostileLine {
    const char* name;
    std::wstring arguments;
    friend void PrintTo(const HostileLine& c, std::ostream* os) { *os << c.name; }
};

class HostileCommandLineTest : public HelperTest, public ::testing::WithParamInterface<HostileLine> {};

TEST_P(HostileCommandLineTest, IsRefusedAndTheProcessEnds) {
    auto helper = StartHelper(GetParam().arguments);
    const auto box = WaitForDialog(helper);
    EXPECT_EQ(box.title, "Kelto");
    EXPECT_THAT(box.text, StartsWith(kInvalidActionPrefix));
    Press(box.hwnd, IDOK);
    WaitForExit(helper);
    // Nothing in the line was run.
    EXPECT_TRUE(Launches().empty());
    const auto messages = LogMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_THAT(messages[0], StartsWith("Version 1.12.0 Command: ["));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HostileCommandLineTest,
    ::testing::Values(HostileLine{"NearTheLengthLimit", std::wstring(30000, L'a')},
                      HostileLine{"ControlCharacters", L"\x01\x02\x1b[31m\x7f kelto\x08:"},
                      HostileLine{"ShellMetacharacters", L"& cmd.exe /c echo x | calc > nul %PATH% ^ `"},
                      HostileLine{"LoneSurrogatesAndNonCharacters", L"\xD800 \xDFFF \xFFFF \xFFFE"},
                      HostileLine{"PlaceholdersAndFormats", L"%1 %s %n %x {0} $(x)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelto::e2e

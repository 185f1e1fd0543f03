// The fixture every end-to-end test of the helper derives from.
//
// Each test gets its own folder C:\kelto-e2e\<Suite>.<Test>\ with a fresh copy of
// KeltoClientHelper.exe (so its log beside the executable is its own), a clean current-user
// registry (the registration key and the helper's own key are deleted before and after),
// its own launch record for the stand-in programs, and a job object that holds every
// process it starts and everything those start in turn. At the end, a process of the test
// that is still running fails the test and is ended through the job; nothing else on the
// machine is touched.
//
//   TEST_F(StartupTest, SpacesOnlyShowTheMainWindow) {
//       auto helper = StartHelper(L"   ");
//       auto window = WaitForMainWindow(helper);
//       CloseMainWindow(helper, window);
//       EXPECT_THAT(LogLines(), ElementsAre(IsLogLine("Version 1.12.0 Command: []")));
//   }
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver.h"

namespace kelto::e2e {

// The helper is a 32-bit program. The same sources are also built for x86-64, as a test bench
// for machines that run no 32-bit programs, and there the x86-64 test program also drives the
// shipped 32-bit helper, which then runs under an emulator. What differs between a 32-bit and
// a 64-bit helper is how Windows' folder redirection meets it: a 32-bit process on 64-bit
// Windows reaches the native system folder as "Sysnative" and sees syswow64 as System32; a
// 64-bit one names the native folder System32 and starts the programs there. What the tests
// expect follows the helper under test (its PE header), not this test program.
bool HelperIs32Bit();
// The native system folder as the helper names it: "C:\windows\Sysnative" or "C:\windows\System32".
const std::string& NativeSystemFolder();
// The folder the helper sees as its System32, by a name this test program reaches too.
const std::wstring& HelpersSystem32();
// This test program's own name for the native system folder, for its own file operations.
#ifdef _WIN64
inline constexpr const wchar_t* kOwnNativeSystemFolder = L"C:\\windows\\System32";
#else
inline constexpr const wchar_t* kOwnNativeSystemFolder = L"C:\\windows\\Sysnative";
#endif

// Where the programs under test are, as Windows paths (set from the command line).
struct TestPrograms {
    std::wstring helper;      // KeltoClientHelper.exe
    std::wstring logWriter;   // the WriteLog test program
    std::wstring standin;     // the stand-in that records how it was started
    std::wstring artifacts;   // a folder in the build tree for screenshots
    std::wstring forwarder;   // the stand-in that forwards to Debian's curl and bsdtar
    std::wstring rescueData;  // the rescue VM's archives, made at build time
    std::wstring data;        // tests/data: the catalogue fixture and the hostile inputs
    std::wstring tokenTool;   // kelto-token.exe, the technician's tool
};
TestPrograms& Programs();

inline constexpr milliseconds kDefaultWait{15000};

// The texts of the helper that the tests look for, as the customer sees them.
inline constexpr const char* kMainWindowTitle = "Kelto Remote - כלי תמיכה ללקוח - גרסה 1.12.0";
inline constexpr const char* kTokenPromptTitle = "אישור פעולה - Kelto";
inline constexpr const char* kTokenPromptText = "הזן קוד טוקן בן 6 ספרות שקיבלת מהנציג.";
inline constexpr const char* kConsentTitle = "בקשת פעולה מ-Kelto";

// The key of the authorized support session, below HKCU.
inline const std::wstring kSessionKey = L"Software\\KeltoRemote\\AuthorizedSession";

// Whole seconds from 2024-01-01 00:00:00 to a date and time, by plain calendar counting; and
// that count for the current local time (the session clock) and UTC (the token clock).
std::int64_t SecondsSince2024(const SYSTEMTIME& t);
std::int64_t LocalSecondsSince2024();
std::int64_t UtcSecondsSince2024();

// The token function as it is documented for whoever issues tokens, written out here on its
// own so that the helper is checked against an implementation it does not share.
inline constexpr std::int64_t kTokenWindowSeconds = 300;
std::string TokenOfWindow(std::int64_t window);
// The current token window, once at least `secondsLeft` of it are left, so that the helper
// checks the token in the window it was computed for and not only through the next one's grace
// (a test that types a token key by key needs a minute).
std::int64_t SettledTokenWindow(std::int64_t secondsLeft = 5);

// Twips as pixels at a DPI, as the helper lays its windows out.
inline int Px(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

// Sets the screen's DPI for helpers started from now on and restores it afterwards.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi);
    ~ScreenDpi();
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD previous_ = 0;
    bool hadPrevious_ = false;
};

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string data;  // REG_SZ / REG_EXPAND_SZ as UTF-8
};

struct Launch {
    std::string program;        // the stand-in's own path, as it was started
    std::string commandLine;    // its full command line
    std::string workingFolder;  // its current folder at start
    std::string showMode;       // the show mode it was started with, "-" when none was given
};

// Pixels of a control as shown on screen; fails the test where the screen cannot be read.
Image CaptureControl(const ControlInfo& control);
// How many pixels lie within `tolerance` (per channel) of a colour: text drawn with
// anti-aliasing has its exact colour only in the cores of its strokes.
int PixelsNear(const Image& image, std::uint32_t colour, int tolerance);
// The columns of an image that hold ink: a pixel further than `tolerance` (in some channel)
// from the image's dominant colour. Nothing when the image is blank.
struct InkColumns {
    int left = 0;   // the first column with ink
    int right = 0;  // the last column with ink
};
std::optional<InkColumns> InkColumnsOf(const Image& image, int tolerance = 48);
// Checks that a label's text reads from its right edge, as Hebrew does: its ink ends within
// `margin` pixels of the label's right edge and leaves more room on its left than there.
void ExpectTextHugsRightEdge(const ControlInfo& label, int margin = 8);
// Checks that a window and its controls read right to left as Windows defines it: the window
// is mirrored (WS_EX_LAYOUTRTL) and no control carries WS_EX_RTLREADING, which inside a
// mirrored window reverses the reading order back to left to right. (Wine draws plain
// controls left to right either way, so the pixels cannot show it here.)
void ExpectRightToLeftReading(const WindowSnapshot& window);
// Polls until the control's text is `expected`; false when it never became so.
bool WaitForText(HWND control, const std::string& expected, milliseconds wait = kDefaultWait);

// Matches a whole log line (CR LF already removed): "yyyy-mm-dd hh:nn:ss <message>".
::testing::Matcher<const std::string&> IsLogLine(const std::string& message);
// The message every start of the helper logs first: its version and its command line
// (trimmed), e.g. VersionLine("/e") == "Version 1.12.0 Command: [/e]".
std::string VersionLine(const std::string& commandLine);

// The user SID of this test program's account as Windows gives it ("S-1-5-21-..."): the
// helpers it starts run as the same account, and put it on the elevated line.
std::string OwnUserSid();

// The entry field (the first edit control) of a window; fails the test when there is none.
const ControlInfo& EntryField(const WindowSnapshot& window);

// Checks a message box whole: title, text, icon, its buttons in order, and that the first of
// them is the default button.
void ExpectMessageBox(const WindowSnapshot& box, const std::string& title, const std::string& text,
                      IconKind icon, const std::vector<int>& buttonIds);

// Registers one test per line of the hostile-input corpus (hostile_e2e_test.cpp).
void RegisterHostileInputTests();

class HelperTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // This test's folder and its copy of the helper.
    const std::wstring& Folder() const { return folder_; }
    const std::wstring& ExePath() const { return exePath_; }
    std::string ExePathUtf8() const { return Narrow(exePath_); }

    // Starts the helper with the command line "\"<exe>\" " + arguments, or just "\"<exe>\""
    // when there are none. The working directory is the test's folder unless given.
    Process StartHelper(std::wstring_view arguments = {}, const std::wstring& workingDirectory = {});
    // Starts any program with exactly this command line, inside the test's job.
    Process StartRaw(const std::wstring& commandLine, const std::wstring& workingDirectory = {});

    WindowSnapshot WaitForDialog(const Process& process, milliseconds wait = kDefaultWait);
    // A dialog of any process of this test (the elevated instance is started by the shell,
    // not by the test).
    WindowSnapshot WaitForDialogOfTest(milliseconds wait = kDefaultWait);
    WindowSnapshot WaitForMainWindow(const Process& process, milliseconds wait = kDefaultWait);
    // The first visible top-level window of the process with this title, once painted.
    WindowSnapshot WaitForWindow(const Process& process, const std::string& title,
                                 milliseconds wait = kDefaultWait);
    // The same for any process of this test, also one the test did not start itself (the
    // elevated instance, which the shell starts): the first found. `processId` of the
    // snapshot tells whose it is; ProcessOf gives that process to wait for.
    WindowSnapshot WaitForDialogOfAnyProcess(milliseconds wait = kDefaultWait);
    WindowSnapshot WaitForMainWindowOfAnyProcess(milliseconds wait = kDefaultWait);
    // A running process of this test by its id, held open so that its exit code can be read
    // after it ended; fails the test when the process is not one of this test's.
    Process ProcessOf(DWORD processId);
    // The exit code; fails the test when the process is still running after the wait.
    DWORD WaitForExit(const Process& process, milliseconds wait = kDefaultWait);
    // Presses the main window's close box (WM_CLOSE) and waits for the process to end.
    void CloseMainWindow(const Process& process, const WindowSnapshot& window);
    // Presses a button of a dialog and waits until the dialog is gone, so that the next
    // WaitForDialog finds the box that follows, not this one.
    void Answer(const WindowSnapshot& dialog, int buttonId);
    // Waits until every process of this test (everything it started, and their children)
    // has ended; fails with the list of those still running.
    void WaitUntilAllEnded(milliseconds wait = kDefaultWait);

    // The activity log beside this test's executable (or beside a copy in another folder):
    // its raw bytes, and its lines without their CR LF. LogLines() fails the test for a line
    // that does not end in CR LF, holds a stray CR or LF, or whose timestamp is not the local
    // time of this test's run.
    std::string LogBytes(const std::wstring& folder = {}) const;
    std::vector<std::string> LogLines(const std::wstring& folder = {}) const;
    // The messages of the log lines (timestamp and its space removed).
    std::vector<std::string> LogMessages(const std::wstring& folder = {}) const;

    // What the stand-in programs recorded during this test.
    std::vector<Launch> Launches() const;
    // The stand-ins record as they start: waits until `count` launches are on record.
    std::vector<Launch> WaitForLaunches(size_t count, milliseconds wait = kDefaultWait) const;

    // Current-user registry. `key` is below HKCU, e.g. L"Software\\Classes\\kelto"; an empty
    // value name is the key's default value.
    std::optional<RegistryValue> ReadRegistry(const std::wstring& key, const std::wstring& valueName) const;
    bool RegistryKeyExists(const std::wstring& key) const;
    std::vector<std::string> RegistrySubkeys(const std::wstring& key) const;
    std::vector<std::string> RegistryValueNames(const std::wstring& key) const;
    void WriteRegistryString(const std::wstring& key, const std::wstring& valueName, std::string_view data);
    void DeleteRegistryTree(const std::wstring& key);
    // Stores an authorized support session as the helper does: SessionID and ExpiresAt
    // (seconds since 2024-01-01 00:00:00 local time, as decimal text), both REG_SZ.
    void StoreAuthorizedSession(std::string_view sessionId, std::int64_t expiresAt);

    // Opens a file or URL through the shell (ShellExecuteEx, verb "open") as a browser or
    // Explorer would, and holds the started process in this test's job.
    Process ShellOpen(const std::wstring& file);

    // Keeps a picture of a window as it is on screen, title bar and frame included:
    // <artifacts>\<name>.bmp, and the line "<name><TAB><Suite>.<Test>" appended to
    // <artifacts>\index.tsv. Nothing is kept where no artifacts folder was given or the
    // screen cannot be read (the null graphics driver).
    void SaveScreenshot(HWND window, std::string_view name);

    // A new folder inside this test's folder.
    std::wstring MakeFolder(const std::wstring& name);
    // Copies a program into a folder (the same base name unless given).
    std::wstring CopyInto(const std::wstring& program, const std::wstring& folder,
                          const std::wstring& name = {});
    // The running processes of this test's job.
    std::vector<JobMember> RunningProcesses() const;
    // The job that holds every process of this test.
    HANDLE Job() const { return job_.get(); }

private:
    std::wstring folder_;
    std::wstring exePath_;
    std::wstring launchRecord_;
    UniqueHandle job_;
    SYSTEMTIME startedLocal_{};
};

}  // namespace kelto::e2e

// The kelto: URL-scheme registration driven through the main window's buttons, checked in
// the prefix's registry and in the status line.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

const std::wstring kBase = L"Software\\Classes\\kelto";
const std::wstring kDefaultIcon = kBase + L"\\DefaultIcon";
const std::wstring kOpenCommand = kBase + L"\\shell\\open\\command";

constexpr const char* kInstallCaption = "הפעל פעולות Kelto";
constexpr const char* kRemoveCaption = "הסר את כלי העזר";
constexpr const char* kStatusActive = "כלי העזר פעיל ומוכן לקבל פעולות.";
constexpr const char* kStatusInactive = "כלי העזר עדיין אינו פעיל.";
constexpr std::uint32_t kActiveBlue = Rgb(0, 80, 160);
constexpr std::uint32_t kInactiveRed = Rgb(192, 64, 64);

class RegistrationTest : public HelperTest {
protected:
    // The registration a copy of the helper in `exe` writes, entry by entry.
    void WriteRegistration(const std::string& exe, const std::string& command) {
        WriteRegistryString(kBase, L"", "URL:Kelto Support Protocol");
        WriteRegistryString(kBase, L"URL Protocol", "");
        WriteRegistryString(kDefaultIcon, L"", exe + ",0");
        WriteRegistryString(kOpenCommand, L"", command);
    }

    // The registration exactly as this test's copy of the helper must write it.
    void ExpectRegistrationOfThisCopy() {
        const std::string exe = ExePathUtf8();
        const struct {
            std::wstring key;
            std::wstring value;
            std::string data;
        } expected[] = {
            {kBase, L"", "URL:Kelto Support Protocol"},
            {kBase, L"URL Protocol", ""},
            {kDefaultIcon, L"", exe + ",0"},
            {kOpenCommand, L"", "\"" + exe + "\" \"%1\""},
        };
        for (const auto& e : expected) {
            const auto read = ReadRegistry(e.key, e.value);
            ASSERT_TRUE(read.has_value())
                << "missing: HKCU\\" << Narrow(e.key) << " [" << Narrow(e.value) << "]";
            EXPECT_EQ(read->type, static_cast<DWORD>(REG_SZ))
                << Narrow(e.key) << " [" << Narrow(e.value) << "]";
            EXPECT_EQ(read->data, e.data) << Narrow(e.key) << " [" << Narrow(e.value) << "]";
        }
        // Nothing besides: one registration, not two.
        EXPECT_THAT(RegistryValueNames(kBase), UnorderedElementsAre("", "URL Protocol"));
        EXPECT_THAT(RegistrySubkeys(kBase), UnorderedElementsAre("DefaultIcon", "shell"));
        EXPECT_THAT(RegistryValueNames(kDefaultIcon), ElementsAre(""));
        EXPECT_THAT(RegistrySubkeys(kBase + L"\\shell"), ElementsAre("open"));
        EXPECT_THAT(RegistrySubkeys(kBase + L"\\shell\\open"), ElementsAre("command"));
        EXPECT_THAT(RegistryValueNames(kOpenCommand), ElementsAre(""));
    }

    static HWND StatusLabel(const WindowSnapshot& window) {
        for (const auto& c : window.controls) {
            if (c.className == "Static" && (c.text == kStatusActive || c.text == kStatusInactive))
                return c.hwnd;
        }
        throw DriverError("no status line in the main window");
    }

    static HWND Button(const WindowSnapshot& window, const char* caption) {
        return window.ControlCaptioned(caption).hwnd;
    }

    // The status line shows this text in this colour (and never the other status colour).
    void ExpectStatus(const WindowSnapshot& window, const char* text, std::uint32_t colour) {
        HWND label = StatusLabel(window);
        EXPECT_TRUE(WaitForText(label, text)) << "status line: \"" << TextOf(label) << "\"";
        const std::uint32_t other = colour == kActiveBlue ? kInactiveRed : kActiveBlue;
        const WindowSnapshot now = Snapshot(window.hwnd);
        const auto* control = now.ControlWithText(text);
        ASSERT_NE(control, nullptr);
        // Anti-aliased text keeps its colour in the cores of its strokes: poll until painted.
        int count = 0;
        int otherCount = 0;
        PollUntil(Deadline::In(milliseconds(3000)), [&] {
            const Image pixels = CaptureControl(*control);
            count = PixelsNear(pixels, colour, 24);
            otherCount = PixelsNear(pixels, other, 24);
            return count >= 10;
        });
        EXPECT_GE(count, 10) << "too few pixels in the status colour";
        EXPECT_EQ(otherCount, 0) << "pixels in the other status colour";
    }
};

TEST_F(RegistrationTest, InstallWritesTheFourEntriesAndReportsSuccess) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    ExpectStatus(window, kStatusInactive, kInactiveRed);

    PressControl(Button(window, kInstallCaption));
    const auto box = WaitForDialog(helper);
    EXPECT_EQ(box.title, "Kelto");
    EXPECT_EQ(box.text, "כלי העזר הופעל בהצלחה.");
    EXPECT_EQ(box.icon, IconKind::Information);
    EXPECT_THAT(box.ButtonIds(), ElementsAre(IDOK));
    ExpectRegistrationOfThisCopy();

    Press(box.hwnd, IDOK);
    ExpectStatus(window, kStatusActive, kActiveBlue);
    CloseMainWindow(helper, window);
}

TEST_F(RegistrationTest, InstallingTwiceLeavesOneRegistration) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    for (int round = 0; round < 2; ++round) {
        PressControl(Button(window, kInstallCaption));
        const auto box = WaitForDialog(helper);
        EXPECT_EQ(box.text, "כלי העזר הופעל בהצלחה.");
        Press(box.hwnd, IDOK);
        WaitUntilGone(box.hwnd, Deadline::In(kDefaultWait));
    }
    ExpectRegistrationOfThisCopy();
    CloseMainWindow(helper, window);
}

TEST_F(RegistrationTest, InstallReplacesTheRegistrationOfAnotherCopy) {
    WriteRegistration("C:\\Other\\KeltoClientHelper.exe", "\"C:\\Other\\KeltoClientHelper.exe\" \"%1\"");
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    PressControl(Button(window, kInstallCaption));
    Press(WaitForDialog(helper).hwnd, IDOK);
    ExpectRegistrationOfThisCopy();
    CloseMainWindow(helper, window);
}

TEST_F(RegistrationTest, RemoveAnsweredYesDeletesTheKeyAndTurnsTheStatusRed) {
    WriteRegistration(ExePathUtf8(), "\"" + ExePathUtf8() + "\" \"%1\"");
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    ExpectStatus(window, kStatusActive, kActiveBlue);
    SaveScreenshot(window.hwnd, "main-window-registered");

    PressControl(Button(window, kRemoveCaption));
    const auto question = WaitForDialog(helper);
    EXPECT_EQ(question.title, "Kelto");
    EXPECT_EQ(question.text, "להסיר את כלי העזר?");
    EXPECT_EQ(question.icon, IconKind::Question);
    EXPECT_THAT(question.ButtonIds(), ElementsAre(IDYES, IDNO));
    // Yes is the default button.
    for (const auto& b : question.buttons) {
        EXPECT_EQ((b.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON, b.id == IDYES) << "button " << b.id;
    }

    Press(question.hwnd, IDYES);
    ExpectStatus(window, kStatusInactive, kInactiveRed);
    EXPECT_FALSE(RegistryKeyExists(kBase));
    // No message follows a removal.
    EXPECT_THAT(VisibleTopLevelWindows(helper.id), ElementsAre(window.hwnd)) << DescribeWindows(helper.id);
    CloseMainWindow(helper, window);
}

TEST_F(RegistrationTest, RemoveAnsweredNoChangesNothing) {
    WriteRegistration(ExePathUtf8(), "\"" + ExePathUtf8() + "\" \"%1\"");
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    PressControl(Button(window, kRemoveCaption));
    const auto question = WaitForDialog(helper);
    Press(question.hwnd, IDNO);
    WaitUntilGone(question.hwnd, Deadline::In(kDefaultWait));
    ExpectRegistrationOfThisCopy();
    ExpectStatus(window, kStatusActive, kActiveBlue);
    CloseMainWindow(helper, window);
}

struct StatusCase {
    const char* name;
    std::string openCommand;
    bool active;
    friend void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }
};

class RegistrationStatusTest : public RegistrationTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(RegistrationStatusTest, ShowsWhatTheOpenCommandSays) {
    WriteRegistration("C:\\Other\\KeltoClientHelper.exe", GetParam().openCommand);
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    if (GetParam().active) {
        ExpectStatus(window, kStatusActive, kActiveBlue);
    } else {
        ExpectStatus(window, kStatusInactive, kInactiveRed);
    }
    CloseMainWindow(helper, window);
}

INSTANTIATE_TEST_SUITE_P(
    OpenCommands, RegistrationStatusTest,
    ::testing::Values(StatusCase{"PresentButEmpty", "", false},
                      // Any registration counts, also one written by a copy in another folder.
                      StatusCase{"AnotherCopy", "\"C:\\Other\\KeltoClientHelper.exe\" \"%1\"", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelto::e2e

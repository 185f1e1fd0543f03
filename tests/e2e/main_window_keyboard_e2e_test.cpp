// The main window from the keyboard: where the focus starts, Enter and Space on its buttons
// (real key input through the program's own message loop), the exit code the message loop
// hands back, and how a disabled coloured button looks.
#include "harness.h"

namespace kelto::e2e {
namespace {

constexpr const char* kInstallCaption = "הפעל פעולות Kelto";
constexpr const char* kRemoveCaption = "הסר את כלי העזר";
constexpr const char* kCloseCaption = "סגור";
const std::wstring kOpenCommand = L"Software\\Classes\\kelto\\shell\\open\\command";

class MainWindowKeyboardTest : public HelperTest {
protected:
    static HWND Button(const WindowSnapshot& window, const char* caption) {
        return window.ControlCaptioned(caption).hwnd;
    }

    static void Type(const WindowSnapshot& window, UINT virtualKey) {
        TypeKey(window.hwnd, virtualKey, Deadline::In(kDefaultWait));
    }

    // Fails the test unless the helper's keyboard focus comes to rest on `control`.
    static void ExpectFocusOn(const WindowSnapshot& window, HWND control) {
        const bool focused = WaitForFocus(window.hwnd, control, Deadline::In(kDefaultWait));
        HWND focus = FocusOf(window.hwnd);
        EXPECT_TRUE(focused) << "the focus is on \"" << (focus ? TextOf(focus) : std::string("nothing"))
                             << "\", expected \"" << TextOf(control) << "\"";
    }
};

TEST_F(MainWindowKeyboardTest, EnterAtOnceInstallsAndTabThenSpaceAsksToRemove) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    const HWND install = Button(window, kInstallCaption);
    const HWND remove = Button(window, kRemoveCaption);

    // No Tab first: the window opens with the focus on the first button of the tab order.
    ExpectFocusOn(window, install);
    Type(window, VK_RETURN);
    const auto done = WaitForDialog(helper);
    ExpectMessageBox(done, "Kelto", "כלי העזר הופעל בהצלחה.", IconKind::Information, {IDOK});
    SaveScreenshot(done.hwnd, "install-done");
    const auto command = ReadRegistry(kOpenCommand, L"");
    ASSERT_TRUE(command.has_value()) << "no open command registered";
    EXPECT_EQ(command->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(command->data, "\"" + ExePathUtf8() + "\" \"%1\"");
    Answer(done, IDOK);

    // The box gives the focus back to the button it came from; Tab moves on to the next.
    ExpectFocusOn(window, install);
    Type(window, VK_TAB);
    ExpectFocusOn(window, remove);
    Type(window, VK_SPACE);
    const auto question = WaitForDialog(helper);
    ExpectMessageBox(question, "Kelto", "להסיר את כלי העזר?", IconKind::Question, {IDYES, IDNO});
    SaveScreenshot(question.hwnd, "remove-question");
    Answer(question, IDNO);

    // No: the registration stays.
    EXPECT_TRUE(ReadRegistry(kOpenCommand, L"").has_value());
    CloseMainWindow(helper, window);
}

TEST_F(MainWindowKeyboardTest, EnterPressesThePlainButtonThatHasTheFocus) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    ExpectFocusOn(window, Button(window, kInstallCaption));
    Type(window, VK_TAB);
    Type(window, VK_TAB);
    ExpectFocusOn(window, Button(window, kCloseCaption));
    Type(window, VK_RETURN);
    // The close button ends the process, which ends normally.
    EXPECT_EQ(WaitForExit(helper), 0u);
    EXPECT_FALSE(ReadRegistry(kOpenCommand, L"").has_value()) << "Enter pressed another button";
}

TEST_F(MainWindowKeyboardTest, TheQuitMessagesCodeIsTheExitCode) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    const DWORD thread = ::GetWindowThreadProcessId(window.hwnd, nullptr);
    ASSERT_TRUE(::PostThreadMessageW(thread, WM_QUIT, 7, 0));
    EXPECT_EQ(WaitForExit(helper), 7u);
}

TEST_F(MainWindowKeyboardTest, ADisabledColouredButtonIsGreyedAndComesBack) {
    if (!ScreenIsReadable()) GTEST_SKIP() << "pixels cannot be read on this display";
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    const auto* install = window.ControlWithText(kInstallCaption);
    ASSERT_NE(install, nullptr);
    constexpr std::uint32_t kDesignedBlue = Rgb(7, 104, 232);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const COLORREF grey = ::GetSysColor(COLOR_GRAYTEXT);
    const std::uint32_t kFace = Rgb(GetRValue(face), GetGValue(face), GetBValue(face));
    const std::uint32_t kGreyText = Rgb(GetRValue(grey), GetGValue(grey), GetBValue(grey));
    ASSERT_TRUE(PollUntil(Deadline::In(milliseconds(5000)),
                          [&] { return DominantColour(CaptureControl(*install)) == kDesignedBlue; }));

    ::EnableWindow(install->hwnd, FALSE);
    Image disabled;
    PollUntil(Deadline::In(milliseconds(5000)), [&] {
        disabled = CaptureControl(*install);
        return DominantColour(disabled) == kFace;
    });
    EXPECT_EQ(DominantColour(disabled), kFace) << "face of the disabled button";
    EXPECT_GE(PixelsNear(disabled, kGreyText, 24), 10) << "greyed caption";
    EXPECT_EQ(PixelsNear(disabled, kDesignedBlue, 24), 0) << "the designed blue is gone";

    ::EnableWindow(install->hwnd, TRUE);
    EXPECT_TRUE(PollUntil(Deadline::In(milliseconds(5000)),
                          [&] { return DominantColour(CaptureControl(*install)) == kDesignedBlue; }));
    CloseMainWindow(helper, window);
}

}  // namespace
}  // namespace kelto::e2e

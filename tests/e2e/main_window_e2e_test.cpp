// The main window as the customer sees it: positions (designed in twips, converted at the
// window's DPI), tab order, captions and colours, read off the real window and the screen.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAreArray;

// The designed layout, in twips from the client area's left and top edges as seen on screen.
struct DesignedControl {
    const char* name;
    const char* caption;  // as shown once the status is known (clean registry: not active)
    int left, top, width, height;
};
constexpr DesignedControl kDesigned[] = {
    {"lblInfo",
     "כלי העזר פותח פעולות מערכת באישור שלך. כל פעולה תוצג לפני הפעלתה, ורק פעולות שאושרו מראש ניתנות "
     "להפעלה.",
     360, 720, 5820, 1320},
    {"lblStatus", "כלי העזר עדיין אינו פעיל.", 240, 2400, 6060, 480},
    {"cmdInstall", "הפעל פעולות Kelto", 3720, 3720, 2580, 480},
    {"cmdRemove", "הסר את כלי העזר", 1740, 3720, 1860, 480},
    {"cmdClose", "סגור", 240, 3720, 1380, 480},
    {"cmdOffline", "אין לי אינטרנט - פתח טיפול ללא חיבור", 240, 3060, 6060, 480},
};
constexpr int kClientWidthTwips = 6552;
constexpr int kClientHeightTwips = 4381;

const ControlInfo& Find(const WindowSnapshot& window, const DesignedControl& designed) {
    return window.ControlCaptioned(designed.caption);
}

// A small window of the test program, in the foreground at the screen's far corner, away
// from the helper's windows: the helper's window is no longer the active one, as when the
// customer clicks another program.
class WindowInFront {
public:
    WindowInFront() {
        const int x = ::GetSystemMetrics(SM_CXSCREEN) - 40;
        const int y = ::GetSystemMetrics(SM_CYSCREEN) - 40;
        window_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, x, y, 32, 32,
                                    nullptr, nullptr, nullptr, nullptr);
        if (window_ == nullptr) throw DriverError("cannot create a window in front");
        ::SetForegroundWindow(window_);
    }
    ~WindowInFront() { ::DestroyWindow(window_); }
    WindowInFront(const WindowInFront&) = delete;
    WindowInFront& operator=(const WindowInFront&) = delete;

private:
    HWND window_ = nullptr;
};

class MainWindowLayoutTest : public HelperTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(MainWindowLayoutTest, ControlsStandWhereTheyWereDesigned) {
    // The window's DPI is the screen's, which the test sets. (Wine answers GetDpiForWindow
    // for another process's window with the asking process's own DPI, so it is not asked.)
    const UINT dpi = GetParam();
    ScreenDpi screen(dpi);
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);

    const RECT client = ClientRectOnScreen(window.hwnd);
    EXPECT_EQ(client.right - client.left, Px(kClientWidthTwips, dpi));
    EXPECT_EQ(client.bottom - client.top, Px(kClientHeightTwips, dpi));
    for (const auto& designed : kDesigned) {
        SCOPED_TRACE(designed.name);
        const RECT& r = Find(window, designed).screenRect;
        EXPECT_EQ(r.left - client.left, Px(designed.left, dpi));
        EXPECT_EQ(r.top - client.top, Px(designed.top, dpi));
        EXPECT_EQ(r.right - r.left, Px(designed.width, dpi));
        EXPECT_EQ(r.bottom - r.top, Px(designed.height, dpi));
    }
    CloseMainWindow(helper, window);
}

INSTANTIATE_TEST_SUITE_P(Dpi, MainWindowLayoutTest, ::testing::Values(96u, 144u),
                         [](const auto& info) { return std::to_string(info.param); });

class MainWindowTest : public HelperTest {};

TEST_F(MainWindowTest, CaptionsAndTabOrderFollowTheDesign) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    EXPECT_EQ(window.title, kMainWindowTitle);
    ExpectRightToLeftReading(window);

    // Exactly the designed controls, in tab order (creation order is the order Tab follows).
    std::vector<std::string> expected;
    for (const auto& designed : kDesigned) expected.push_back(designed.caption);
    std::vector<std::string> shown;
    for (const auto& c : window.controls) shown.push_back(c.text);
    EXPECT_THAT(shown, ElementsAreArray(expected));

    // Tab walks the buttons in the designed order and comes round again.
    const HWND install = Find(window, kDesigned[2]).hwnd;
    std::vector<HWND> walk{install};
    for (int i = 0; i < 4; ++i) walk.push_back(::GetNextDlgTabItem(window.hwnd, walk.back(), FALSE));
    const std::vector<HWND> designedWalk{install, Find(window, kDesigned[3]).hwnd,
                                         Find(window, kDesigned[4]).hwnd, Find(window, kDesigned[5]).hwnd,
                                         install};
    EXPECT_EQ(walk, designedWalk);
    CloseMainWindow(helper, window);
}

TEST_F(MainWindowTest, ColoursFollowTheDesignAndAScreenshotIsKept) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    const auto& info = Find(window, kDesigned[0]);
    const auto& status = Find(window, kDesigned[1]);
    const auto& install = Find(window, kDesigned[2]);
    const auto& remove = Find(window, kDesigned[3]);
    const auto& close = Find(window, kDesigned[4]);
    const auto& offline = Find(window, kDesigned[5]);

    // Poll until the window has been painted: the last control drawn is the last created.
    PollUntil(Deadline::In(milliseconds(5000)), [&] {
        return DominantColour(CaptureControl(offline)) == Rgb(255, 255, 255) &&
               DominantColour(CaptureControl(install)) == Rgb(7, 104, 232);
    });
    const RECT client = ClientRectOnScreen(window.hwnd);
    const RECT corner{client.left, client.top, client.left + 12, client.top + 12};
    const auto background = CaptureScreen(corner);
    ASSERT_TRUE(background.has_value());
    EXPECT_EQ(CountColour(*background, Rgb(255, 255, 255)), 12 * 12) << "window background";
    EXPECT_EQ(DominantColour(CaptureControl(status)), Rgb(254, 250, 248)) << "status background";
    EXPECT_GE(PixelsNear(CaptureControl(info), Rgb(16, 51, 97), 24), 10) << "information text";
    EXPECT_EQ(DominantColour(CaptureControl(install)), Rgb(7, 104, 232)) << "install button";
    EXPECT_EQ(DominantColour(CaptureControl(offline)), Rgb(255, 255, 255)) << "offline button";
    // The other two keep the system's button colour: ordinary push buttons, drawn by the
    // system (its theme decides the face; under Wine's it is white).
    for (const auto* plain : {&remove, &close}) {
        const LONG type = plain->style & BS_TYPEMASK;
        EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << plain->text;
    }

    // Hebrew reads from the right: the status text starts at the label's right edge.
    ExpectTextHugsRightEdge(status);

    EXPECT_TRUE(
        PollUntil(Deadline::In(kDefaultWait), [&] { return ::GetForegroundWindow() == window.hwnd; }));
    SaveScreenshot(window.hwnd, "main-window-active");
    {
        WindowInFront other;
        EXPECT_TRUE(
            PollUntil(Deadline::In(kDefaultWait), [&] { return ::GetForegroundWindow() != window.hwnd; }));
        SaveScreenshot(window.hwnd, "main-window-inactive");
    }
    CloseMainWindow(helper, window);
}

TEST_F(MainWindowTest, CloseButtonEndsTheProcess) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    PressControl(Find(window, kDesigned[4]).hwnd);
    WaitForExit(helper);
}

TEST_F(MainWindowTest, OfflineButtonDoesNotEndOrBreakTheWindow) {
    auto helper = StartHelper();
    const auto window = WaitForMainWindow(helper);
    PressControl(Find(window, kDesigned[5]).hwnd);
    // Whatever the button opens, the main window is still there and answers afterwards.
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(window.hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored));
    EXPECT_TRUE(IsRunning(helper));
    for (HWND w : VisibleTopLevelWindows(helper.id)) {
        if (w != window.hwnd) ::PostMessageW(w, WM_CLOSE, 0, 0);
    }
    CloseMainWindow(helper, window);
}

}  // namespace
}  // namespace kelto::e2e

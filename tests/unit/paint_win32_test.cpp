// Painting and DPI on the real window system: reading order on a mirrored DC, the colours a
// label is given in high contrast, and a DPI change that keeps the window where Windows put it.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include "support/fakes.h"
#include "ui/ethernet_guide.h"
#include "ui/ethernet_guide_win.h"
#include "ui/paint_win.h"

namespace kelto {
namespace {

// Under LAYOUT_RTL the flags that name right or left are reversed: DT_RTLREADING would read the
// caption left to right there. An unmirrored DC still needs it.
TEST(PaintOnWindows, ReadingOrderFlagFollowsTheDcsLayout) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ui::RightToLeftReading(dc), static_cast<UINT>(DT_RTLREADING));
    ::SetLayout(dc, LAYOUT_RTL);
    EXPECT_EQ(ui::RightToLeftReading(dc), 0u);
    ::DeleteDC(dc);
}

TEST(PaintOnWindows, InHighContrastALabelTakesTheThemesColours) {
    ui::ControlColours colours;
    colours.SetText(7, {16, 51, 97});
    colours.SetHighContrast(
        true,
        {{0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {255, 255, 255}, {26, 235, 255}, {0, 0, 0}, {63, 242, 63}});
    HWND label = ::CreateWindowExW(0, L"STATIC", L"x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(label, GWLP_ID, 7);
    HDC dc = ::GetDC(label);
    colours.OnCtlColorStatic(dc, label);
    EXPECT_EQ(::GetTextColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(::GetBkColor(dc), RGB(0, 0, 0));
    ::ReleaseDC(label, dc);
    ::DestroyWindow(label);
}

// Moved to a monitor of another DPI, the window takes the rectangle Windows suggests: the
// layout is not re-centred on the primary monitor first.
TEST(PaintOnWindows, ADpiChangeTakesTheSuggestedRectangle) {
    testing::FakeSystem f;
    testing::FakeMainWindow mainWindow;
    intake::Context context{f.system, f.request, mainWindow};
    ui::EthernetGuideWin guide(::GetModuleHandleW(nullptr), nullptr, nullptr, context);
    const HWND hwnd = reinterpret_cast<HWND>(guide.Handle());
    ASSERT_NE(hwnd, nullptr);
    RECT suggested{1500, 40, 1500 + 900, 40 + 700};
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    ::GetWindowRect(hwnd, &now);
    EXPECT_EQ(now.left, 1500);
    EXPECT_EQ(now.top, 40);
    EXPECT_EQ(now.right - now.left, 900);
    EXPECT_EQ(now.bottom - now.top, 700);
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

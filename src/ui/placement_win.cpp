#include "ui/placement_win.h"

#include "ui/paint_win.h"

namespace kelto::ui {

namespace {

ScreenRect FromRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

class Win32PlacedWindow : public PlacedWindow {
public:
    Win32PlacedWindow(HWND window, HWND owner, const std::function<void(UINT)>& layout)
        : window_(window), layout_(layout) {
        RECT around{};
        HMONITOR monitor = nullptr;
        if (owner && ::IsWindowVisible(owner) && ::GetWindowRect(owner, &around)) {
            monitor = ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
        } else {
            monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        }
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (!monitor || !::GetMonitorInfoW(monitor, &info))
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
        work_ = FromRect(info.rcWork);
        around_ = owner && ::IsWindowVisible(owner) ? FromRect(around) : work_;
    }

    ScreenRect Around() override { return around_; }
    ScreenRect WorkArea() override { return work_; }
    void MoveTo(int x, int y) override {
        ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    int Dpi() override { return static_cast<int>(WindowDpi(window_)); }
    void OuterSize(int clientWidth, int clientHeight, int dpi, int& width, int& height) override {
        const SIZE size = WindowSizeFor(window_, clientWidth, clientHeight, static_cast<UINT>(dpi));
        width = size.cx;
        height = size.cy;
    }
    void SetBounds(int x, int y, int width, int height) override {
        ::SetWindowPos(window_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void LayoutControls(int dpi) override { layout_(static_cast<UINT>(dpi)); }

private:
    HWND window_;
    const std::function<void(UINT)>& layout_;
    ScreenRect around_;
    ScreenRect work_;
};

}  // namespace

void PlaceWindowWin(HWND window, HWND owner, int clientWidthTwips, int clientHeightTwips,
                    const std::function<void(UINT dpi)>& layout) {
    Win32PlacedWindow placed(window, owner, layout);
    PlaceWindow(placed, clientWidthTwips, clientHeightTwips);
}

}  // namespace kelto::ui

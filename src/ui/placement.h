// Where a window of the helper goes when it is made, one rule for all of them. A window is
// made where Windows puts it, which may be another monitor, of another scale, than the one it
// belongs on. So it is first moved onto that monitor (its owner's, or the primary one), where
// Windows may send it that monitor's DPI (WM_DPICHANGED); then it is sized at the DPI it has
// now, centred on its owner or on the work area, kept inside the work area, and its controls
// laid out at that DPI.
#pragma once

namespace kelto::ui {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// The window as the rule places it; the Win32 views carry it out.
class PlacedWindow {
public:
    virtual ~PlacedWindow() = default;
    // What to centre on: the visible owner's rectangle, else the work area it goes to.
    virtual ScreenRect Around() = 0;
    // The work area of the monitor that holds the middle of Around().
    virtual ScreenRect WorkArea() = 0;
    // Moves the window's top-left corner there, keeping its size.
    virtual void MoveTo(int x, int y) = 0;
    // The DPI the window has now: the last one Windows sent it.
    virtual int Dpi() = 0;
    // The window's outer size for a client area of this size at this DPI.
    virtual void OuterSize(int clientWidth, int clientHeight, int dpi, int& width, int& height) = 0;
    virtual void SetBounds(int x, int y, int width, int height) = 0;
    virtual void LayoutControls(int dpi) = 0;
};

void PlaceWindow(PlacedWindow& window, int clientWidthTwips, int clientHeightTwips);

}  // namespace kelto::ui

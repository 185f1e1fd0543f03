// The colours of a window's controls, painted the same way in every window of the helper:
// labels on their own background, coloured owner-drawn buttons and the window's background.
#pragma once

#include <windows.h>

#include <map>

#include "platform/win32/win32_util.h"
#include "ui/colour.h"
#include "ui/paint.h"

namespace kelto::ui {

// The window's DPI (the screen's where the system cannot tell a window's own; 96 where
// neither can be had).
UINT WindowDpi(HWND window);

// The size of the window whose client area has this size at this DPI: its frame as Windows
// draws it at that DPI (AdjustWindowRectExForDpi, Windows 10 1607 and later; in a per-monitor
// aware thread AdjustWindowRectEx would give the frame at the system's DPI).
SIZE WindowSizeFor(HWND window, int clientWidth, int clientHeight, UINT dpi);

// The window's client width as it is now.
int ClientWidth(HWND window);

COLORREF ToColorRef(Rgb colour);
Rgb FromColorRef(COLORREF colour);

// Whether Windows' high-contrast mode is on (SPI_GETHIGHCONTRAST), and its system colours.
bool SystemHighContrast();
SystemColours CurrentSystemColours();

// DrawText's reading-order flag for right-to-left text on this DC. On a mirrored DC (the
// controls of a WS_EX_LAYOUTRTL window) text already reads right to left and the flags that
// name right or left are reversed, so DT_RTLREADING would read it left to right there.
UINT RightToLeftReading(HDC dc);

class ControlColours {
public:
    ControlColours() { RefreshSystemColours(); }
    // Reads the high-contrast state and the system colours again (at creation and on
    // WM_SYSCOLORCHANGE and WM_SETTINGCHANGE); the window then repaints itself.
    void RefreshSystemColours() { SetHighContrast(SystemHighContrast(), CurrentSystemColours()); }
    // The seam the refresh goes through, so that a test can bring the state in.
    void SetHighContrast(bool on, const SystemColours& system) {
        highContrast_ = on;
        system_ = system;
    }
    bool HighContrast() const { return highContrast_; }
    void SetWindowBackground(Rgb colour) { window_ = colour; }
    Rgb WindowBackground() const { return window_; }
    void SetText(int controlId, Rgb colour) { texts_[controlId] = colour; }
    void SetBackground(int controlId, Rgb colour) { backgrounds_[controlId] = colour; }

    // One brush per colour, kept for the window's lifetime.
    HBRUSH BrushFor(Rgb colour);
    // WM_ERASEBKGND: the window's own background.
    void EraseBackground(HWND window, HDC dc);
    // WM_CTLCOLORSTATIC: the label's text colour on its background (or the window's).
    LRESULT OnCtlColorStatic(HDC dc, HWND control);
    // WM_DRAWITEM of a coloured button: its face with light or dark text as the face asks,
    // pressed, focused and disabled. A disabled button loses its colour: the system's face
    // with greyed text, as every disabled button on the system looks.
    void DrawColouredButton(const DRAWITEMSTRUCT& item, HFONT font);

private:
    Rgb window_{255, 255, 255};
    bool highContrast_ = false;
    SystemColours system_{};
    std::map<int, Rgb> texts_;
    std::map<int, Rgb> backgrounds_;
    std::map<COLORREF, platform::win32::UniqueHbrush> brushes_;
};

}  // namespace kelto::ui

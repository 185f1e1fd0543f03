// The colours of a window's controls, painted the same way in every window of the helper:
// labels on their own background, coloured owner-drawn buttons and the window's background.
#pragma once

#include <windows.h>

#include <map>

#include "platform/win32/win32_util.h"
#include "ui/colour.h"

namespace kelto::ui {

// The window's DPI (the screen's where the system cannot tell a window's own).
UINT WindowDpi(HWND window);

COLORREF ToColorRef(Rgb colour);
Rgb FromColorRef(COLORREF colour);

class ControlColours {
public:
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
    std::map<int, Rgb> texts_;
    std::map<int, Rgb> backgrounds_;
    std::map<COLORREF, platform::win32::UniqueHbrush> brushes_;
};

}  // namespace kelto::ui

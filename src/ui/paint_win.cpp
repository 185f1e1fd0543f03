#include "ui/paint_win.h"

namespace kelto::ui {

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) return getDpiForWindow(window);
    const platform::win32::ScopedGetDC screen(nullptr);
    return screen ? static_cast<UINT>(::GetDeviceCaps(screen.get(), LOGPIXELSY)) : 96u;
}

COLORREF ToColorRef(Rgb colour) { return RGB(colour.r, colour.g, colour.b); }

Rgb FromColorRef(COLORREF colour) {
    return {static_cast<std::uint8_t>(GetRValue(colour)), static_cast<std::uint8_t>(GetGValue(colour)),
            static_cast<std::uint8_t>(GetBValue(colour))};
}

HBRUSH ControlColours::BrushFor(Rgb colour) {
    const COLORREF key = ToColorRef(colour);
    auto& brush = brushes_[key];
    if (!brush) brush.reset(::CreateSolidBrush(key));
    return brush.get();
}

void ControlColours::EraseBackground(HWND window, HDC dc) {
    RECT rect;
    ::GetClientRect(window, &rect);
    ::FillRect(dc, &rect, BrushFor(window_));
}

LRESULT ControlColours::OnCtlColorStatic(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    const auto text = texts_.find(id);
    ::SetTextColor(dc, text != texts_.end() ? ToColorRef(text->second) : ::GetSysColor(COLOR_WINDOWTEXT));
    const auto back = backgrounds_.find(id);
    const Rgb background = back != backgrounds_.end() ? back->second : window_;
    ::SetBkColor(dc, ToColorRef(background));
    return reinterpret_cast<LRESULT>(BrushFor(background));
}

void ControlColours::DrawColouredButton(const DRAWITEMSTRUCT& item, HFONT font) {
    const int id = static_cast<int>(item.CtlID);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const auto designed = backgrounds_.find(id);
    const Rgb face = disabled                         ? FromColorRef(::GetSysColor(COLOR_BTNFACE))
                     : designed != backgrounds_.end() ? designed->second
                                                      : Rgb{240, 240, 240};
    // Light text on a dark face, dark text on a light one.
    const bool dark = (face.r * 299 + face.g * 587 + face.b * 114) / 1000 < 140;
    const COLORREF text = disabled ? ::GetSysColor(COLOR_GRAYTEXT)
                          : dark   ? RGB(255, 255, 255)
                                   : RGB(16, 51, 97);
    RECT rect = item.rcItem;
    ::FillRect(item.hDC, &rect, BrushFor(face));
    ::FrameRect(item.hDC, &rect, BrushFor(dark ? Rgb{4, 72, 160} : Rgb{160, 170, 185}));
    if (item.itemState & ODS_SELECTED) ::OffsetRect(&rect, 1, 1);
    wchar_t caption[256];
    ::GetWindowTextW(item.hwndItem, caption, 256);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, text);
    const platform::win32::ScopedSelectObject selectFont(item.hDC, font);
    ::DrawTextW(item.hDC, caption, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_RTLREADING);
    if ((item.itemState & ODS_FOCUS) && !disabled) {
        RECT focus = item.rcItem;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(item.hDC, &focus);
    }
}

}  // namespace kelto::ui

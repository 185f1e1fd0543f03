#include "ui/paint_win.h"

namespace kelto::ui {

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    const platform::win32::ScopedGetDC screen(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

SIZE WindowSizeFor(HWND window, int clientWidth, int clientHeight, UINT dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT frame{0, 0, clientWidth, clientHeight};
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE));
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, dpi)) {
        frame = {0, 0, clientWidth, clientHeight};
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

int ClientWidth(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return client.right - client.left;
}

COLORREF ToColorRef(Rgb colour) { return RGB(colour.r, colour.g, colour.b); }

Rgb FromColorRef(COLORREF colour) {
    return {static_cast<std::uint8_t>(GetRValue(colour)), static_cast<std::uint8_t>(GetGValue(colour)),
            static_cast<std::uint8_t>(GetBValue(colour))};
}

bool SystemHighContrast() {
    HIGHCONTRASTW state{};
    state.cbSize = sizeof state;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof state, &state, 0) &&
           (state.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

SystemColours CurrentSystemColours() {
    const auto sys = [](int index) { return FromColorRef(::GetSysColor(index)); };
    return {sys(COLOR_WINDOW),    sys(COLOR_WINDOWTEXT),    sys(COLOR_BTNFACE), sys(COLOR_BTNTEXT),
            sys(COLOR_HIGHLIGHT), sys(COLOR_HIGHLIGHTTEXT), sys(COLOR_GRAYTEXT)};
}

UINT RightToLeftReading(HDC dc) { return (::GetLayout(dc) & LAYOUT_RTL) ? 0 : DT_RTLREADING; }

HBRUSH ControlColours::BrushFor(Rgb colour) {
    const COLORREF key = ToColorRef(colour);
    auto& brush = brushes_[key];
    if (!brush) brush.reset(::CreateSolidBrush(key));
    return brush.get();
}

void ControlColours::EraseBackground(HWND window, HDC dc) {
    RECT rect;
    ::GetClientRect(window, &rect);
    ::FillRect(dc, &rect, BrushFor(ui::WindowBackground(window_, highContrast_, system_)));
}

LRESULT ControlColours::OnCtlColorStatic(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    const auto text = texts_.find(id);
    const auto back = backgrounds_.find(id);
    const LabelPaint paint =
        LabelColours(text != texts_.end() ? std::optional(text->second) : std::nullopt,
                     back != backgrounds_.end() ? std::optional(back->second) : std::nullopt, window_,
                     highContrast_, system_);
    ::SetTextColor(dc, ToColorRef(paint.text));
    ::SetBkColor(dc, ToColorRef(paint.background));
    return reinterpret_cast<LRESULT>(BrushFor(paint.background));
}

void ControlColours::DrawColouredButton(const DRAWITEMSTRUCT& item, HFONT font) {
    const int id = static_cast<int>(item.CtlID);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const auto designed = backgrounds_.find(id);
    const ButtonPaint paint =
        ColouredButtonColours(designed != backgrounds_.end() ? std::optional(designed->second) : std::nullopt,
                              disabled, highContrast_, system_);
    RECT rect = item.rcItem;
    ::FillRect(item.hDC, &rect, BrushFor(paint.face));
    ::FrameRect(item.hDC, &rect, BrushFor(paint.frame));
    if (item.itemState & ODS_SELECTED) ::OffsetRect(&rect, 1, 1);
    wchar_t caption[256];
    ::GetWindowTextW(item.hwndItem, caption, 256);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, ToColorRef(paint.text));
    const platform::win32::ScopedSelectObject selectFont(item.hDC, font);
    ::DrawTextW(item.hDC, caption, -1, &rect,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | RightToLeftReading(item.hDC));
    if ((item.itemState & ODS_FOCUS) && !disabled) {
        RECT focus = item.rcItem;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(item.hDC, &focus);
    }
}

}  // namespace kelto::ui

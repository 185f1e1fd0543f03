#include "ui/form_win.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/session_end.h"
#include "ui/input_win.h"
#include "ui/layout.h"
#include "ui/placement_win.h"

namespace kelto::ui {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

// Labels read from the right: in a mirrored window the leading edge of SS_LEFT is the right.
// The controls take the right-to-left reading order from the mirrored window they sit in;
// WS_EX_RTLREADING there would reverse it back to left-to-right.
ControlClass ClassFor(const ControlSpec& spec) {
    const bool centred = spec.align == TextAlign::Centre;
    switch (spec.kind) {
        case ControlKind::Label: {
            DWORD style = (centred ? SS_CENTER : SS_LEFT) | SS_NOPREFIX;
            // A label with a background of its own is a notice bar: one line, centred
            // vertically in its bar.
            if (spec.hasBackground) style |= SS_CENTERIMAGE;
            return {WC_STATICW, style, 0};
        }
        case ControlKind::Button:
            return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::ColouredButton:
            // A themed push button ignores its background colour: these are drawn by hand.
            return {WC_BUTTONW, BS_OWNERDRAW | WS_TABSTOP, 0};
        case ControlKind::TextBox:
            return {WC_EDITW,
                    static_cast<DWORD>((centred ? ES_CENTER : ES_RIGHT) | ES_AUTOHSCROLL | WS_TABSTOP),
                    WS_EX_CLIENTEDGE};
        case ControlKind::ListBox:
            return {WC_LISTBOXW, LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE};
        case ControlKind::Frame:
            return {WC_BUTTONW, BS_GROUPBOX, 0};
        case ControlKind::Picture:
            return {WC_STATICW, SS_OWNERDRAW, 0};
    }
    return {WC_STATICW, SS_LEFT, 0};
}

}  // namespace

FormWin::FormWin(HINSTANCE instance, const FormDesign& design, HWND owner, bool appWindow)
    : instance_(instance), design_(design), owner_(owner) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FormWin::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = design.className;
    ::RegisterClassExW(&wc);  // fails harmlessly when the class exists from an earlier window

    // No WS_CLIPCHILDREN: the frames are siblings drawn over by the controls inside them,
    // and the window's own background must show through between those controls.
    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DWORD exStyle = WS_EX_LAYOUTRTL | WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
    if (appWindow) exStyle |= WS_EX_APPWINDOW;
    window_ = ::CreateWindowExW(exStyle, design.className, Widen(design.caption).c_str(), kStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner, nullptr, instance, this);
    // Created in tab order, which is also their Z order and so the order Tab follows.
    for (const auto& spec : design.layout) CreateControl(spec);
    ApplyLayout();
}

FormWin::~FormWin() { Close(); }

HWND FormWin::Control(int id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

void FormWin::CreateControl(const ControlSpec& spec) {
    const ControlClass cls = ClassFor(spec);
    HWND control = ::CreateWindowExW(
        cls.exStyle, cls.name, Widen(spec.caption).c_str(), WS_CHILD | WS_VISIBLE | cls.style, 0, 0, 10, 10,
        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance_, nullptr);
    controls_[spec.id] = control;
    specs_[spec.id] = &spec;
    if (spec.hasBackground) colours_.SetBackground(spec.id, spec.background);
    if (spec.hasTextColour) colours_.SetText(spec.id, spec.textColour);
}

HFONT FormWin::FontFor(int centiPoints, bool bold) {
    auto& font = fonts_[{centiPoints, bold}];
    if (!font) {
        LOGFONTW f{};
        f.lfHeight = -::MulDiv(centiPoints, static_cast<int>(dpi_), 7200);
        f.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        f.lfCharSet = HEBREW_CHARSET;
        f.lfQuality = CLEARTYPE_QUALITY;
        ::lstrcpynW(f.lfFaceName, Widen(design_.fontFace).c_str(), LF_FACESIZE);
        font.reset(::CreateFontIndirectW(&f));
    }
    return font.get();
}

// Centred on a visible owner, otherwise on the primary monitor's work area, at the DPI of the
// monitor it is put on.
void FormWin::ApplyLayout() {
    PlaceWindowWin(window_, owner_, design_.clientWidthTwips, design_.clientHeightTwips,
                   [this](UINT dpi) { LayoutControls(dpi); });
}

// The controls at this DPI, mirrored against the client area the window has: the window
// itself is not moved.
void FormWin::LayoutControls(UINT dpi) {
    dpi_ = dpi;
    fonts_.clear();
    const int d = static_cast<int>(dpi);
    const int clientWidth = ClientWidth(window_);
    for (const auto& spec : design_.layout) {
        const TwipsRect r = WindowRectOf(design_.layout, spec);
        const int w = TwipsToPixels(r.width, d);
        // Mirrored once, frame offset included: the window measures x from its right edge.
        const int left = MirroredX(TwipsToPixels(r.left, d), w, clientWidth);
        HWND control = controls_[spec.id];
        ::SetWindowPos(control, nullptr, left, TwipsToPixels(r.top, d), w, TwipsToPixels(r.height, d),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        const int size = spec.fontCentiPoints != 0 ? spec.fontCentiPoints : design_.fontCentiPoints;
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(size, spec.bold)), TRUE);
    }
}

void FormWin::SetWindowBackground(Rgb colour) {
    colours_.SetWindowBackground(colour);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void FormWin::SetControlText(int id, const std::string& text) {
    HWND control = Control(id);
    ::SetWindowTextW(control, Widen(text).c_str());
    // An owner-drawn button repaints its caption only when told to.
    const auto spec = specs_.find(id);
    if (spec != specs_.end() && spec->second->kind == ControlKind::ColouredButton)
        ::InvalidateRect(control, nullptr, TRUE);
}

std::string FormWin::ControlText(int id) const {
    HWND control = Control(id);
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), length + 1)));
    return Narrow(text);
}

void FormWin::SetControlTextColour(int id, Rgb colour) {
    colours_.SetText(id, colour);
    ::InvalidateRect(Control(id), nullptr, TRUE);
}

void FormWin::SetControlBackground(int id, Rgb colour) {
    colours_.SetBackground(id, colour);
    ::InvalidateRect(Control(id), nullptr, TRUE);
}

void FormWin::EnableControl(int id, bool enabled) {
    HWND control = Control(id);
    if (!enabled && ::GetFocus() == control) {
        // A disabled control cannot keep the focus: give it back when it is enabled again.
        focusBeforeDisable_ = control;
    }
    ::EnableWindow(control, enabled ? TRUE : FALSE);
    if (enabled && focusBeforeDisable_ == control) {
        focusBeforeDisable_ = nullptr;
        if (::GetFocus() == nullptr && ::GetActiveWindow() == window_) ::SetFocus(control);
    }
    ::InvalidateRect(control, nullptr, TRUE);
}

void FormWin::PumpMessages() {
    // Queued clicks and keys are dropped, not run: a button pressed inside a check would
    // open or close windows under the check that is still running.
    DropQueuedInput();
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (closed_ || !::IsDialogMessageW(window_, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (!closed_) ::UpdateWindow(window_);
}

void FormWin::Hide() { ::ShowWindow(window_, SW_HIDE); }

void FormWin::RunModal() {
    if (closed_) return;
    if (owner_) ::EnableWindow(owner_, FALSE);
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
    ::SetForegroundWindow(window_);
    if (HWND first = focus_.Current(window_)) ::SetFocus(first);
    MSG message;
    while (!closed_) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // Someone asked the process to end: leave this loop and pass the request on.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0) break;
        if (!::IsDialogMessageW(window_, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    Close();
}

void FormWin::Close() {
    if (closed_) return;
    closed_ = true;
    // The owner first: destroying a modal window while its owner is still disabled hands the
    // activation to another application.
    if (owner_) ::EnableWindow(owner_, TRUE);
    if (window_) {
        HWND window = window_;
        window_ = nullptr;
        ::DestroyWindow(window);
    }
}

LRESULT FormWin::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            colours_.EraseBackground(window_, reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_CTLCOLORSTATIC: {
            // A disabled or read-only text box keeps the system's disabled look.
            const auto spec = specs_.find(::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            if (spec != specs_.end() && spec->second->kind == ControlKind::TextBox) break;
            return colours_.OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlType == ODT_BUTTON) {
                colours_.DrawColouredButton(
                    item, reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
            } else if (item.CtlType == ODT_STATIC && onPicture_) {
                onPicture_(item);
            }
            return TRUE;
        }
        case WM_COMMAND: {
            // Nothing starts, and the window does not close, while a long step runs.
            if (IgnoresCommands()) return 0;
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDCANCEL && lParam == 0) {
                // Escape acts as the close box.
                Close();
            } else if (id == IDOK && lParam == 0) {
                // Enter presses the focused button, owner-drawn ones included.
                HWND button = FocusedButton(window_);
                if (button && onCommand_) onCommand_(::GetDlgCtrlID(button), BN_CLICKED);
            } else if (onCommand_ && (code == BN_CLICKED || code == EN_CHANGE)) {
                onCommand_(id, code);
            }
            return 0;
        }
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            // High contrast switched on or off, or its colours changed.
            colours_.RefreshSystemColours();
            ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            break;
        case WM_DPICHANGED: {
            // Where Windows suggests, on the monitor the window moved to; never re-centred.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            LayoutControls(HIWORD(wParam));
            return 0;
        }
        case WM_ACTIVATE:
            // Activated while minimised: the focus waits until the window is restored.
            focus_.OnActivate(window_, LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0);
            return 0;
        case WM_SETFOCUS:
            focus_.OnSetFocus(window_);
            return 0;
        case WM_CLOSE:
            // The close box, Alt+F4 or another program: not while a long step runs (the status
            // text says what runs; a child's own console ends that step).
            if (!IgnoresCommands()) Close();
            return 0;
        case WM_QUERYENDSESSION:
            // The helper never holds up the end of the session (see the main window).
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) platform::RunSessionEndDuties();
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK FormWin::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<FormWin*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->window_ != window) return ::DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        // Nothing may escape into the system's dispatcher.
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kelto::ui

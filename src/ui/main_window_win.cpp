#include "ui/main_window_win.h"

#include <commctrl.h>

#include <map>

#include "intake/context.h"
#include "platform/session_end.h"
#include "platform/win32/win32_util.h"
#include "ui/ethernet_guide_win.h"
#include "ui/input_win.h"
#include "ui/layout.h"
#include "ui/paint_win.h"
#include "ui/placement_win.h"

namespace kelto::ui {

using platform::win32::Widen;

namespace {
constexpr wchar_t kClassName[] = L"KeltoClientHelperMain";
// The timer that readies the elevation prompt's owner and the shell while a box is up.
constexpr UINT_PTR kPrepareTimer = 1;

// Version 6 of the common controls, as the manifest asks for: the window's own controls.
void LoadCommonControls() {
    static const auto initCommonControlsEx = KELTO_SYSTEM_FUNCTION(kComCtl32, InitCommonControlsEx);
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    if (initCommonControlsEx) initCommonControlsEx(&controls);
}
}  // namespace

MainWindowWin::MainWindowWin(HINSTANCE instance) : instance_(instance) {
    // The designed backgrounds, before any road changes one.
    for (const auto& spec : kMainLayout) {
        if (spec.hasBackground) colours_.SetBackground(spec.id, spec.background);
    }
}

// The window is made when a road first needs it, as the owner of a box or to be shown: a
// start whose first box has no owner puts it on screen without waiting for the window. Made
// once: after Unload it stays gone.
bool MainWindowWin::EnsureWindow() {
    if (windowMade_) return window_ != nullptr;
    windowMade_ = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindowWin::WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(1));
    wc.hIconSm =
        static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;  // painted in WM_ERASEBKGND with the window colour
    wc.lpszClassName = kClassName;
    // A second window in the same process finds the class already there: that is ours too.
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        createError_ = ::GetLastError();
        return false;
    }

    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    window_ =
        ::CreateWindowExW(WS_EX_LAYOUTRTL | WS_EX_CONTROLPARENT, kClassName, Widen(kMainCaption).c_str(),
                          kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance_, this);
    if (!window_) {
        createError_ = ::GetLastError();
        return false;
    }
    return true;
}

MainWindowWin::~MainWindowWin() {
    if (window_) ::DestroyWindow(window_);
}

// The controls and the font are made when a road first shows the window or writes into it:
// the other roads use the window only as the owner of their boxes. Controls are created in tab
// order, which is also their Z order. A window missing one of them is no window to show: it
// is closed, and the process ends with the reason as its exit code.
bool MainWindowWin::EnsureControls() {
    if (!EnsureWindow()) return false;
    if (const DWORD error = MakeControls()) {
        createError_ = error;
        Unload();
        return false;
    }
    return true;
}

// The controls once, on the window made already; 0, or the Windows error number with none of
// them left.
DWORD MainWindowWin::MakeControls() {
    if (!controls_.empty()) return 0;
    LoadCommonControls();
    for (const auto& spec : kMainLayout) {
        if (!CreateControl(spec)) {
            const DWORD error = ::GetLastError();
            for (const auto& [id, control] : controls_) ::DestroyWindow(control);
            controls_.clear();
            return error ? error : ERROR_CANNOT_MAKE;
        }
    }
    ApplyLayout();
    return 0;
}

HWND MainWindowWin::Control(int controlId) const {
    const auto control = controls_.find(controlId);
    return control == controls_.end() ? nullptr : control->second;
}

bool MainWindowWin::CreateControl(const ControlSpec& spec) {
    const wchar_t* cls = WC_STATICW;
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (spec.kind) {
        case ControlKind::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case ControlKind::Button:
            cls = WC_BUTTONW;
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::ColouredButton:
            // A themed push button ignores its background colour: these are drawn by hand.
            cls = WC_BUTTONW;
            style |= BS_OWNERDRAW | WS_TABSTOP;
            break;
        default:
            break;
    }
    // Right-to-left reading comes with the mirrored window; WS_EX_RTLREADING would reverse it.
    HWND control =
        ::CreateWindowExW(0, cls, Widen(spec.caption).c_str(), style, 0, 0, 10, 10, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance_, nullptr);
    if (!control) return false;
    controls_[spec.id] = control;
    return true;
}

// On the primary monitor's work area, at that monitor's DPI.
void MainWindowWin::ApplyLayout() {
    PlaceWindowWin(window_, nullptr, kMainClientWidthTwips, kMainClientHeightTwips, [this](UINT dpi) {
        ApplyFont(dpi);
        LayoutControls();
    });
}

void MainWindowWin::ApplyFont(UINT dpi) {
    dpi_ = dpi;
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(kMainFontCentiPoints, static_cast<int>(dpi), 7200);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = HEBREW_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    ::lstrcpynW(font.lfFaceName, Widen(kMainFontFace).c_str(), LF_FACESIZE);
    font_.reset(::CreateFontIndirectW(&font));
}

// The controls at the window's DPI, mirrored against the client area the window has: the
// window itself is not moved.
void MainWindowWin::LayoutControls() {
    const UINT dpi = dpi_;
    const int clientWidth = ClientWidth(window_);
    for (const auto& spec : kMainLayout) {
        HWND control = Control(spec.id);
        if (!control) continue;
        const int w = TwipsToPixels(spec.width, static_cast<int>(dpi));
        const int x = MirroredX(TwipsToPixels(spec.left, static_cast<int>(dpi)), w, clientWidth);
        ::SetWindowPos(control, nullptr, x, TwipsToPixels(spec.top, static_cast<int>(dpi)), w,
                       TwipsToPixels(spec.height, static_cast<int>(dpi)), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
}

platform::WindowHandle MainWindowWin::Owner() {
    EnsureWindow();
    return reinterpret_cast<platform::WindowHandle>(window_);
}

platform::WindowHandle MainWindowWin::ShellOwner() {
    return reinterpret_cast<platform::WindowHandle>(window_ && ::IsWindowVisible(window_) ? window_ : nullptr);
}

void MainWindowWin::Show() {
    if (!EnsureControls()) return;
    // The keyboard starts on the first control of the tab order that can take it, so that
    // Enter and Space work before the customer presses Tab.
    HWND focus = focus_.Current(window_);
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
    ::SetForegroundWindow(window_);
    if (focus) ::SetFocus(focus);
}

void MainWindowWin::Hide() {
    if (window_) ::ShowWindow(window_, SW_HIDE);
}

void MainWindowWin::SetWindowBackground(Rgb colour) {
    colours_.SetWindowBackground(colour);
    if (window_) ::InvalidateRect(window_, nullptr, TRUE);
}

void MainWindowWin::SetControlText(int controlId, const std::string& text) {
    if (!EnsureControls()) return;
    if (HWND control = Control(controlId)) ::SetWindowTextW(control, Widen(text).c_str());
}

// Colours are kept by control id: a control made later is painted with them.
void MainWindowWin::SetControlTextColour(int controlId, Rgb colour) {
    colours_.SetText(controlId, colour);
    if (HWND control = Control(controlId)) ::InvalidateRect(control, nullptr, TRUE);
}

void MainWindowWin::SetControlBackground(int controlId, Rgb colour) {
    colours_.SetBackground(controlId, colour);
    if (HWND control = Control(controlId)) ::InvalidateRect(control, nullptr, TRUE);
}

// Only the request roads of the elevated instance show status texts, over a long step that
// holds the thread: from the first one on the window is a status display and takes no input.
// Disabled, it is passed over by the mouse and the keyboard (also while a box it owns is up).
void MainWindowWin::ShowStatus(const std::string& text) {
    if (!EnsureControls()) return;
    ::EnableWindow(window_, FALSE);
    SetControlText(kLblStatus, text);
    ::RedrawWindow(Control(kLblStatus), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    PumpMessages();
}

// The elevation prompt's owner. The process may still take the foreground here: it received
// the customer's last input (the answer to the box before). Hidden, the window is shown as a
// status display: its buttons take no input while the shell holds the thread, yet the window
// itself stays enabled, since only an enabled window can be the active foreground window.
platform::WindowHandle MainWindowWin::BeginSystemPrompt(const std::string& text) {
    if (window_) ::KillTimer(window_, kPrepareTimer);
    if (!EnsureControls()) return reinterpret_cast<platform::WindowHandle>(window_);
    if (!::IsWindowVisible(window_)) {
        shownForPrompt_ = true;
        for (const auto& [id, control] : controls_)
            if (id != kLblStatus) ::EnableWindow(control, FALSE);
        SetControlText(kLblStatus, text);
        ::ShowWindow(window_, SW_SHOWNORMAL);
        ::UpdateWindow(window_);
    }
    ::SetForegroundWindow(window_);
    PumpMessages();
    return reinterpret_cast<platform::WindowHandle>(window_);
}

// A timer's message comes only when the thread has nothing else to do: the box that follows
// this call is on screen and painted first, and what is readied here is done while the
// customer reads it (the box's own message loop dispatches the timer).
void MainWindowWin::PrepareSystemPrompt() {
    if (EnsureWindow()) ::SetTimer(window_, kPrepareTimer, USER_TIMER_MINIMUM, nullptr);
}

void MainWindowWin::OnPrepareTimer() {
    ::KillTimer(window_, kPrepareTimer);
    // Made hidden: the controls are shown with the window only when the prompt comes. Made
    // in vain, the prompt tries again and has the say: a box is up, and the window that owns
    // the boxes still to come stays.
    if (window_) MakeControls();
    if (context_) context_->system.shell.Prepare();
}

void MainWindowWin::EndSystemPrompt() {
    if (!shownForPrompt_ || !window_) return;
    shownForPrompt_ = false;
    ::ShowWindow(window_, SW_HIDE);
    for (const auto& [id, control] : controls_) ::EnableWindow(control, TRUE);
}

// Paints what is pending and drops queued keyboard and mouse input. Dispatched, a click
// queued while the thread was busy would run its button inside the request: register the
// handler in the elevated account's hive, open offline support, or destroy the window that
// owns the boxes still to come.
void MainWindowWin::PumpMessages() {
    DropQueuedInput();
    ::RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void MainWindowWin::Unload() {
    if (window_) {
        HWND window = window_;
        window_ = nullptr;
        ::DestroyWindow(window);
    }
}

void MainWindowWin::ShowEthernetGuide(bool owned) {
    if (!context_ || !EnsureWindow()) return;
    EthernetGuideWin guide(instance_, owned ? window_ : nullptr, window_, *context_);
    guide.Run();
}

int MainWindowWin::RunMessageLoop() {
    // A window that could not be made or was closed already: nothing will end the loop.
    if (!window_) return static_cast<int>(createError_);
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);  // WM_QUIT: its code ends the process
        if (got == -1) return static_cast<int>(::GetLastError());
        if (window_ && ::IsDialogMessageW(window_, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Enter: the dialog manager asks the window for its default button, and an owner-drawn
// button never says it is one, so Enter arrives as IDOK from no control. It presses the
// button that has the keyboard focus, as Enter does in a dialog.
void MainWindowWin::OnEnter() {
    if (HWND button = FocusedButton(window_)) OnCommand(::GetDlgCtrlID(button));
}

void MainWindowWin::OnCommand(int id) {
    if (!context_) return;
    switch (id) {
        case kCmdInstall:
            OnInstallClicked(*context_, *this);
            break;
        case kCmdRemove:
            OnRemoveClicked(*context_, *this);
            break;
        case kCmdClose:
            OnCloseClicked(*this);
            break;
        case kCmdOffline:
            OnOfflineClicked(*context_, *this);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK MainWindowWin::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindowWin*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    try {
        switch (message) {
            case WM_ERASEBKGND:
                self->colours_.EraseBackground(window, reinterpret_cast<HDC>(wParam));
                return 1;
            case WM_CTLCOLORSTATIC:
                return self->colours_.OnCtlColorStatic(reinterpret_cast<HDC>(wParam),
                                                       reinterpret_cast<HWND>(lParam));
            case WM_DRAWITEM:
                self->colours_.DrawColouredButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam),
                                                  self->font_.get());
                return TRUE;
            case WM_COMMAND:
                // Nothing starts while a long step runs.
                if (IgnoresCommands()) return 0;
                if (LOWORD(wParam) == IDOK && lParam == 0) {
                    self->OnEnter();
                } else if (HIWORD(wParam) == BN_CLICKED) {
                    self->OnCommand(LOWORD(wParam));
                }
                return 0;
            case WM_ACTIVATE:
                // Activated while minimised: the focus waits until the window is restored.
                self->focus_.OnActivate(window, LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0);
                return 0;
            case WM_SETFOCUS:
                self->focus_.OnSetFocus(window);
                return 0;
            case WM_SYSCOLORCHANGE:
            case WM_SETTINGCHANGE:
                // High contrast switched on or off, or its colours changed.
                self->colours_.RefreshSystemColours();
                ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
                break;
            case WM_DPICHANGED: {
                // Where Windows suggests, on the monitor the window moved to; never re-centred.
                const auto* suggested = reinterpret_cast<const RECT*>(lParam);
                ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                               suggested->right - suggested->left, suggested->bottom - suggested->top,
                               SWP_NOZORDER | SWP_NOACTIVATE);
                self->ApplyFont(HIWORD(wParam));
                self->LayoutControls();
                return 0;
            }
            case WM_TIMER:
                if (wParam != kPrepareTimer) break;
                self->OnPrepareTimer();
                return 0;
            case WM_CLOSE:
                // The close box, Alt+F4 or another program: not while a long step runs (the
                // status text says what runs; a child's own console ends that step).
                if (!IgnoresCommands()) self->Unload();
                return 0;
            case WM_QUERYENDSESSION:
                // The helper never holds up the end of the session, also in the middle of a
                // step: an answer held back would put it on Windows' list of programs that keep
                // the PC from shutting down, and a step cut short is asked for again.
                return TRUE;
            case WM_ENDSESSION:
                // The session ends: what must not be left half done is finished now, since the
                // process may be ended any time after this answer.
                if (wParam) platform::RunSessionEndDuties();
                return 0;
            case WM_DESTROY:
                // 0, or why the controls could not be made.
                ::PostQuitMessage(static_cast<int>(self->createError_));
                return 0;
            default:
                break;
        }
    } catch (...) {
        // Nothing may escape into the system's dispatcher.
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kelto::ui

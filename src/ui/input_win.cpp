#include "ui/input_win.h"

#include <commctrl.h>

namespace kelto::ui {

HWND FocusedButton(HWND window) {
    HWND focus = ::GetFocus();
    if (!focus || ::GetParent(focus) != window || !::IsWindowEnabled(focus)) return nullptr;
    wchar_t className[16] = {};
    ::GetClassNameW(focus, className, 16);
    return ::lstrcmpiW(className, WC_BUTTONW) == 0 ? focus : nullptr;
}

HWND FocusKeeper::Current(HWND window) {
    if (!focus_ || !::IsWindow(focus_) || ::GetParent(focus_) != window || !::IsWindowEnabled(focus_))
        focus_ = ::GetNextDlgTabItem(window, nullptr, FALSE);
    return focus_;
}

void FocusKeeper::OnActivate(HWND window, bool active) {
    if (!active) {
        HWND focus = ::GetFocus();
        if (focus && ::GetParent(focus) == window) focus_ = focus;
        return;
    }
    if (HWND control = Current(window)) ::SetFocus(control);
}

void FocusKeeper::OnSetFocus(HWND window) {
    if (HWND control = Current(window)) ::SetFocus(control);
}

}  // namespace kelto::ui

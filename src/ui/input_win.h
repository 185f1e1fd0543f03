// Keyboard and mouse input as the helper's three windows treat it alike.
#pragma once

#include <windows.h>

#include "platform/alive_wait.h"
#include "platform/win32/alive_wait_win.h"

namespace kelto::ui {

// Drops the keyboard and mouse input queued for this thread, the caption and close box
// included, and posted button presses. A window that lets its messages run in the middle of a
// request calls it first: dispatched, a click queued while the thread was busy would run its
// button inside the request.
using platform::win32::DropQueuedInput;

// True while the thread waits for a long step (a child, the internet check, Windows): the
// windows then ignore commands and requests to close, whatever sent them.
inline bool IgnoresCommands() { return platform::IsThreadBusy(); }

// The enabled button child of `window` that has the focus, or null. Enter on a focused
// owner-drawn button reaches the window as IDOK from no control (the dialog manager treats
// only push buttons as buttons); the window presses this one instead.
HWND FocusedButton(HWND window);

// The keyboard focus of a window of controls, kept as a dialog keeps it: the focused control
// is remembered when the window loses activation (to a message box, to another program) and
// given back when it returns; otherwise the window itself would take the focus, Enter and
// Space would do nothing and Tab would start over.
class FocusKeeper {
public:
    // The control that has or gets back the focus; the first tab stop when none is kept yet
    // or the kept one can no longer take it.
    HWND Current(HWND window);
    // WM_ACTIVATE; `active` is false for a deactivation and while minimised.
    void OnActivate(HWND window, bool active);
    // WM_SETFOCUS of the window itself: the focus goes on to the kept control.
    void OnSetFocus(HWND window);

private:
    HWND focus_ = nullptr;
};

}  // namespace kelto::ui

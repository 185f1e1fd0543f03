// Keyboard and mouse input as the helper's three windows treat it alike.
#pragma once

#include <windows.h>

namespace kelto::ui {

// Drops the keyboard and mouse input queued for this thread, the caption and close box
// included. A window that lets its messages run in the middle of a request calls it first:
// dispatched, a click queued while the thread was busy would run its button inside the
// request.
void DropQueuedInput();

// The enabled button child of `window` that has the focus, or null. Enter on a focused
// owner-drawn button reaches the window as IDOK from no control (the dialog manager treats
// only push buttons as buttons); the window presses this one instead.
HWND FocusedButton(HWND window);

}  // namespace kelto::ui

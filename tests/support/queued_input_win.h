// Input as the window system queues it while a program's thread is busy, for the tests that
// run against real windows: posted, so that it waits in the thread's queue.
#pragma once

#ifdef _WIN32

#include <windows.h>

namespace kelto::testing {

// A click on a control: button down and up inside it.
inline void QueueClick(HWND control) {
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ::PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

// A key pressed and released; with bit 29 of `flags` set it is a system key (Alt held).
inline void QueueKey(HWND window, UINT key, LPARAM flags) {
    ::PostMessageW(window, flags & (1 << 29) ? WM_SYSKEYDOWN : WM_KEYDOWN, key, flags | 1);
    ::PostMessageW(window, flags & (1 << 29) ? WM_SYSKEYUP : WM_KEYUP, key, flags | 1 | (3u << 30));
}

}  // namespace kelto::testing

#endif  // _WIN32

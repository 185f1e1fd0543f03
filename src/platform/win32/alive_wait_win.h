// Waits of the window thread (and of any other) that keep the thread's windows alive: the
// Windows side of platform/alive_wait.h.
#pragma once

#include <windows.h>

#include <functional>
#include <span>

#include "platform/alive_wait.h"

namespace kelto::platform::win32 {

// Waits until one of the handles is signalled or `timeoutMs` pass, running the calling
// thread's messages meanwhile; its top-level windows take no input while it waits.
WaitEnd WaitForHandlesAlive(std::span<const HANDLE> handles, DWORD timeoutMs);

// Runs `work` on a thread of its own and waits for it as WaitForHandlesAlive does. True when
// the work ran to its end; false when the thread could not be started (`error` set), the
// wait was refused or failed. Everything `work` touches must be its own (captured by value
// or shared): a thread whose wait failed finishes on its own.
bool RunOffThreadAlive(std::function<void()> work, DWORD& error);

// Drops the keyboard and mouse input queued for the calling thread, clicks on captions and
// close boxes, and button presses posted to its controls (BM_CLICK).
void DropQueuedInput();

}  // namespace kelto::platform::win32

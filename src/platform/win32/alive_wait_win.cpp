#include "platform/win32/alive_wait_win.h"

#include <memory>
#include <vector>

#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {

bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == BM_CLICK;
}

// The calling thread over MsgWaitForMultipleObjectsEx. Its top-level windows are disabled
// for the wait (a disabled window gets no clicks or keys, its close box and Alt+F4 do
// nothing) and enabled again after; what was already disabled stays so.
class Win32WaitingThread : public WaitingThread {
public:
    explicit Win32WaitingThread(std::span<const HANDLE> handles) : handles_(handles.begin(), handles.end()) {}

    void HoldInput() override {
        focus_ = ::GetFocus();
        ::EnumThreadWindows(::GetCurrentThreadId(), &Win32WaitingThread::Disable,
                            reinterpret_cast<LPARAM>(this));
    }

    Woken Sleep(std::uint32_t ms, std::uint32_t& error) override {
        // MWMO_INPUTAVAILABLE: input that was queued before the wait began wakes it too.
        const DWORD woke =
            ::MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handles_.size()), handles_.data(), ms,
                                          QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        const DWORD count = static_cast<DWORD>(handles_.size());
        if (woke < WAIT_OBJECT_0 + count) return Woken::Done;
        if (woke == WAIT_OBJECT_0 + count) return Woken::Messages;
        if (woke >= WAIT_ABANDONED_0 && woke < WAIT_ABANDONED_0 + count) return Woken::Abandoned;
        if (woke == WAIT_TIMEOUT) return Woken::TimeUp;
        error = LastErrorOfFailure();
        return Woken::Failed;
    }

    void RunMessages() override {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit_ = true;
                quitCode_ = static_cast<int>(message.wParam);
                continue;
            }
            if (IsInput(message.message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }

    void ReleaseInput() override {
        DropQueuedInput();
        for (HWND window : disabled_)
            if (::IsWindow(window)) ::EnableWindow(window, TRUE);
        // A disabled window loses the keyboard focus; the control that had it gets it back.
        if (focus_ && ::GetFocus() == nullptr && ::IsWindow(focus_) && ::IsWindowEnabled(focus_) &&
            ::GetAncestor(focus_, GA_ROOT) == ::GetActiveWindow())
            ::SetFocus(focus_);
        if (quit_) ::PostQuitMessage(quitCode_);
    }

    std::uint64_t NowMs() override { return ::GetTickCount64(); }

private:
    static BOOL CALLBACK Disable(HWND window, LPARAM self) {
        if (::IsWindowEnabled(window)) {
            ::EnableWindow(window, FALSE);
            reinterpret_cast<Win32WaitingThread*>(self)->disabled_.push_back(window);
        }
        return TRUE;
    }

    std::vector<HANDLE> handles_;
    std::vector<HWND> disabled_;
    HWND focus_ = nullptr;
    bool quit_ = false;
    int quitCode_ = 0;
};

DWORD WINAPI RunWork(void* parameter) {
    const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    try {
        (*work)();
    } catch (...) {
        // Nothing may escape a thread; the caller sees the work's own results unset.
    }
    return 0;
}

}  // namespace

void DropQueuedInput() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    // Clicks on the caption and the close box.
    while (::PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
    while (::PeekMessageW(&message, nullptr, BM_CLICK, BM_CLICK, PM_REMOVE)) {
    }
}

WaitEnd WaitForHandlesAlive(std::span<const HANDLE> handles, DWORD timeoutMs) {
    Win32WaitingThread thread(handles);
    return WaitAlive(thread, timeoutMs);
}

bool RunOffThreadAlive(std::function<void()> work, DWORD& error) {
    error = 0;
    // Nothing is started from a message run inside another wait.
    if (IsThreadBusy()) {
        error = ERROR_BUSY;
        return false;
    }
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    UniqueHandle thread(::CreateThread(nullptr, 0, RunWork, owned.get(), 0, nullptr));
    if (!thread) {
        error = LastErrorOfFailure();
        return false;
    }
    owned.release();  // the thread owns its work now
    const HANDLE handles[] = {thread.get()};
    const WaitEnd end = WaitForHandlesAlive(handles, INFINITE);
    if (end.Signalled()) return true;
    error = end.kind == WaitEnd::Kind::Failed ? end.error : ERROR_BUSY;
    return false;
}

}  // namespace kelto::platform::win32

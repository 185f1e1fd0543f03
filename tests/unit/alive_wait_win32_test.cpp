// Waits of the window thread on the real window system: the thread's windows answer what is
// sent to them and paint while the thread waits for a child, a request or Windows; what the
// customer clicks or types meanwhile is dropped, never run afterwards.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "platform/alive_wait.h"
#include "platform/win32/alive_wait_win.h"
#include "platform/win32/win32_system.h"
#include "support/fakes.h"
#include "support/queued_input_win.h"
#include "ui/main_window_win.h"

namespace kelto {
namespace {

using platform::WaitEnd;
using platform::win32::WaitForHandlesAlive;
using testing::QueueClick;
using testing::QueueKey;

class EventHandle {
public:
    EventHandle() : h_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~EventHandle() { ::CloseHandle(h_); }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

class AliveWaitOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(window.CreateError(), 0u);
        window.Attach(context);
        window.Show();
        hwnd = reinterpret_cast<HWND>(window.Owner());
    }

    // Waits for `done` on this thread while `meanwhile` runs on another, which sets it.
    WaitEnd WaitWhile(const std::function<void()>& meanwhile) {
        std::thread other([&] {
            meanwhile();
            ::SetEvent(done.get());
        });
        const HANDLE handles[] = {done.get()};
        const WaitEnd end = WaitForHandlesAlive(handles, 30000);
        other.join();
        return end;
    }

    testing::FakeSystem f;
    ui::MainWindowWin window{::GetModuleHandleW(nullptr)};
    intake::Context context{f.system, f.request, window};
    HWND hwnd = nullptr;
    EventHandle done;
};

// The status window during a long step: another program's WM_NULL (how Windows tells a hung
// window) and the end of the session are answered in time; clicks on its buttons, Enter,
// Alt+F4, a posted button press and WM_CLOSE do nothing, during the wait or after it.
TEST_F(AliveWaitOnWindows, TheStatusWindowAnswersAndIgnoresInputWhileItsThreadWaits) {
    window.ShowStatus("מוריד את קובץ ה-ISO. ההורדה עשויה להימשך...");
    std::atomic<LRESULT> nullAnswered{0}, endAllowed{0};
    std::atomic<DWORD_PTR> endAnswer{0};
    const WaitEnd end = WaitWhile([&] {
        ::Sleep(50);
        DWORD_PTR ignored = 0;
        nullAnswered = ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
        QueueClick(::GetDlgItem(hwnd, ui::kCmdInstall));
        QueueClick(::GetDlgItem(hwnd, ui::kCmdClose));
        QueueKey(::GetDlgItem(hwnd, ui::kCmdOffline), VK_RETURN, 0);
        QueueKey(hwnd, VK_F4, 1 << 29);
        ::PostMessageW(::GetDlgItem(hwnd, ui::kCmdClose), BM_CLICK, 0, 0);
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        DWORD_PTR answer = 0;
        endAllowed = ::SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG,
                                           1000, &answer);
        endAnswer = answer;
    });
    EXPECT_EQ(end.kind, WaitEnd::Kind::Done);
    EXPECT_NE(nullAnswered.load(), 0) << "WM_NULL was not answered within a second";
    EXPECT_NE(endAllowed.load(), 0) << "WM_QUERYENDSESSION was not answered within a second";
    EXPECT_EQ(endAnswer.load(), static_cast<DWORD_PTR>(TRUE));

    // What came meanwhile is gone: nothing is left to run when the thread reads its messages.
    MSG left;
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, BM_CLICK, BM_CLICK, PM_NOREMOVE));
    while (::PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&left);
    EXPECT_TRUE(::IsWindow(hwnd)) << "the window was closed";
    EXPECT_TRUE(f.registry.Dump().empty()) << "the handler was registered";
    EXPECT_TRUE(f.dialogs.boxes.empty());
}

// A window that takes input takes none while its thread waits, and takes it again after.
TEST_F(AliveWaitOnWindows, WindowsAreDisabledForTheWaitAndEnabledAfter) {
    ASSERT_TRUE(::IsWindowEnabled(hwnd));
    std::atomic<bool> enabledDuring{true};
    EXPECT_EQ(WaitWhile([&] { enabledDuring = ::IsWindowEnabled(hwnd) != FALSE; }).kind, WaitEnd::Kind::Done);
    EXPECT_FALSE(enabledDuring.load());
    EXPECT_TRUE(::IsWindowEnabled(hwnd));
}

// A request to end the program that came during the wait is kept for the thread's own loop.
TEST_F(AliveWaitOnWindows, AQuitRequestIsPassedOnAfterTheWait) {
    const DWORD thread = ::GetCurrentThreadId();
    EXPECT_EQ(WaitWhile([&] { ::PostThreadMessageW(thread, WM_QUIT, 3, 0); }).kind, WaitEnd::Kind::Done);
    MSG quit;
    ASSERT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 3u);
}

TEST_F(AliveWaitOnWindows, TimeUpAndAFailedWaitAreToldApart) {
    const HANDLE never[] = {done.get()};
    EXPECT_EQ(WaitForHandlesAlive(never, 50).kind, WaitEnd::Kind::TimeUp);
    // An invalid handle: the wait fails with the system's reason, never as signalled.
    const HANDLE invalid[] = {reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7FF0))};
    const WaitEnd failed = WaitForHandlesAlive(invalid, INFINITE);
    EXPECT_EQ(failed.kind, WaitEnd::Kind::Failed);
    EXPECT_EQ(failed.error, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(failed.Signalled());
    EXPECT_TRUE(::IsWindowEnabled(hwnd));
}

// The internet check and WMI run on a thread of their own, awaited alive.
TEST_F(AliveWaitOnWindows, WorkOffTheThreadRunsElsewhereWhileTheWindowAnswers) {
    std::atomic<LRESULT> answered{0};
    const auto workThread = std::make_shared<std::atomic<DWORD>>(0);
    DWORD error = 0;
    const bool ran = platform::win32::RunOffThreadAlive(
        [workThread, this, &answered] {
            *workThread = ::GetCurrentThreadId();
            DWORD_PTR ignored = 0;
            answered = ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
        },
        error);
    EXPECT_TRUE(ran);
    EXPECT_EQ(error, 0u);
    EXPECT_NE(workThread->load(), ::GetCurrentThreadId());
    EXPECT_NE(answered.load(), 0);
}

// Nothing is started from a message run inside a wait: no second child, no second request.
TEST_F(AliveWaitOnWindows, NothingStartsWhileTheThreadWaits) {
    const platform::ThreadBusy busy;
    platform::win32::Win32ChildProcesses children;
    char folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    EXPECT_EQ(children.RunAndWait("\"" + std::string(folder, length) + "\\reg.exe\" query HKCU\\Software",
                                  platform::kShowNormal),
              std::nullopt);
    bool ran = false;
    DWORD error = 0;
    EXPECT_FALSE(platform::win32::RunOffThreadAlive([&ran] { ran = true; }, error));
    EXPECT_FALSE(ran);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BUSY));
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

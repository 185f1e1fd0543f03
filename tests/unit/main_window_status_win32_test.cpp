// The main window as the elevated instance's status display, on the real window system: input
// queued while a long step held the thread is dropped, never run.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "support/fakes.h"
#include "support/pictures_win.h"
#include "support/queued_input_win.h"
#include "ui/main_window_win.h"

namespace kelto {
namespace {

using testing::QueueClick;
using testing::QueueKey;

class StatusWindowOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(window.CreateError(), 0u);
        window.Attach(context);
        window.Show();
        window.ShowStatus("יוצר נקודת שחזור לפני הפעולה...");
        hwnd = reinterpret_cast<HWND>(window.Owner());
    }

    testing::FakeSystem f;
    ui::MainWindowWin window{::GetModuleHandleW(nullptr)};
    intake::Context context{f.system, f.request, window};
    HWND hwnd = nullptr;
};

TEST_F(StatusWindowOnWindows, ClicksAndKeysQueuedDuringALongStepDoNothing) {
    // Queued while the creation held the thread: the buttons that register the handler,
    // open offline support and close the window, Enter, and Alt+F4.
    QueueClick(::GetDlgItem(hwnd, ui::kCmdInstall));
    QueueClick(::GetDlgItem(hwnd, ui::kCmdOffline));
    QueueClick(::GetDlgItem(hwnd, ui::kCmdClose));
    QueueKey(::GetDlgItem(hwnd, ui::kCmdClose), VK_RETURN, 0);
    QueueKey(hwnd, VK_F4, 1 << 29);

    window.ShowStatus("נקודת השחזור נוצרה. מפעיל את הפעולה...");

    EXPECT_TRUE(::IsWindow(hwnd)) << "the window was closed";
    EXPECT_TRUE(f.registry.Dump().empty()) << "the handler was registered";
    EXPECT_TRUE(f.dialogs.boxes.empty());
    EXPECT_EQ(f.request.CurrentSessionId, "");
    MSG left;
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
    wchar_t status[128] = {};
    ::GetWindowTextW(::GetDlgItem(hwnd, ui::kLblStatus), status, 128);
    EXPECT_STREQ(status, L"נקודת השחזור נוצרה. מפעיל את הפעולה...");
}

TEST_F(StatusWindowOnWindows, TakesNoInputOnceItShowsAStatus) {
    EXPECT_FALSE(::IsWindowEnabled(hwnd));
    EXPECT_TRUE(::IsWindowVisible(hwnd));
}

// The elevation prompt's owner on the URL road: the hidden main window comes up with its one
// line, enabled (only an enabled window can be the active foreground window) and in front, its
// buttons inert; once the shell has returned it is hidden again and the buttons work.
TEST(PromptOwnerOnWindows, TheHiddenMainWindowComesUpInFrontWithItsOneLineThenHidesAgain) {
    testing::FakeSystem f;
    ui::MainWindowWin window{::GetModuleHandleW(nullptr)};
    intake::Context context{f.system, f.request, window};
    ASSERT_EQ(window.CreateError(), 0u);
    window.Attach(context);
    const HWND hwnd = reinterpret_cast<HWND>(window.BeginSystemPrompt("ממתין לאישור ההרשאות של Windows..."));
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(::IsWindowEnabled(hwnd));
    EXPECT_EQ(::GetForegroundWindow(), hwnd);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(hwnd, ui::kCmdInstall)));
    wchar_t status[128] = {};
    ::GetWindowTextW(::GetDlgItem(hwnd, ui::kLblStatus), status, 128);
    EXPECT_STREQ(status, L"ממתין לאישור ההרשאות של Windows...");
    testing::KeepWindowPicture("elevation-prompt-owner", hwnd);
    window.EndSystemPrompt();
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(hwnd, ui::kCmdInstall)));
}

// Readied while the customer reads a box: the box's own message loop runs the timer, the
// controls and the shell are made ready behind it, and the window stays hidden until the prompt.
TEST(PromptOwnerOnWindows, IsReadiedHiddenWhileABoxIsUp) {
    testing::FakeSystem f;
    ui::MainWindowWin window{::GetModuleHandleW(nullptr)};
    intake::Context context{f.system, f.request, window};
    window.Attach(context);
    // An earlier test's window ended with WM_QUIT, which nothing of this thread took: a box's
    // loop takes it before any timer, and would wait for nothing else.
    MSG quit;
    while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    window.PrepareSystemPrompt();
    const HWND hwnd = reinterpret_cast<HWND>(window.Owner());
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(::GetDlgItem(hwnd, ui::kLblStatus), nullptr) << "made before the box was up";
    EXPECT_EQ(f.shell.prepared, 0);

    constexpr wchar_t kTitle[] = L"Kelto - readied behind a box";
    bool readiedWhileUp = false;
    std::thread reader([&] {
        HWND box = nullptr;
        for (int i = 0; i < 1000 && !(box = ::FindWindowW(L"#32770", kTitle)); ++i) ::Sleep(10);
        for (int i = 0; i < 1000 && !::GetDlgItem(hwnd, ui::kLblStatus); ++i) ::Sleep(10);
        readiedWhileUp = box != nullptr && ::IsWindowVisible(box) && ::GetDlgItem(hwnd, ui::kLblStatus) != nullptr;
        if (box) ::PostMessageW(box, WM_CLOSE, 0, 0);
    });
    ::MessageBoxW(nullptr, L"?", kTitle, MB_OK);
    reader.join();
    EXPECT_TRUE(readiedWhileUp);
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_EQ(f.shell.prepared, 1);

    // The prompt then shows what was made, with its line.
    window.BeginSystemPrompt("ממתין לאישור ההרשאות של Windows...");
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    wchar_t status[128] = {};
    ::GetWindowTextW(::GetDlgItem(hwnd, ui::kLblStatus), status, 128);
    EXPECT_STREQ(status, L"ממתין לאישור ההרשאות של Windows...");
    window.EndSystemPrompt();
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

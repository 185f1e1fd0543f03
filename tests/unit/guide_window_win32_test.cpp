// The cable guide on the real window system: input queued while its cable check held the
// thread is dropped when the check lets the window's messages run, never run inside it.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include "support/fakes.h"
#include "support/queued_input_win.h"
#include "ui/ethernet_guide.h"
#include "ui/ethernet_guide_win.h"

namespace kelto {
namespace {

using testing::QueueClick;
using testing::QueueKey;

TEST(GuideWindowOnWindows, ClicksAndKeysQueuedBeforeTheCableCheckDoNothing) {
    testing::FakeSystem f;
    testing::FakeMainWindow mainWindow;
    intake::Context context{f.system, f.request, mainWindow};
    f.http.status = 404;
    f.dialogs.answers = {platform::mb::kIdNo};
    ui::EthernetGuideWin guide(::GetModuleHandleW(nullptr), nullptr, nullptr, context);
    const HWND hwnd = reinterpret_cast<HWND>(guide.Handle());
    ASSERT_NE(hwnd, nullptr);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);

    // Queued while the thread was busy: the close button, Escape on the cable button, Alt+F4.
    QueueClick(::GetDlgItem(hwnd, ui::kGuideCmdClose));
    QueueKey(::GetDlgItem(hwnd, ui::kGuideCmdCableConnected), VK_ESCAPE, 0);
    QueueKey(hwnd, VK_F4, 1 << 29);

    ui::OnCableConnectedClicked(context, guide);

    EXPECT_TRUE(::IsWindow(hwnd)) << "the guide was closed inside its own check";
    EXPECT_EQ(guide.Handle(), reinterpret_cast<platform::WindowHandle>(hwnd));
    ASSERT_EQ(f.http.requests.size(), 1u);
    // The still-offline question, owned by the guide that is still there.
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].owner, reinterpret_cast<platform::WindowHandle>(hwnd));
    EXPECT_EQ(f.dialogs.boxes[0].text, "עדיין אין גישה לאינטרנט.\r\nלעבור לפעולות התיקון הנוספות?");
    MSG left;
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

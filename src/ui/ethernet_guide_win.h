#pragma once

#include <windows.h>

#include "intake/context.h"
#include "ui/ethernet_guide.h"
#include "ui/form_win.h"

namespace kelto::ui {

// The Win32 frmEthernetGuide.
class EthernetGuideWin : public FormViewWin<EthernetGuideView> {
public:
    // `owner`: the main window, or null when a protocol request opened the guide. The offline
    // support window is always owned by `mainWindow`; when that is hidden it gets a taskbar
    // button of its own, so that the customer can find it again.
    EthernetGuideWin(HINSTANCE instance, HWND owner, HWND mainWindow, intake::Context& context);
    ~EthernetGuideWin() override;
    EthernetGuideWin(const EthernetGuideWin&) = delete;
    EthernetGuideWin& operator=(const EthernetGuideWin&) = delete;

    // Loads the window and shows it modally; returns when it has closed.
    void Run();

    bool LoadPicture() override;
    void Hide() override { form_.Hide(); }
    void ShowOfflineSupport() override;

private:
    void DrawPicture(const DRAWITEMSTRUCT& item);

    HINSTANCE instance_;
    HWND mainWindow_;
    intake::Context& context_;
    HBITMAP picture_ = nullptr;
};

}  // namespace kelto::ui

#pragma once

#include <windows.h>

#include "intake/context.h"
#include "ui/ethernet_guide.h"
#include "ui/form_win.h"

namespace kelto::ui {

// The Win32 frmEthernetGuide.
class EthernetGuideWin : public EthernetGuideView {
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

    platform::WindowHandle Handle() override;
    void SetWindowBackground(Rgb colour) override { form_.SetWindowBackground(colour); }
    bool LoadPicture() override;
    void SetControlText(int id, const std::string& text) override;
    std::string ControlText(int id) override { return form_.ControlText(id); }
    void EnableControl(int id, bool enabled) override { form_.EnableControl(id, enabled); }
    void PumpMessages() override { form_.PumpMessages(); }
    void Hide() override { form_.Hide(); }
    void ShowOfflineSupport() override;
    void Close() override { form_.Close(); }

private:
    void DrawPicture(const DRAWITEMSTRUCT& item);

    HINSTANCE instance_;
    HWND mainWindow_;
    intake::Context& context_;
    FormWin form_;
    HBITMAP picture_ = nullptr;
};

}  // namespace kelto::ui

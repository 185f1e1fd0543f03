#pragma once

#include <windows.h>

#include "intake/context.h"
#include "ui/form_win.h"
#include "ui/offline_support.h"

namespace kelto::ui {

// The Win32 frmOfflineSupport.
class OfflineSupportWin : public OfflineSupportView {
public:
    // `appWindow`: a taskbar button of its own, for when the owner is hidden.
    OfflineSupportWin(HINSTANCE instance, HWND owner, bool appWindow, intake::Context& context);

    // Loads the window and shows it modally; returns when it has closed.
    void Run();

    platform::WindowHandle Handle() override;
    void SetWindowBackground(Rgb colour) override { form_.SetWindowBackground(colour); }
    void SetControlText(int id, const std::string& text) override { form_.SetControlText(id, text); }
    std::string ControlText(int id) override { return form_.ControlText(id); }
    void SetControlTextColour(int id, Rgb colour) override { form_.SetControlTextColour(id, colour); }
    void SetControlBackground(int id, Rgb colour) override { form_.SetControlBackground(id, colour); }
    void EnableControl(int id, bool enabled) override { form_.EnableControl(id, enabled); }
    void AppendActivityLine(const std::string& line) override;
    void PumpMessages() override { form_.PumpMessages(); }
    void Close() override { form_.Close(); }

private:
    void OnCommand(int id, int notification);

    intake::Context& context_;
    FormWin form_;
};

}  // namespace kelto::ui

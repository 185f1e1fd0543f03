#pragma once

#include <windows.h>

#include "intake/context.h"
#include "ui/form_win.h"
#include "ui/live_region_win.h"
#include "ui/offline_support.h"

namespace kelto::ui {

// The Win32 frmOfflineSupport.
class OfflineSupportWin : public FormViewWin<OfflineSupportView> {
public:
    // `appWindow`: a taskbar button of its own, for when the owner is hidden.
    OfflineSupportWin(HINSTANCE instance, HWND owner, bool appWindow, intake::Context& context);

    // Loads the window and shows it modally; returns when it has closed.
    void Run();

    void SetControlTextColour(int id, Rgb colour) override { form_.SetControlTextColour(id, colour); }
    void SetControlBackground(int id, Rgb colour) override { form_.SetControlBackground(id, colour); }
    void AppendActivityLine(const std::string& line) override;
    void AnnounceConnection() override { connection_.Announce(); }

private:
    void OnCommand(int id, int notification);

    intake::Context& context_;
    LiveRegion connection_;
};

}  // namespace kelto::ui

#include "ui/ethernet_guide.h"

#include "intake/activity_log.h"
#include "ui/connectivity.h"

namespace kelto::ui {

namespace {
using namespace platform::mb;
}  // namespace

void ApplyWindowStyle(EthernetGuideView& view) { view.SetWindowBackground(kGuideWindowBackground); }

void OnEthernetGuideLoad(intake::Context& context, EthernetGuideView& view) {
    ApplyWindowStyle(view);
    if (!view.LoadPicture()) {
        // Without the picture the steps above are all the customer has.
        view.SetControlText(kGuideLblTryFirst, view.ControlText(kGuideLblTryFirst) + kPictureMissingSuffix);
    }
    intake::WriteLog(context.system, kLogGuideOpened);
}

void OnCableConnectedClicked(intake::Context& context, EthernetGuideView& view) {
    auto& system = context.system;
    view.EnableControl(kGuideCmdCableConnected, false);
    view.SetControlText(kGuideCmdCableConnected, kCableChecking);
    view.PumpMessages();
    if (IsInternetAvailable(system.http)) {
        intake::WriteLog(system, kLogInternetRestored);
        system.dialogs.MessageBox(view.Handle(), kInternetBackText, kGuideBoxTitle, kOk | kIconInformation);
        // The main window, when it opened the guide, closes as well.
        context.request.ActionLaunched = true;
        view.Close();
        return;
    }
    intake::WriteLog(system, kLogStillOffline);
    view.EnableControl(kGuideCmdCableConnected, true);
    view.SetControlText(kGuideCmdCableConnected, kCableCheckAgain);
    const int answer = system.dialogs.MessageBox(view.Handle(), kStillOfflineQuestion, kGuideBoxTitle,
                                                 kYesNo | kIconQuestion | kDefButton1);
    if (answer == kIdYes) OpenRepairActions(view);
}

void OpenRepairActions(EthernetGuideView& view) {
    view.Hide();
    view.ShowOfflineSupport();
    view.Close();
}

void OnGuideButtonClicked(intake::Context& context, EthernetGuideView& view, int controlId) {
    switch (controlId) {
        case kGuideCmdCableConnected:
            OnCableConnectedClicked(context, view);
            break;
        case kGuideCmdContinue:
            OpenRepairActions(view);
            break;
        case kGuideCmdClose:
            view.Close();
            break;
        default:
            break;
    }
}

}  // namespace kelto::ui

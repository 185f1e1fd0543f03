#include "app/startup.h"

#include "actions/approval.h"
#include "actions/elevated.h"
#include "base/text.h"
#include "intake/activity_log.h"
#include "intake/protocol_request.h"
#include "kelto/version.h"

namespace kelto::app {

Road ChooseRoad(std::string_view trimmedCommandLine) {
    if (trimmedCommandLine.empty()) return Road::MainWindow;
    const std::string prefix = text::ToLowerAscii(trimmedCommandLine.substr(0, 10));
    return prefix == "/elevated:" ? Road::Elevated : Road::Protocol;
}

void RouteProtocolRequest(intake::Context& context, ui::MainWindowView& mainWindow,
                          const std::string& commandLine) {
    const intake::ProtocolNext next = intake::HandleProtocolRequest(context, commandLine);
    switch (next.road) {
        case intake::ProtocolRoad::Done:
            return;
        case intake::ProtocolRoad::CableGuide:
            mainWindow.ShowEthernetGuide(false);
            return;
        case intake::ProtocolRoad::Approval:
            actions::PromptTokenAndRequest(context, next.actionKey);
            return;
    }
}

bool RunStartup(intake::Context& context, ui::MainWindowView& mainWindow, const std::string& arguments) {
    const std::string commandLine = text::TrimSpaces(arguments);
    ui::ApplyWindowStyle(mainWindow);
    intake::WriteLog(context.system, "Version " KELTO_VERSION_TEXT " Command: [" + commandLine + "]");
    const Road road = ChooseRoad(commandLine);
    if (road == Road::MainWindow) {
        ui::RefreshInstallStatus(context.system.registry, mainWindow);
        mainWindow.Show();
        return true;
    }
    mainWindow.Hide();
    if (road == Road::Elevated) {
        actions::HandleElevatedRequest(context, commandLine);
    } else {
        RouteProtocolRequest(context, mainWindow, commandLine);
    }
    mainWindow.Unload();
    return false;
}

}  // namespace kelto::app

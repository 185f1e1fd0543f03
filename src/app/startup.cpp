#include "app/startup.h"

#include "actions/elevated.h"
#include "intake/activity_log.h"
#include "intake/protocol_request.h"
#include "intake/text.h"
#include "kelto/version.h"

namespace kelto::app {

Road ChooseRoad(std::string_view trimmedCommandLine) {
    if (trimmedCommandLine.empty()) return Road::MainWindow;
    const std::string prefix = text::ToLowerAscii(trimmedCommandLine.substr(0, 10));
    return prefix == "/elevated:" ? Road::Elevated : Road::Protocol;
}

bool RunStartup(Context& context, const std::string& arguments) {
    const std::string commandLine = text::TrimSpaces(arguments);
    ui::ApplyWindowStyle(context.mainWindow);
    intake::WriteLog(context.system, "Version " KELTO_VERSION_TEXT " Command: [" + commandLine + "]");
    const Road road = ChooseRoad(commandLine);
    if (road == Road::MainWindow) {
        ui::RefreshInstallStatus(context);
        context.mainWindow.Show();
        return true;
    }
    context.mainWindow.Hide();
    if (road == Road::Elevated) {
        actions::HandleElevatedRequest(context, commandLine);
    } else {
        intake::HandleProtocolRequest(context, commandLine);
    }
    context.mainWindow.Unload();
    return false;
}

}  // namespace kelto::app

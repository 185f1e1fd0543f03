// Every start runs through here: one process handles exactly one command line.
#pragma once

#include <string>
#include <string_view>

#include "intake/context.h"
#include "ui/main_window.h"

namespace kelto::app {

enum class Road { MainWindow, Elevated, Protocol };

// The road for a command line that has already been trimmed.
Road ChooseRoad(std::string_view trimmedCommandLine);

// The main window's load handler. `context.window` is `mainWindow`; `arguments` is the text
// Windows passed after the program path. Returns true when the main window is shown and the
// message loop must run; false when the process is done.
bool RunStartup(intake::Context& context, ui::MainWindowView& mainWindow, const std::string& arguments);

// A kelto: URL from intake to its end: the cable guide, or the token prompt and approval.
void RouteProtocolRequest(intake::Context& context, ui::MainWindowView& mainWindow,
                          const std::string& commandLine);

}  // namespace kelto::app

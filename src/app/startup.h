// Every start runs through here: one process handles exactly one command line.
#pragma once

#include <string>
#include <string_view>

#include "app/context.h"

namespace kelto::app {

enum class Road { MainWindow, Elevated, Protocol };

// The road for a command line that has already been trimmed.
Road ChooseRoad(std::string_view trimmedCommandLine);

// The main window's load handler. `arguments` is the text Windows passed after the program
// path. Returns true when the main window is shown and the message loop must run; false
// when the process is done.
bool RunStartup(Context& context, const std::string& arguments);

}  // namespace kelto::app

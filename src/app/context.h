#pragma once

#include "intake/request_state.h"
#include "platform/system.h"
#include "ui/main_window.h"

namespace kelto::app {

// What one process's handlers work with: the system, the request being handled and the
// main window (loaded in every process, visible only on the no-argument road).
struct Context {
    platform::System& system;
    intake::RequestState& request;
    ui::MainWindowView& mainWindow;
};

}  // namespace kelto::app

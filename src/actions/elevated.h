// The elevated instance: the request travels here in the "/elevated:" command line.
#pragma once

#include <string>

namespace kelto::app {
struct Context;
}

namespace kelto::actions {

void HandleElevatedRequest(app::Context& context, const std::string& commandLine);

}  // namespace kelto::actions

#pragma once

#include <string>

namespace kelto::app {
struct Context;
}

namespace kelto::restore {

// Makes a restore point before the action; true when it was created.
bool CreateActionRestorePoint(app::Context& context, const std::string& actionKey);
// Rolls the PC back to the newest restore point the helper made, and restarts it.
void RollBackToLastPoint(app::Context& context);

}  // namespace kelto::restore

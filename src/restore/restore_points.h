#pragma once

#include <string>

namespace kelto::intake {
struct Context;
}

namespace kelto::restore {

// Makes a restore point before the action; true when it was created.
bool CreateActionRestorePoint(intake::Context& context, const std::string& actionKey);
// Rolls the PC back to the newest restore point the helper made, and restarts it.
void RollBackToLastPoint(intake::Context& context);

}  // namespace kelto::restore

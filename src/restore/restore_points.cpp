#include "restore/restore_points.h"

#include "intake/activity_log.h"
#include "intake/context.h"

namespace kelto::restore {

namespace {
// Restore points are not supported by this build yet: both calls report failure, so that a
// request that asked for a restore point is never launched without one.
constexpr int kNotAvailable = 438;  // "object doesn't support this property or method"
}  // namespace

bool CreateActionRestorePoint(intake::Context& context, const std::string& /*actionKey*/) {
    intake::WriteLog(context.system, "Restore point error: " + std::to_string(kNotAvailable));
    return false;
}

void RollBackToLastPoint(intake::Context& context) {
    intake::WriteLog(context.system, "System restore failed: " + std::to_string(kNotAvailable));
    context.system.dialogs.MessageBox(context.window.Owner(), "לא ניתן היה להתחיל את שחזור המערכת.", "Kelto",
                                      platform::mb::kOk | platform::mb::kIconExclamation);
}

}  // namespace kelto::restore

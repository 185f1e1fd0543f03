#include "rescuevm/rescue_vm.h"

#include <string>

#include "intake/activity_log.h"
#include "intake/context.h"

namespace kelto::rescuevm {

void LaunchRescueVm(intake::Context& context) {
    // The rescue VM is not part of this build yet: every request ends in the failure handler.
    const std::string description = "The rescue VM is not available in this version of the helper.";
    intake::WriteLog(context.system, "Virtual ISO failed: " + description);
    context.system.dialogs.MessageBox(context.window.Owner(),
                                      "הפעלת המכונה הווירטואלית נכשלה.\r\n" + description, "Kelto Remote",
                                      platform::mb::kOk | platform::mb::kIconExclamation);
}

}  // namespace kelto::rescuevm

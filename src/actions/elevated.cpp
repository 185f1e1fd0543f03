#include "actions/elevated.h"

#include "app/context.h"

namespace kelto::actions {

void HandleElevatedRequest(app::Context& context, const std::string& /*commandLine*/) {
    // Until the elevated execution is in place every elevated line is refused as invalid.
    context.system.dialogs.MessageBox(0, "בקשת ההפעלה המוגבהת אינה תקינה.", "Kelto",
                                      platform::mb::kOk | platform::mb::kIconExclamation);
}

}  // namespace kelto::actions

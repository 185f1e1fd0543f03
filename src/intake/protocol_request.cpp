#include "intake/protocol_request.h"

#include "app/context.h"

namespace kelto::intake {

std::string InvalidActionMessage(const std::string& commandLine) {
    return "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: " + commandLine;
}

void HandleProtocolRequest(app::Context& context, const std::string& commandLine) {
    // Until URL parsing is in place every request is refused as carrying no action key.
    context.system.dialogs.MessageBox(0, InvalidActionMessage(commandLine), "Kelto",
                                      platform::mb::kOk | platform::mb::kIconExclamation);
}

}  // namespace kelto::intake

#include "intake/protocol_request.h"

#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/protocol_parse.h"
#include "intake/session_store.h"

namespace kelto::intake {

std::string InvalidActionMessage(const std::string& commandLine) {
    return "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: " + commandLine;
}

ProtocolNext HandleProtocolRequest(Context& context, const std::string& commandLine) {
    auto& system = context.system;
    auto& request = context.request;

    const std::string actionKey = ParseActionKey(commandLine);
    request.CurrentSessionId = ParseSessionId(commandLine);
    ParseServerAddress(commandLine, request);
    // A URL without a sid continues the support session authorized earlier, while it lasts.
    if (request.CurrentSessionId.empty()) request.CurrentSessionId = GetAuthorizedSessionId(system);

    WriteLog(system, "Parsed tool: [" + actionKey + "]");
    WriteLog(system, "Support session: [" + request.CurrentSessionId + "]");

    if (actionKey.empty()) {
        system.dialogs.MessageBox(0, InvalidActionMessage(commandLine), "Kelto",
                                  platform::mb::kOk | platform::mb::kIconExclamation);
        return {ProtocolRoad::Done, actionKey};
    }
    if (actionKey == "offline") {
        request.ActionLaunched = false;
        return {ProtocolRoad::CableGuide, actionKey};
    }
    return {ProtocolRoad::Approval, actionKey};
}

}  // namespace kelto::intake

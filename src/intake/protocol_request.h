// kelto: URLs handed over by the browser.
#pragma once

#include <string>

#include "intake/context.h"

namespace kelto::intake {

// Where a protocol request goes once it has been taken in.
enum class ProtocolRoad {
    Done,        // nothing more to do (the invalid-action box was shown)
    CableGuide,  // "offline": the Ethernet cable guide opens
    Approval,    // the token prompt and the approval of `actionKey`
};

struct ProtocolNext {
    ProtocolRoad road = ProtocolRoad::Done;
    std::string actionKey;
};

// Takes in the trimmed command line of a protocol start: fills the request state, logs what
// was found, refuses a request without a usable action key and says which road follows.
ProtocolNext HandleProtocolRequest(Context& context, const std::string& commandLine);

// The invalid-action box: the received text follows the explanation.
std::string InvalidActionMessage(const std::string& commandLine);

}  // namespace kelto::intake

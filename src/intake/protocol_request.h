// kelto: URLs handed over by the browser.
#pragma once

#include <string>

namespace kelto::app {
struct Context;
}

namespace kelto::intake {

// Handles the trimmed command line of a protocol start: fills the request state, logs what
// was found and hands the action on (or refuses a request without a usable action key).
void HandleProtocolRequest(app::Context& context, const std::string& commandLine);

// The invalid-action box: the received text follows the explanation.
std::string InvalidActionMessage(const std::string& commandLine);

}  // namespace kelto::intake

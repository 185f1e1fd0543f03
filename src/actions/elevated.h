// The elevated instance: the request travels here in the "/elevated:" command line.
#pragma once

#include <cstdint>
#include <string>

namespace kelto::intake {
struct Context;
}

namespace kelto::actions {

void HandleElevatedRequest(intake::Context& context, const std::string& commandLine);
void LaunchAction(intake::Context& context, const std::string& actionKey);
// The customer's explanation of a shell start failure code.
std::string ShellErrorText(std::int32_t code);

}  // namespace kelto::actions

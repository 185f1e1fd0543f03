// The gate between a request and the system: allow-list, token or authorized session,
// consent, action-specific confirmations, the restore-point question, then the relaunch
// through the elevation prompt.
#pragma once

#include <string>

namespace kelto::app {
struct Context;
}

namespace kelto::actions {

// Entry from a protocol URL: asks for the token unless the session is authorized.
void PromptTokenAndRequest(app::Context& context, const std::string& actionKey);
// True only when the elevated instance was started.
bool RequestAction(app::Context& context, const std::string& actionKey, std::string token);

bool IsBootAction(const std::string& actionKey);
bool ConfirmBootChange(app::Context& context, const std::string& actionKey);
bool ConfirmNetworkReinstall(app::Context& context);
bool ConfirmRescueVm(app::Context& context);
bool RelaunchElevated(app::Context& context, const std::string& actionKey, const std::string& token,
                      bool createRestorePoint);

}  // namespace kelto::actions

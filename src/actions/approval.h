// The gate between a request and the system: allow-list, token or authorized session,
// consent, action-specific confirmations, the restore-point question, then the relaunch
// through the elevation prompt.
#pragma once

#include <string>

#include "actions/catalogue.h"

namespace kelto::intake {
struct Context;
}

namespace kelto::actions {

// Entry from a protocol URL: asks for the token unless the session is authorized.
void PromptTokenAndRequest(intake::Context& context, const std::string& actionKey);
// True only when the elevated instance was started.
bool RequestAction(intake::Context& context, const std::string& actionKey, std::string token);

// A restart or a change of the boot mode.
bool IsBootAction(const std::string& actionKey);
// The second confirmation the catalogue names for an action; true to go on.
bool Confirm(intake::Context& context, Confirmation confirmation);
bool ConfirmBootChange(intake::Context& context, Confirmation confirmation);
bool ConfirmNetworkReinstall(intake::Context& context);
bool ConfirmRescueVm(intake::Context& context);
bool RelaunchElevated(intake::Context& context, const std::string& actionKey, const std::string& token,
                      bool createRestorePoint);

}  // namespace kelto::actions

// The gate between a request and the system: allow-list, token or authorized session,
// consent, action-specific confirmations, the restore-point question, then the relaunch
// through the elevation prompt.
#pragma once

#include <optional>
#include <string>

#include "actions/catalogue.h"

namespace kelto::intake {
struct Context;
struct RequestState;
}  // namespace kelto::intake

namespace kelto::actions {

// A message box as the customer reads it.
struct BoxText {
    std::string title;
    std::string text;
    friend bool operator==(const BoxText&, const BoxText&) = default;
};

// The refusal of a key outside the catalogue (OK box, title "Kelto").
// The one line the helper shows while the elevation prompt is up.
inline constexpr const char* kWaitingForElevation = "ממתין לאישור ההרשאות של Windows...";
inline constexpr const char* kNotInCatalogueText = "הפעולה אינה נמצאת ברשימת הפעולות המאושרות.";

// The consent box for a catalogue entry: its title and description between the fixed lines.
BoxText ConsentBox(const ActionInfo& info);
// The box of the second confirmation after consent; nothing for Confirmation::None. For the
// rescue VM without a usable server address it is the refusal that ends the request
// (see IsRefusal).
std::optional<BoxText> ConfirmationBox(Confirmation confirmation, const intake::RequestState& request);
// True when the confirmation cannot be given: the rescue VM without a usable server address.
bool IsRefusal(Confirmation confirmation, const intake::RequestState& request);

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

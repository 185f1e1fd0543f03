// The action catalogue: the closed list of everything the helper will do on the customer's
// PC, and at the same time the allow-list of action keys.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace kelto::actions {

// One catalogue entry. Callers preset `Verb` to "open" and leave the rest empty; a lookup
// writes only the fields its row names.
struct ActionInfo {
    std::string Title;        // Hebrew, shown before consent and on launch failure
    std::string Description;  // Hebrew sentence shown under the title
    std::string Verb;         // shell verb: the preset "open", or "runas"
    std::string File;         // what the shell starts; empty for the entries the helper runs itself
    std::string Arguments;    // parameters handed to the shell with `File`
};

// Looks the key up by exact, case-sensitive equality. True and `info` filled when the key is
// in the catalogue; false and `info` untouched otherwise. Environment-dependent rows read the
// environment and the file system at the moment of the call.
bool GetActionInfo(platform::System& system, std::string_view key, ActionInfo& info);

// Every catalogue key, in table order.
std::span<const std::string_view> CatalogueKeys();

}  // namespace kelto::actions

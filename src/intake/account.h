// The account the elevated instance acts for, made once from the SID the asking instance put
// on the elevated command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "intake/request_state.h"
#include "platform/system.h"

namespace kelto::intake {

// "S-1-", an identifier authority of decimal digits, then 1 to 15 sub-authorities of decimal
// digits (each within 32 bits), nothing else: no aliases, no hexadecimal authority, no blanks.
bool IsWellFormedSidText(std::string_view sid);

// The customer's account for a SID from the elevated line. Anything but a well-formed SID of
// another account than this process's (absent, malformed, not a SID to the system, the
// process's own) gives this process's own account. For another account: its hive under HKU,
// its profile folder from the system's profile list, and its TEMP from its own environment
// settings; a folder that cannot be read or expanded stays this process's own.
CustomerAccount ResolveCustomerAccount(platform::System& system, const std::optional<std::string>& sid);

// A registry name of the current user's ("HKCU\...") in the customer's hive.
std::string InCustomerHive(const CustomerAccount& account, std::string_view currentUserName);

// The customer's TEMP and profile folder: the account's own where it has them, otherwise
// this process's (TEMP, USERPROFILE).
std::string CustomerTempFolder(platform::System& system, const CustomerAccount& account);
std::string CustomerProfileFolder(platform::System& system, const CustomerAccount& account);

}  // namespace kelto::intake

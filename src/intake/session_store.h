// The one authorized support session, kept for 8 hours in the current user's registry.
#pragma once

#include <cstdint>
#include <string>

#include "intake/request_state.h"
#include "platform/system.h"

namespace kelto::intake {

inline constexpr std::int32_t kSessionLifetimeSeconds = 28800;

// Whole seconds from 2024-01-01 00:00:00 to the given moment, calendar difference.
std::int64_t SecondsSince2024(const platform::DateTime& t);
// The same for the current local date and time, as a 32-bit signed integer.
std::int32_t SecondsSince2024(platform::Clock& clock);

void AuthorizeSession(platform::System& system, const std::string& sessionId);
// The session is read (and, once expired, cleared) in the customer's hive: this process's own
// unless the elevated instance acts for another account.
bool IsSessionAuthorized(platform::System& system, const std::string& sessionId,
                         const CustomerAccount& account = {});
std::string GetAuthorizedSessionId(platform::System& system);
void ClearAuthorizedSession(platform::Registry& registry, const CustomerAccount& account = {});

}  // namespace kelto::intake

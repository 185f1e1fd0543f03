#include "intake/session_store.h"

#include <charconv>
#include <limits>

#include "base/calendar.h"
#include "base/text.h"
#include "intake/account.h"
#include "intake/activity_log.h"
#include "intake/registry_names.h"
#include "intake/request_state.h"

namespace kelto::intake {

namespace {
using registry_names::kSessionIdValue;
using registry_names::kSessionKey;
constexpr const char* kExpiresAtValue = registry_names::kSessionExpiresAtValue;

// A whole number as written by AuthorizeSession (an optional minus sign and digits, within
// the 32-bit range), or with a plus sign for its minus; anything else is not a number.
bool ParseStoredNumber(const std::string& textValue, std::int64_t& value) {
    const std::string trimmed = text::TrimSpaces(textValue);
    if (trimmed.empty()) return false;
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    // One sign at most: a plus may stand for the minus, never before it.
    if (*first == '+' && ++first != last && *first == '-') return false;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return false;
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

bool ReadStoredId(platform::Registry& registry, std::string& id, const CustomerAccount& account = {}) {
    if (!registry.ReadString(InCustomerHive(account, kSessionIdValue), id)) return false;
    id = text::ToLowerAscii(id);
    return true;
}
}  // namespace

std::int64_t SecondsSince2024(const platform::DateTime& t) {
    return calendar::SecondsBetween({2024, 1, 1, 0, 0, 0}, t);
}

std::int32_t SecondsSince2024(platform::Clock& clock) {
    return static_cast<std::int32_t>(SecondsSince2024(clock.LocalNow()));
}

void AuthorizeSession(platform::System& system, const std::string& sessionId) {
    const std::string id = text::ToLowerAscii(text::TrimSpaces(sessionId));
    if (id.empty()) return;
    const std::int64_t expiry =
        static_cast<std::int64_t>(SecondsSince2024(system.clock)) + kSessionLifetimeSeconds;
    system.registry.WriteString(kSessionIdValue, id);
    system.registry.WriteString(kExpiresAtValue, std::to_string(static_cast<std::int32_t>(expiry)));
    WriteLog(system, "Support session authorized: " + id);
}

bool IsSessionAuthorized(platform::System& system, const std::string& sessionId,
                         const CustomerAccount& account) {
    const std::string id = text::ToLowerAscii(text::TrimSpaces(sessionId));
    if (id.empty()) return false;
    std::string storedId;
    std::string expiresText;
    std::int64_t expiresAt = 0;
    if (!ReadStoredId(system.registry, storedId, account) ||
        !system.registry.ReadString(InCustomerHive(account, kExpiresAtValue), expiresText) ||
        !ParseStoredNumber(expiresText, expiresAt)) {
        return false;
    }
    if (id != storedId) return false;
    if (expiresAt < SecondsSince2024(system.clock)) {
        ClearAuthorizedSession(system.registry, account);
        return false;
    }
    // A stored ID that a URL could never carry is not a session of ours (while it lasts;
    // once expired it is cleared like any other).
    return IsWellFormedSessionId(storedId);
}

std::string GetAuthorizedSessionId(platform::System& system) {
    std::string storedId;
    if (!ReadStoredId(system.registry, storedId)) return {};
    return IsSessionAuthorized(system, storedId) ? storedId : std::string();
}

void ClearAuthorizedSession(platform::Registry& registry, const CustomerAccount& account) {
    registry.Delete(InCustomerHive(account, kSessionIdValue));
    registry.Delete(InCustomerHive(account, kExpiresAtValue));
    registry.Delete(InCustomerHive(account, kSessionKey));
}

}  // namespace kelto::intake

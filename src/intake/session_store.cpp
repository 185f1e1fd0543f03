#include "intake/session_store.h"

#include <charconv>
#include <limits>

#include "intake/activity_log.h"
#include "intake/text.h"

namespace kelto::intake {

namespace {
const std::string kSessionIdValue = std::string(kSessionKey) + "SessionID";
const std::string kExpiresAtValue = std::string(kSessionKey) + "ExpiresAt";

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// A whole number as written by AuthorizeSession (an optional minus sign and digits, within
// the 32-bit range); anything else is not a number.
bool ParseStoredNumber(const std::string& textValue, std::int64_t& value) {
    const std::string trimmed = text::TrimSpaces(textValue);
    if (trimmed.empty()) return false;
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (*first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return false;
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

bool ReadStoredId(platform::Registry& registry, std::string& id) {
    if (!registry.ReadString(kSessionIdValue, id)) return false;
    id = text::ToLowerAscii(id);
    return true;
}
}  // namespace

bool IsWellFormedSessionId(const std::string& sessionId) {
    if (sessionId.empty() || sessionId.size() > 80) return false;
    for (char c : sessionId) {
        const char lower = text::AsciiLower(c);
        if (!(text::IsAsciiLowerLetter(lower) || text::IsAsciiDigit(c) || c == '-' || c == '_')) return false;
    }
    return true;
}

std::int64_t SecondsSince2024(const platform::DateTime& t) {
    const std::int64_t days = DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
                              DaysFromCivil(2024, 1, 1);
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::int32_t SecondsSince2024(platform::Clock& clock) {
    return static_cast<std::int32_t>(SecondsSince2024(clock.LocalNow()));
}

void AuthorizeSession(platform::System& system, const std::string& sessionId) {
    const std::string id = text::ToLowerAscii(text::TrimSpaces(sessionId));
    if (id.empty()) return;
    const std::int64_t expiry = static_cast<std::int64_t>(SecondsSince2024(system.clock)) + kSessionLifetimeSeconds;
    system.registry.WriteString(kSessionIdValue, id);
    system.registry.WriteString(kExpiresAtValue, std::to_string(static_cast<std::int32_t>(expiry)));
    WriteLog(system, "Support session authorized: " + id);
}

bool IsSessionAuthorized(platform::System& system, const std::string& sessionId) {
    const std::string id = text::ToLowerAscii(text::TrimSpaces(sessionId));
    if (id.empty()) return false;
    std::string storedId;
    std::string expiresText;
    std::int64_t expiresAt = 0;
    if (!ReadStoredId(system.registry, storedId) || !system.registry.ReadString(kExpiresAtValue, expiresText) ||
        !ParseStoredNumber(expiresText, expiresAt)) {
        return false;
    }
    // A stored ID that a URL could never carry is not a session of ours.
    if (!IsWellFormedSessionId(storedId)) return false;
    if (id != storedId) return false;
    if (expiresAt < SecondsSince2024(system.clock)) {
        ClearAuthorizedSession(system.registry);
        return false;
    }
    return true;
}

std::string GetAuthorizedSessionId(platform::System& system) {
    std::string storedId;
    if (!ReadStoredId(system.registry, storedId)) return {};
    return IsSessionAuthorized(system, storedId) ? storedId : std::string();
}

void ClearAuthorizedSession(platform::Registry& registry) {
    registry.Delete(kSessionIdValue);
    registry.Delete(kExpiresAtValue);
    registry.Delete(kSessionKey);
}

}  // namespace kelto::intake

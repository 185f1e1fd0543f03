// Support token codes: the 6-digit code a technician reads out on the phone. It is computed
// offline from the UTC time (5-minute windows counted from 2024-01-01 00:00:00 UTC) and
// the salt below, and is accepted in its own window and a short grace period either side.
// Whoever issues tokens (tools/kelto-token) links this same module, so the two sides
// cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace kelto::token {

// The one secret of the scheme; the same wherever tokens are issued.
inline constexpr std::string_view TokenSalt = "PLOVA5216SIGIL";

inline constexpr platform::DateTime kEpoch{2024, 1, 1, 0, 0, 0};  // UTC
inline constexpr std::int32_t kWindowSeconds = 300;
inline constexpr std::int32_t kModulus = 1000000;
inline constexpr std::int32_t kSeedMultiplier = 7919;
inline constexpr std::int32_t kSeedOffset = 731927;
inline constexpr std::int32_t kCharMultiplier = 131;
inline constexpr std::int32_t kCharWeight = 17;
// The previous window's token is still accepted up to and including this offset...
inline constexpr std::int32_t kPreviousGraceMaxOffset = 60;
// ...and the next window's token already from this offset on.
inline constexpr std::int32_t kNextGraceMinOffset = 240;
inline constexpr std::size_t kTokenLength = 6;

// Why an entry was accepted or refused.
enum class TokenReason {
    CurrentWindow,        // the token of the current window
    PreviousWindowGrace,  // the previous window's token, early in the current window
    NextWindowGrace,      // the next window's token, late in the current window
    Rejected,             // six digits, but none of the above
    Malformed,            // not six ASCII digits once the blanks around it are removed
};

struct TokenVerdict {
    bool accepted = false;
    TokenReason reason = TokenReason::Malformed;
    // The clock readings the decision was made on: the window is read for every well-formed
    // entry, the offset only when the entry is not the current window's token.
    std::int32_t window = 0;
    bool offsetRead = false;
    std::int32_t offset = 0;
};

// Decides whether the helper accepts the typed entry at the clock's current moment, and
// why. The clock is read twice (window, then offset) and not at all for a malformed entry.
TokenVerdict CheckToken(platform::Clock& clock, std::string_view entry);
// CheckToken reduced to its answer.
bool IsTokenValid(platform::Clock& clock, std::string_view entry);

// The 6-digit token of a window, zero-padded. Windows before the epoch may give a value
// with a minus sign, which no entry can match.
std::string ComputeToken(std::int32_t window);

// The current UTC date and time to the second.
platform::DateTime GetUtcNow(platform::Clock& clock);
// The current window index and the seconds elapsed in it, each from its own clock reading.
std::int32_t GetTokenWindow(platform::Clock& clock);
std::int32_t GetTokenWindowOffset(platform::Clock& clock);

// Whole seconds from the epoch to a UTC moment (negative before it), by the calendar.
std::int64_t SecondsSinceEpoch(const platform::DateTime& utc);
// Window index and offset of a count of seconds since the epoch: truncating division and
// a remainder with the sign of the dividend, as the helper has always computed them.
std::int32_t WindowOfSeconds(std::int64_t secondsSinceEpoch);
std::int32_t OffsetOfSeconds(std::int64_t secondsSinceEpoch);

// x minus its truncated multiple of 1000000 (the remainder keeps the sign of x). Exact for
// whole numbers far below 2^53, which is all the token arithmetic produces.
double ModMillion(double x);
// Exactly 6 characters, each an ASCII digit "0" to "9".
bool IsSixDigits(std::string_view text);

}  // namespace kelto::token

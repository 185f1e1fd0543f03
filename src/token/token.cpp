#include "token/token.h"

#include <cmath>

#include "base/calendar.h"
#include "base/text.h"

namespace kelto::token {

namespace {
// The window next to w; wraps at the ends of the 32-bit range instead of overflowing.
std::int32_t Neighbour(std::int32_t window, std::int32_t step) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(window) + step);
}

std::string FormatSixDigits(std::int32_t value) {
    // The pattern "000000": at least six digits, a minus sign in front of negative values.
    const std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::string digits = std::to_string(magnitude);
    if (digits.size() < kTokenLength) digits.insert(0, kTokenLength - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}
}  // namespace

std::int64_t SecondsSinceEpoch(const platform::DateTime& utc) {
    return calendar::SecondsBetween(kEpoch, utc);
}

// Both derive from the 64-bit count, so moments past 2092 (where a 32-bit count of seconds
// would overflow) still get their window; the window index itself fits 32 bits for
// thousands of years.
std::int32_t WindowOfSeconds(std::int64_t secondsSinceEpoch) {
    return static_cast<std::int32_t>(secondsSinceEpoch / kWindowSeconds);
}

std::int32_t OffsetOfSeconds(std::int64_t secondsSinceEpoch) {
    return static_cast<std::int32_t>(secondsSinceEpoch % kWindowSeconds);
}

platform::DateTime GetUtcNow(platform::Clock& clock) { return clock.UtcNow(); }

std::int32_t GetTokenWindow(platform::Clock& clock) {
    return WindowOfSeconds(SecondsSinceEpoch(GetUtcNow(clock)));
}

std::int32_t GetTokenWindowOffset(platform::Clock& clock) {
    return OffsetOfSeconds(SecondsSinceEpoch(GetUtcNow(clock)));
}

double ModMillion(double x) { return x - std::trunc(x / kModulus) * kModulus; }

bool IsSixDigits(std::string_view text) {
    if (text.size() != kTokenLength) return false;
    for (char c : text) {
        if (!text::IsAsciiDigit(c)) return false;
    }
    return true;
}

std::string ComputeToken(std::int32_t window) {
    const std::int32_t r = window % kModulus;
    double v = static_cast<double>(r) * kSeedMultiplier + kSeedOffset;
    v = ModMillion(v);
    for (char c : TokenSalt) {
        v = v * kCharMultiplier;
        v = v + kCharWeight * static_cast<double>(static_cast<unsigned char>(c));
        v = ModMillion(v);
    }
    return FormatSixDigits(static_cast<std::int32_t>(v));
}

TokenVerdict CheckToken(platform::Clock& clock, std::string_view entry) {
    TokenVerdict verdict;
    const std::string code = text::TrimSpaces(entry);
    if (!IsSixDigits(code)) {
        verdict.reason = TokenReason::Malformed;
        return verdict;
    }
    verdict.window = GetTokenWindow(clock);
    if (code == ComputeToken(verdict.window)) {
        verdict.accepted = true;
        verdict.reason = TokenReason::CurrentWindow;
        return verdict;
    }
    verdict.offset = GetTokenWindowOffset(clock);
    verdict.offsetRead = true;
    // The window was read first and the offset afterwards, each from its own reading of the
    // clock; the neighbours are those of the window read first.
    if (verdict.offset <= kPreviousGraceMaxOffset && code == ComputeToken(Neighbour(verdict.window, -1))) {
        verdict.accepted = true;
        verdict.reason = TokenReason::PreviousWindowGrace;
    } else if (verdict.offset >= kNextGraceMinOffset && code == ComputeToken(Neighbour(verdict.window, 1))) {
        verdict.accepted = true;
        verdict.reason = TokenReason::NextWindowGrace;
    } else {
        verdict.reason = TokenReason::Rejected;
    }
    return verdict;
}

bool IsTokenValid(platform::Clock& clock, std::string_view entry) {
    return CheckToken(clock, entry).accepted;
}

}  // namespace kelto::token

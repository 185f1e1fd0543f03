#include "intake/request_state.h"

namespace kelto::intake {

bool IsWellFormedSessionId(std::string_view sessionId) {
    if (sessionId.empty() || sessionId.size() > kMaxSessionIdLength) return false;
    for (char c : sessionId) {
        if (!IsSessionIdChar(c)) return false;
    }
    return true;
}

std::optional<std::int32_t> ReadPortDigits(std::string_view text) {
    if (text.empty() || text.size() > kMaxPortDigits) return std::nullopt;
    std::int32_t value = 0;
    for (char c : text) {
        if (!text::IsAsciiDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace kelto::intake

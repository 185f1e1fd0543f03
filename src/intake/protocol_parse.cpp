#include "intake/protocol_parse.h"

#include "base/text.h"

namespace kelto::intake {

namespace {
bool IsKeyChar(char c) { return text::IsAsciiLowerLetter(c) || text::IsAsciiDigit(c); }

// Everything after the first occurrence of `needle` in `haystack`, or nothing.
bool RestAfter(std::string_view haystack, std::string_view needle, std::string_view& rest) {
    const auto hit = haystack.find(needle);
    if (hit == std::string_view::npos) return false;
    rest = haystack.substr(hit + needle.size());
    return true;
}
}  // namespace

std::string ParseActionKey(std::string_view text) {
    std::string normal = text::RemoveChar(text::ToLowerAscii(text::TrimSpaces(text)), '"');
    normal = text::ReplaceAll(normal, "%3f", "?");
    normal = text::ReplaceAll(normal, "%3d", "=");
    normal = text::ReplaceAll(normal, "%2f", "/");

    std::string_view rest;
    if (!RestAfter(normal, "tool=", rest)) {
        if (!RestAfter(normal, "kelto:", rest)) return {};
        const auto first = rest.find_first_not_of("/\\");
        rest = first == std::string_view::npos ? std::string_view() : rest.substr(first);
    }
    std::size_t length = 0;
    while (length < rest.size() && IsKeyChar(rest[length])) ++length;
    return std::string(rest.substr(0, length));
}

std::string ParseSessionId(std::string_view text) { return ReadSessionId(text).id; }

SessionIdReading ReadSessionId(std::string_view text) {
    std::string normal = text::RemoveChar(text::TrimSpaces(text), '"');
    normal = text::ReplaceAll(normal, "%3f", "?");
    normal = text::ReplaceAll(normal, "%3d", "=");
    normal = text::ReplaceAll(normal, "%26", "&");

    // ASCII lower-casing keeps every byte in place, so positions found in the lower-case copy
    // hold in the text itself.
    const std::string lower = text::ToLowerAscii(normal);
    std::size_t start = 0;
    if (const auto path = lower.find("/sid/"); path != std::string::npos) {
        start = path + 5;
    } else if (const auto query = lower.find("sid="); query != std::string::npos) {
        start = query + 4;
    } else {
        return {};
    }
    SessionIdReading reading;
    reading.marked = true;
    std::size_t i = start;
    for (; i < normal.size() && reading.id.size() < kMaxSessionIdLength; ++i) {
        if (!IsSessionIdChar(normal[i])) break;
        reading.id.push_back(normal[i]);
    }
    reading.after = normal.substr(i);
    return reading;
}

std::string GetPathValue(std::string_view text, std::string_view name) {
    const std::string key = "/" + text::ToLowerAscii(name) + "/";
    const auto hit = text::ToLowerAscii(text).find(key);
    if (hit == std::string::npos) return {};
    std::string_view value = text.substr(hit + key.size());
    value = value.substr(0, value.find('/'));
    return text::RemoveChar(text::TrimSpaces(value), '"');
}

void ParseServerAddress(std::string_view text, RequestState& request) {
    request.ServerHost = text::ToLowerAscii(GetPathValue(text, "host"));
    const std::string port = GetPathValue(text, "port");
    const std::string tls = GetPathValue(text, "tls");

    const std::optional<std::int32_t> digits = ReadPortDigits(port);
    if (!digits || !IsValidHost(request.ServerHost)) {
        request.ServerHost.clear();
        request.ServerPort = 0;
    } else {
        request.ServerPort = PortOrZero(*digits);
    }
    request.ServerUseTls = tls == "1";
}

bool IsValidHost(std::string_view text) {
    if (text.empty() || text.size() > kMaxHostLength) return false;
    for (char c : text) {
        if (!IsHostChar(c)) return false;
    }
    return true;
}

bool IsAllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!text::IsAsciiDigit(c)) return false;
    }
    return true;
}

}  // namespace kelto::intake

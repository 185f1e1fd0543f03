#include "base/text.h"

namespace kelto::text {

std::string ToLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

std::string TrimSpaces(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

std::string RemoveChar(std::string_view s, char c) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        if (ch != c) out.push_back(ch);
    }
    return out;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        const auto hit = s.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string ParentFolder(std::string_view path) {
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string_view::npos) return {};
    return std::string(path.substr(0, cut));
}

}  // namespace kelto::text

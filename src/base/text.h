// ASCII text rules of the helper. Lower-casing, trimming and character classes follow the
// ASCII table only, never the locale: a non-ASCII letter is never folded into an ASCII one.
#pragma once

#include <string>
#include <string_view>

namespace kelto::text {

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLowerLetter(char c) { return c >= 'a' && c <= 'z'; }
// U+0000 to U+001F and U+007F (bytes of a UTF-8 text: no other byte is one).
constexpr bool IsAsciiControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string ToLowerAscii(std::string_view s);
// Removes leading and trailing space characters (the blank only; tabs stay).
std::string TrimSpaces(std::string_view s);
std::string RemoveChar(std::string_view s, char c);
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);
bool StartsWith(std::string_view s, std::string_view prefix);
// Everything before the last "\" (or "/"); empty when there is none.
std::string ParentFolder(std::string_view path);

}  // namespace kelto::text

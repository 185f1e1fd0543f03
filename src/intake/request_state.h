// The one request a process handles, and the rules every value of it obeys whichever road
// (a kelto: URL, the elevated command line, the stored session) it came in by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace kelto::intake {

// Whose request the process carries out. The elevated instance acts for the account that
// asked: with an administrator's credentials typed in a standard account it runs as that
// administrator, while the session and the folders are the customer's.
struct CustomerAccount {
    // The customer's SID when it is another account than this process's; empty otherwise.
    std::string sid;
    // The root of the customer's hive: "HKCU\" (this process's own) or "HKU\<SID>\".
    std::string registryRoot = "HKCU\\";
    // The customer's profile folder and TEMP; empty: this process's own.
    std::string profileFolder;
    std::string tempFolder;
};

// The values of the one request this process handles. Filled from a protocol URL or from
// the elevated command line; empty, 0 or false at process start.
struct RequestState {
    // 0 to 80 characters of A-Z, a-z, 0-9, "-" and "_", in the case they came in.
    std::string CurrentSessionId;
    // Empty, or 1 to 253 characters of a-z, 0-9, "." and "-".
    std::string ServerHost;
    // 0, or 1 to 65535; not 0 only when ServerHost is not empty.
    std::int32_t ServerPort = 0;
    bool ServerUseTls = false;
    // Set when an action was handed to the elevated instance, or the cable guide found the
    // internet back; the window that opened offline support then closes too.
    bool ActionLaunched = false;
    // The customer's account; this process's own unless the elevated line names another.
    CustomerAccount Customer;
};

// ---- session ID ----
inline constexpr std::size_t kMaxSessionIdLength = 80;

// Judged by the ASCII lower-case form; bytes of multi-byte UTF-8 characters never pass.
constexpr bool IsSessionIdChar(char c) {
    const char lower = text::AsciiLower(c);
    return text::IsAsciiLowerLetter(lower) || text::IsAsciiDigit(lower) || lower == '-' || lower == '_';
}

// A session ID the request state may hold: 1 to 80 characters of the class above. A value
// outside it would shift the fields of the elevated command line.
bool IsWellFormedSessionId(std::string_view sessionId);

// ---- server host ----
inline constexpr std::size_t kMaxHostLength = 253;

constexpr bool IsHostChar(char c) {
    const char lower = text::AsciiLower(c);
    return text::IsAsciiLowerLetter(lower) || text::IsAsciiDigit(lower) || lower == '.' || lower == '-';
}

// ---- server port ----
inline constexpr std::size_t kMaxPortDigits = 5;
inline constexpr std::int32_t kMaxPort = 65535;

// The value of 1 to 5 ASCII digits; nothing for anything else (empty, a sign, a blank, a
// sixth digit). At most 99999, so it never overflows.
std::optional<std::int32_t> ReadPortDigits(std::string_view text);
// The port itself when it lies in 1-65535, else 0 (the request then has no server).
constexpr std::int32_t PortOrZero(std::int32_t value) { return value >= 1 && value <= kMaxPort ? value : 0; }

}  // namespace kelto::intake

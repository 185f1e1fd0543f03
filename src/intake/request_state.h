#pragma once

#include <cstdint>
#include <string>

namespace kelto::intake {

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
};

}  // namespace kelto::intake

// Whether the internet is back: one short request to the address Windows itself uses to
// detect internet access. A yes/no probe; it logs and shows nothing.
#pragma once

#include "platform/system.h"

namespace kelto::ui {

// Windows' own network connectivity-status test file, over plain HTTP.
inline constexpr const char* kConnectivityTestUrl = "http://www.msftconnecttest.com/connecttest.txt";
// Name resolution, connection, sending, receiving (the wait for the answer), in milliseconds.
inline constexpr platform::HttpTimeouts kConnectivityTimeouts{2000, 2000, 2000, 2500};

// True when the test request got an answer with a status from 200 to 399 (after the request
// object's own handling of redirects); false for any other status or no answer at all.
// Synchronous: callers show that they are checking and let their window paint first.
bool IsInternetAvailable(platform::Http& http);

}  // namespace kelto::ui

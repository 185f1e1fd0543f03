// The system clock of a Linux host, for the host build of kelto-token.
#pragma once

#include "platform/system.h"

namespace kelto::tokentool {

class HostClock : public platform::Clock {
public:
    // The system time in UTC, to the second; the machine's time zone plays no part.
    platform::DateTime UtcNow() override;
    platform::DateTime LocalNow() override;
    void Sleep(int milliseconds) override;
};

}  // namespace kelto::tokentool

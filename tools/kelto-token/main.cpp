// kelto-token: prints and checks the support tokens of the Kelto client helper.
#include <iostream>
#include <string>
#include <vector>

#include "token_tool.h"

#ifdef _WIN32
#include "platform/win32/win32_system.h"
using SystemClock = kelto::platform::win32::Win32Clock;
#else
#include "host_clock.h"
using SystemClock = kelto::tokentool::HostClock;
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SystemClock clock;
    const int code = kelto::tokentool::Run(args, clock, std::cout, std::cerr);
    std::cout.flush();
    return code;
}

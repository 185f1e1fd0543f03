// kelto-token: prints and checks the support tokens of the Kelto client helper, and explains
// and builds its kelto: URLs.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "token_tool.h"

#ifdef _WIN32
#include "platform/win32/win32_console.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"
using SystemClock = kelto::platform::win32::Win32Clock;
#else
#include "host_clock.h"
using SystemClock = kelto::tokentool::HostClock;
#endif

namespace {
int RunTool(const std::vector<std::string>& args) {
    SystemClock clock;
    std::ostringstream out;
    std::ostringstream err;
    const int code = kelto::tokentool::Run(args, clock, out, err);
#ifdef _WIN32
    using kelto::platform::win32::StandardStream;
    kelto::platform::win32::WriteStandardStream(StandardStream::Output, out.str());
    kelto::platform::win32::WriteStandardStream(StandardStream::Error, err.str());
#else
    std::cout << out.str() << std::flush;
    std::cerr << err.str() << std::flush;
#endif
    return code;
}
}  // namespace

#ifdef _WIN32
// The wide arguments, so that a URL with letters outside the ANSI code page arrives whole.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(kelto::platform::win32::Narrow(argv[i]));
    return RunTool(args);
}
#else
int main(int argc, char** argv) { return RunTool(std::vector<std::string>(argv + 1, argv + argc)); }
#endif

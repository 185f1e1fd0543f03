// Fuzz target: the command line and the ISO 8601 moments of kelto-token take any bytes, and
// so do the arguments of explain and url.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "token_tool.h"

namespace {
// A clock that is never right: the fuzzer decides what it reads.
class FuzzClock : public kelto::platform::Clock {
public:
    kelto::platform::DateTime utc;
    kelto::platform::DateTime UtcNow() override { return utc; }
    kelto::platform::DateTime LocalNow() override { return utc; }
    void Sleep(int) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    (void)kelto::tokentool::ParseUtcMoment(input);
    (void)kelto::tokentool::ParseWindow(input);

    // NUL-separated arguments; the first six bytes set a plausible system clock and the first
    // also chooses a subcommand, so that explain and url see arbitrary arguments too.
    FuzzClock clock;
    if (size >= 6) {
        clock.utc = {2000 + data[0] % 100, 1 + data[1] % 12, 1 + data[2] % 28,
                     data[3] % 24,         data[4] % 60,     data[5] % 60};
    }
    std::vector<std::string> args;
    if (size >= 6 && data[0] % 3 == 1) args.push_back("explain");
    if (size >= 6 && data[0] % 3 == 2) args.push_back("url");
    std::string current;
    for (std::size_t i = size >= 6 ? 6 : size; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty()) args.push_back(current);
    std::ostringstream out;
    std::ostringstream err;
    const int code = kelto::tokentool::Run(args, clock, out, err);
    if (code < 0 || code > 3) __builtin_trap();
    // A refusal is one line.
    if (!args.empty() && (args[0] == "explain" || args[0] == "url") && code == 2) {
        const std::string message = err.str();
        if (message.empty() || message.find('\n') != message.size() - 1) __builtin_trap();
    }
    return 0;
}

// kelto-token: the technician's side of the support tokens. It links the helper's own token
// module, so the tokens it prints and the answers of --check are those of the helper.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace kelto::tokentool {

// Exit codes, for scripts.
inline constexpr int kExitOk = 0;           // printed; or --check: the helper accepts the code
inline constexpr int kExitRefused = 1;      // --check: the helper refuses the code
inline constexpr int kExitUsage = 2;        // bad arguments
inline constexpr int kExitBeforeEpoch = 3;  // the moment (or window) lies before 2024-01-01 00:00:00 UTC

struct Options {
    bool help = false;
    std::optional<std::string> at;
    std::optional<std::string> window;
    std::optional<std::string> check;
};

struct ParsedArguments {
    Options options;
    std::string error;  // empty when the arguments are usable
};

// The command-line arguments (without the program name).
ParsedArguments ParseArguments(const std::vector<std::string>& args);

// An ISO 8601 date and time, "YYYY-MM-DDTHH:MM[:SS[.fraction]]" ("T" or a blank between date
// and time), then "Z", a "+HH:MM" / "+HHMM" / "+HH" offset (either sign) or nothing for
// UTC. Fractions of a second are dropped, as the helper's clock drops them. The result is
// whole seconds since 2024-01-01 00:00:00 UTC; nothing when the text is not such a moment.
std::optional<std::int64_t> ParseUtcMoment(std::string_view text);
// A window index: decimal digits with an optional minus sign, within 32 bits.
std::optional<std::int32_t> ParseWindow(std::string_view text);

// The UTC date and time a number of seconds after (or before) 2024-01-01 00:00:00 UTC.
platform::DateTime MomentAt(std::int64_t secondsSinceEpoch);
// "YYYY-MM-DDTHH:MM:SSZ".
std::string FormatMoment(const platform::DateTime& utc);

// The whole tool: prints on out / err and returns the exit code.
int Run(const std::vector<std::string>& args, platform::Clock& systemClock, std::ostream& out,
        std::ostream& err);

}  // namespace kelto::tokentool

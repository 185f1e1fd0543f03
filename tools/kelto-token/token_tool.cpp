#include "token_tool.h"

#include <cstdio>
#include <limits>

#include "base/calendar.h"
#include "base/text.h"
#include "token/token.h"
#include "url_tool.h"

namespace kelto::tokentool {

namespace {

constexpr const char* kUsage =
    "Usage: kelto-token [--at TIME] [--check CODE]\n"
    "       kelto-token --window N\n"
    "       kelto-token explain [--json] [--] URL\n"
    "       kelto-token url [--json] KEY [--sid ID] [--host HOST --port PORT [--tls]]\n"
    "       kelto-token --help\n"
    "\n"
    "Support tokens of the Kelto client helper: one 6-digit code per 5-minute window,\n"
    "windows counted from 2024-01-01 00:00:00 UTC.\n"
    "\n"
    "  (no option)     the current token, its window and the seconds until the next window\n"
    "  --at TIME       the same at another moment. TIME is ISO 8601, for example\n"
    "                  2025-12-10T16:02:17Z; without a zone it is UTC, an offset such as\n"
    "                  +02:00 is converted\n"
    "  --window N      the token of window N (0 or more)\n"
    "  --check CODE    whether the helper accepts CODE now (or at --at TIME), and why\n"
    "  --help          this text\n"
    "\n"
    "  explain URL     what the helper does with a kelto: URL, from its own code: the action\n"
    "                  key, session ID and server it keeps, the boxes the customer sees and\n"
    "                  what the elevated helper starts on 64- and 32-bit Windows. The URL is\n"
    "                  taken in double quotes, which the registered open command adds; quote\n"
    "                  it for your shell. Exit 0: the request goes on; 1: the helper refuses it\n"
    "  url KEY         the URL for a catalogue key or \"offline\", with --sid ID and\n"
    "                  --host HOST --port PORT [--tls]; refused (exit 2) when the helper would\n"
    "                  cut, drop or refuse a value\n"
    "  --json          with explain or url: the same as a JSON object\n"
    "\n"
    "Exit status: 0 printed, or the code is accepted; 1 the code is refused;\n"
    "2 bad arguments; 3 the moment or window lies before 2024-01-01 00:00:00 UTC.\n";

using calendar::kSecondsPerDay;

// A clock that always reads the same moment: --at.
class FixedClock : public platform::Clock {
public:
    explicit FixedClock(platform::DateTime utc) : utc_(utc) {}
    platform::DateTime UtcNow() override { return utc_; }
    platform::DateTime LocalNow() override { return utc_; }
    void Sleep(int) override {}

private:
    platform::DateTime utc_;
};

// Passes readings through and keeps the first, so that what is printed is the moment the
// decision was made on.
class RecordingClock : public platform::Clock {
public:
    explicit RecordingClock(platform::Clock& inner) : inner_(inner) {}
    platform::DateTime UtcNow() override {
        const platform::DateTime t = inner_.UtcNow();
        if (!first) first = t;
        return t;
    }
    platform::DateTime LocalNow() override { return inner_.LocalNow(); }
    void Sleep(int milliseconds) override { inner_.Sleep(milliseconds); }
    std::optional<platform::DateTime> first;

private:
    platform::Clock& inner_;
};

// Days from 1970-01-01 to the epoch of the windows.
std::int64_t EpochDay() {
    const platform::DateTime unixEpoch{1970, 1, 1, 0, 0, 0};
    return -token::SecondsSinceEpoch(unixEpoch) / kSecondsPerDay;
}

// Reads exactly `count` ASCII digits at text[pos].
bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (text.size() - pos < count) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

// "Z", "+HH:MM", "+HHMM", "+HH" (or "-"), or nothing; the offset east of UTC in seconds.
bool ReadZone(std::string_view text, std::size_t& pos, std::int64_t& offsetSeconds) {
    offsetSeconds = 0;
    if (pos == text.size()) return true;
    if (text[pos] == 'Z' || text[pos] == 'z') {
        ++pos;
        return true;
    }
    if (text[pos] != '+' && text[pos] != '-') return false;
    const int sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(text, pos, 2, hours) || hours > 23) return false;
    if (pos < text.size()) {
        Expect(text, pos, ':');
        if (!ReadDigits(text, pos, 2, minutes) || minutes > 59) return false;
    }
    offsetSeconds = sign * (hours * 3600LL + minutes * 60LL);
    return true;
}

std::string WindowLine(std::int32_t window) {
    const std::int64_t start = static_cast<std::int64_t>(window) * token::kWindowSeconds;
    return "Window:         " + std::to_string(window) + " (starts " + FormatMoment(MomentAt(start)) + ")\n";
}

// The first and last second at which the helper accepts the window's token, found by asking
// the helper's own check around the window, so that the two cannot disagree.
std::string AcceptedLine(std::int32_t window) {
    const std::string code = token::ComputeToken(window);
    const std::int64_t start = static_cast<std::int64_t>(window) * token::kWindowSeconds;
    std::optional<std::int64_t> first;
    std::int64_t last = 0;
    for (std::int64_t s = start - 2 * token::kWindowSeconds; s <= start + 2 * token::kWindowSeconds; ++s) {
        FixedClock clock(MomentAt(s));
        if (!token::IsTokenValid(clock, code)) continue;
        if (!first) first = s;
        last = s;
    }
    if (!first) return "Accepted:       never (the token is not six digits)\n";
    return "Accepted:       " + FormatMoment(MomentAt(*first)) + " to " + FormatMoment(MomentAt(last)) +
           " (both included)\n";
}

void PrintMoment(std::int64_t seconds, std::ostream& out) {
    const std::int32_t window = token::WindowOfSeconds(seconds);
    const std::int32_t offset = token::OffsetOfSeconds(seconds);
    out << "Time (UTC):     " << FormatMoment(MomentAt(seconds)) << "\n"
        << "Token:          " << token::ComputeToken(window) << "\n"
        << WindowLine(window) << AcceptedLine(window)
        << "Next window in: " << (token::kWindowSeconds - offset) << " s\n";
}

std::string VerdictText(const token::TokenVerdict& v, std::string_view entry) {
    switch (v.reason) {
        case token::TokenReason::CurrentWindow:
            return "accepted, the token of the current window";
        case token::TokenReason::PreviousWindowGrace:
            return "accepted, the token of the previous window (" + std::to_string(v.window - 1LL) +
                   "), within its grace period (offsets up to 60 s)";
        case token::TokenReason::NextWindowGrace:
            return "accepted, the token of the next window (" + std::to_string(v.window + 1LL) +
                   "), within its grace period (offsets from 240 s)";
        case token::TokenReason::Malformed:
            return "refused, not six digits 0-9 (only blanks around them are ignored)";
        case token::TokenReason::Rejected:
            break;
    }
    // Refused: say whether it is a neighbour's token outside its grace, which is what a
    // technician usually needs to know.
    const std::string trimmed = text::TrimSpaces(entry);
    const std::int64_t previous = static_cast<std::int64_t>(v.window) - 1;
    const std::int64_t next = static_cast<std::int64_t>(v.window) + 1;
    if (previous >= std::numeric_limits<std::int32_t>::min() &&
        trimmed == token::ComputeToken(static_cast<std::int32_t>(previous))) {
        return "refused, the token of the previous window (" + std::to_string(previous) +
               "), whose grace period ended at offset 60 s";
    }
    if (next <= std::numeric_limits<std::int32_t>::max() &&
        trimmed == token::ComputeToken(static_cast<std::int32_t>(next))) {
        return "refused, the token of the next window (" + std::to_string(next) +
               "), whose grace period begins at offset 240 s";
    }
    return "refused, not the token of this window nor of a neighbouring one";
}

std::string BeforeEpochMessage(std::int64_t seconds, bool systemClock) {
    return (systemClock ? "the system clock reads " : "the time ") + FormatMoment(MomentAt(seconds)) +
           (systemClock ? "," : " is") + " before 2024-01-01T00:00:00Z, where token windows begin";
}

int Fail(std::ostream& err, int code, const std::string& message) {
    err << "kelto-token: " << message << "\n";
    if (code == kExitUsage) err << "Try 'kelto-token --help'.\n";
    return code;
}

int RunCheck(const std::string& code, platform::Clock& clock, bool fixed, std::ostream& out,
             std::ostream& err) {
    RecordingClock recording(clock);
    const token::TokenVerdict verdict = token::CheckToken(recording, code);
    if (recording.first) {
        const std::int64_t seconds = token::SecondsSinceEpoch(*recording.first);
        if (seconds < 0) {
            return Fail(err, kExitBeforeEpoch, BeforeEpochMessage(seconds, !fixed));
        }
        out << "Time (UTC):     " << FormatMoment(*recording.first) << "\n"
            << WindowLine(token::WindowOfSeconds(seconds))
            << "Offset:         " << token::OffsetOfSeconds(seconds) << " s\n";
    }
    out << "Verdict:        " << VerdictText(verdict, code) << "\n";
    return verdict.accepted ? kExitOk : kExitRefused;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    Options& o = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        std::optional<std::string>* slot = nullptr;
        if (name == "--at") slot = &o.at;
        if (name == "--window") slot = &o.window;
        if (name == "--check") slot = &o.check;
        if (slot == nullptr) {
            parsed.error = arg.rfind("-", 0) == 0 ? "unknown option '" + name + "'"
                                                  : "unexpected argument '" + arg + "'";
            return parsed;
        }
        if (*slot) {
            parsed.error = name + " given twice";
            return parsed;
        }
        if (!value) {
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
                parsed.error = name + " needs a value";
                return parsed;
            }
            value = args[++i];
        }
        *slot = *value;
    }
    if (o.window && (o.at || o.check)) parsed.error = "--window cannot be combined with --at or --check";
    return parsed;
}

std::optional<std::int64_t> ParseUtcMoment(std::string_view text) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(text, pos, 4, year) || !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, month) ||
        !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, day)) {
        return std::nullopt;
    }
    if (pos >= text.size() || (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' ')) return std::nullopt;
    ++pos;
    if (!ReadDigits(text, pos, 2, hour) || !Expect(text, pos, ':') || !ReadDigits(text, pos, 2, minute)) {
        return std::nullopt;
    }
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!ReadDigits(text, pos, 2, second)) return std::nullopt;
        if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
            ++pos;
            const std::size_t digitsStart = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
            if (pos == digitsStart) return std::nullopt;
        }
    }
    std::int64_t offsetSeconds = 0;
    if (!ReadZone(text, pos, offsetSeconds) || pos != text.size()) return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > calendar::DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    return token::SecondsSinceEpoch({year, month, day, hour, minute, second}) - offsetSeconds;
}

std::optional<std::int32_t> ParseWindow(std::string_view text) {
    std::size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++pos;
    if (pos == text.size() || text.size() - pos > 10) return std::nullopt;
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') return std::nullopt;
        value = value * 10 + (text[pos] - '0');
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

platform::DateTime MomentAt(std::int64_t secondsSinceEpoch) {
    const std::int64_t days = calendar::FloorDiv(secondsSinceEpoch, kSecondsPerDay);
    const std::int64_t secondOfDay = secondsSinceEpoch - days * kSecondsPerDay;
    platform::DateTime t = calendar::CivilFromDays(EpochDay() + days);
    t.hour = static_cast<int>(secondOfDay / 3600);
    t.minute = static_cast<int>(secondOfDay / 60 % 60);
    t.second = static_cast<int>(secondOfDay % 60);
    return t;
}

std::string FormatMoment(const platform::DateTime& utc) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.year, utc.month, utc.day,
                  utc.hour, utc.minute, utc.second);
    return buffer;
}

int Run(const std::vector<std::string>& args, platform::Clock& systemClock, std::ostream& out,
        std::ostream& err) {
    if (!args.empty() && (args[0] == "explain" || args[0] == "url")) {
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        return args[0] == "explain" ? RunExplain(rest, out, err) : RunUrl(rest, out, err);
    }
    const ParsedArguments parsed = ParseArguments(args);
    const Options& o = parsed.options;
    if (o.help) {
        out << kUsage;
        return kExitOk;
    }
    if (!parsed.error.empty()) return Fail(err, kExitUsage, parsed.error);

    if (o.window) {
        const std::optional<std::int32_t> window = ParseWindow(*o.window);
        if (!window)
            return Fail(err, kExitUsage, "--window needs a whole number of 32 bits, not '" + *o.window + "'");
        if (*window < 0)
            return Fail(err, kExitBeforeEpoch,
                        "window " + *o.window + " is before 2024-01-01T00:00:00Z, where token windows begin");
        out << "Token:          " << token::ComputeToken(*window) << "\n"
            << WindowLine(*window) << AcceptedLine(*window);
        return kExitOk;
    }

    std::optional<std::int64_t> at;
    if (o.at) {
        at = ParseUtcMoment(*o.at);
        if (!at) {
            return Fail(
                err, kExitUsage,
                "--at needs an ISO 8601 date and time such as 2025-12-10T16:02:17Z, not '" + *o.at + "'");
        }
        if (*at < 0) return Fail(err, kExitBeforeEpoch, BeforeEpochMessage(*at, false));
    }

    if (o.check) {
        if (at) {
            FixedClock fixed(MomentAt(*at));
            return RunCheck(*o.check, fixed, true, out, err);
        }
        return RunCheck(*o.check, systemClock, false, out, err);
    }

    const std::int64_t seconds = at ? *at : token::SecondsSinceEpoch(token::GetUtcNow(systemClock));
    if (seconds < 0) return Fail(err, kExitBeforeEpoch, BeforeEpochMessage(seconds, true));
    PrintMoment(seconds, out);
    return kExitOk;
}

}  // namespace kelto::tokentool

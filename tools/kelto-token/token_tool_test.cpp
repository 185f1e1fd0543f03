#include "token_tool.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fakes.h"

namespace kelto::tokentool {
namespace {

using kelto::testing::FakeClock;

struct MomentCase {
    const char* text;
    std::int64_t seconds;  // since 2024-01-01T00:00:00Z
};
void PrintTo(const MomentCase& c, std::ostream* os) { *os << c.text; }

class ValidMoments : public ::testing::TestWithParam<MomentCase> {};

TEST_P(ValidMoments, Parse) {
    const auto seconds = ParseUtcMoment(GetParam().text);
    ASSERT_TRUE(seconds.has_value()) << GetParam().text;
    EXPECT_EQ(*seconds, GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValidMoments,
    ::testing::Values(
        MomentCase{"2024-01-01T00:00:00Z", 0}, MomentCase{"2024-01-01T00:00:00", 0},
        MomentCase{"2024-01-01 00:00:00Z", 0}, MomentCase{"2024-01-01t00:00:00z", 0},
        MomentCase{"2024-01-01T00:05Z", 300}, MomentCase{"2024-01-01T00:04:59.999Z", 299},
        MomentCase{"2024-01-01T00:04:59,5Z", 299}, MomentCase{"2024-02-29T00:00:00Z", 5097600},
        MomentCase{"2025-12-10T16:02:17Z", 61315337}, MomentCase{"2025-12-10T18:02:17+02:00", 61315337},
        MomentCase{"2025-12-10T18:02:17+0200", 61315337}, MomentCase{"2025-12-10T18:02:17+02", 61315337},
        MomentCase{"2025-12-10T12:32:17-03:30", 61315337}, MomentCase{"2025-12-10T16:02:17-00:00", 61315337},
        // Offsets can carry a moment across the epoch either way.
        MomentCase{"2024-01-01T01:00:00+02:00", -3600}, MomentCase{"2023-12-31T23:00:00-01:00", 0},
        MomentCase{"2033-07-04T05:20:00Z", 300000000}, MomentCase{"2092-01-19T03:14:08Z", 2147483648LL},
        MomentCase{"1970-01-01T00:00:00Z", -1704067200}, MomentCase{"9999-12-31T23:59:59Z", 251698233599LL}));

class InvalidMoments : public ::testing::TestWithParam<std::string> {};

TEST_P(InvalidMoments, Refused) { EXPECT_FALSE(ParseUtcMoment(GetParam()).has_value()); }

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidMoments,
    ::testing::Values("", "2024", "2024-01-01", "2024-01-01T", "2024-01-01T00",
                      "2024-01-01T00:00:", "2024-01-01T00:00:0", "2024-1-01T00:00:00Z", "24-01-01T00:00:00Z",
                      "2024-01-01X00:00:00Z", "2024-01-01T00:00:00.Z", "2024-01-01T00:00:00ZZ",
                      "2024-01-01T00:00:00 Z", " 2024-01-01T00:00:00Z", "2024-01-01T00:00:00Z ",
                      "2024-13-01T00:00:00Z", "2024-00-01T00:00:00Z", "2024-01-00T00:00:00Z",
                      "2023-02-29T00:00:00Z", "2100-02-29T00:00:00Z", "2024-04-31T00:00:00Z",
                      "2024-01-01T24:00:00Z", "2024-01-01T00:60:00Z", "2024-01-01T00:00:60Z",
                      "2024-01-01T00:00:00+24:00", "2024-01-01T00:00:00+01:60", "2024-01-01T00:00:00+1",
                      "2024-01-01T00:00:00+01:", "2024-01-01T00:00:00+01:0", "2024-01-01T00:00:00EST",
                      "２０２４-01-01T00:00:00Z", std::string("2024-01-01T00:00:00\0Z", 21),
                      "-024-01-01T00:00:00Z", "+2024-01-01T00:00:00Z"));

struct FormatCase {
    std::int64_t seconds;
    const char* text;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.seconds << " s"; }

class Formatting : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Formatting, CalendarMoment) { EXPECT_EQ(FormatMoment(MomentAt(GetParam().seconds)), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Table, Formatting,
                         ::testing::Values(FormatCase{0, "2024-01-01T00:00:00Z"},
                                           FormatCase{-1, "2023-12-31T23:59:59Z"},
                                           FormatCase{-86400, "2023-12-31T00:00:00Z"},
                                           FormatCase{5097599, "2024-02-28T23:59:59Z"},
                                           FormatCase{5097600, "2024-02-29T00:00:00Z"},
                                           FormatCase{5184000, "2024-03-01T00:00:00Z"},
                                           FormatCase{61315337, "2025-12-10T16:02:17Z"},
                                           FormatCase{300000000, "2033-07-04T05:20:00Z"},
                                           FormatCase{2147483648LL, "2092-01-19T03:14:08Z"},
                                           FormatCase{4102444800LL - 1704067200, "2100-01-01T00:00:00Z"}));

struct ArgsCase {
    std::vector<std::string> args;
    const char* error;  // empty: accepted
};
void PrintTo(const ArgsCase& c, std::ostream* os) {
    *os << "[";
    for (const std::string& a : c.args) *os << " " << a;
    *os << " ]";
}

class Arguments : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(Arguments, ErrorsNameTheProblem) {
    EXPECT_EQ(ParseArguments(GetParam().args).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Arguments,
    ::testing::Values(
        ArgsCase{{}, ""}, ArgsCase{{"--at", "x"}, ""}, ArgsCase{{"--at=x"}, ""},
        ArgsCase{{"--check", "123456", "--at", "x"}, ""}, ArgsCase{{"--check="}, ""},
        ArgsCase{{"--window", "-1"}, ""}, ArgsCase{{"--help", "--bogus"}, "unknown option '--bogus'"},
        ArgsCase{{"--bogus"}, "unknown option '--bogus'"}, ArgsCase{{"-x"}, "unknown option '-x'"},
        ArgsCase{{"--bogus=1"}, "unknown option '--bogus'"},
        ArgsCase{{"123456"}, "unexpected argument '123456'"}, ArgsCase{{"--at"}, "--at needs a value"},
        ArgsCase{{"--check", "--at", "x"}, "--check needs a value"},
        ArgsCase{{"--at", "x", "--at", "y"}, "--at given twice"},
        ArgsCase{{"--at=x", "--at", "y"}, "--at given twice"},
        ArgsCase{{"--window", "1", "--at", "x"}, "--window cannot be combined with --at or --check"},
        ArgsCase{{"--check", "1", "--window", "1"}, "--window cannot be combined with --at or --check"},
        ArgsCase{{"--AT", "x"}, "unknown option '--AT'"}));

struct WindowCase {
    const char* text;
    std::optional<std::int32_t> window;
};
void PrintTo(const WindowCase& c, std::ostream* os) { *os << "'" << c.text << "'"; }

class Windows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(Windows, ThirtyTwoBitWholeNumbers) { EXPECT_EQ(ParseWindow(GetParam().text), GetParam().window); }

INSTANTIATE_TEST_SUITE_P(
    Table, Windows,
    ::testing::Values(WindowCase{"0", 0}, WindowCase{"204384", 204384}, WindowCase{"-1", -1},
                      WindowCase{"0000000000299", std::nullopt}, WindowCase{"2147483647", 2147483647},
                      WindowCase{"2147483648", std::nullopt},
                      WindowCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                      WindowCase{"-2147483649", std::nullopt}, WindowCase{"", std::nullopt},
                      WindowCase{"-", std::nullopt}, WindowCase{"+1", std::nullopt},
                      WindowCase{"1e3", std::nullopt}, WindowCase{" 1", std::nullopt},
                      WindowCase{"99999999999999999999", std::nullopt}));

// The system clock road: what the tool reads, and how often.
struct Output {
    int code;
    std::string out;
    std::string err;
};

Output RunWith(FakeClock& clock, const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = Run(args, clock, out, err);
    return {code, out.str(), err.str()};
}

TEST(SystemClock, PrintsTheCurrentTokenFromOneReading) {
    FakeClock clock;
    clock.utc = {2025, 12, 10, 16, 2, 17};
    clock.local = {2025, 12, 10, 18, 2, 17};
    const Output r = RunWith(clock, {});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.out,
              "Time (UTC):     2025-12-10T16:02:17Z\n"
              "Token:          226939\n"
              "Window:         204384 (starts 2025-12-10T16:00:00Z)\n"
              "Accepted:       2025-12-10T15:59:00Z to 2025-12-10T16:06:00Z (both included)\n"
              "Next window in: 163 s\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(clock.utcReads, 1);
}

TEST(SystemClock, CheckReadsTheClockAsTheHelperDoes) {
    FakeClock clock;
    clock.utc = {2024, 1, 1, 0, 6, 0};  // window 1, offset 60
    Output r = RunWith(clock, {"--check", "072923"});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(
        r.out,
        "Time (UTC):     2024-01-01T00:06:00Z\n"
        "Window:         1 (starts 2024-01-01T00:05:00Z)\n"
        "Offset:         60 s\n"
        "Verdict:        accepted, the token of the previous window (0), within its grace period (offsets "
        "up to 60 s)\n");
    EXPECT_EQ(clock.utcReads, 2);

    clock.utcReads = 0;
    r = RunWith(clock, {"--check", "12345"});
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_EQ(r.out, "Verdict:        refused, not six digits 0-9 (only blanks around them are ignored)\n");
    EXPECT_EQ(clock.utcReads, 0);

    clock.utc = {2024, 1, 1, 0, 6, 1};
    r = RunWith(clock, {"--check", " 072923 "});
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_NE(
        r.out.find(
            "Verdict:        refused, the token of the previous window (0), whose grace period ended at "
            "offset 60 s\n"),
        std::string::npos)
        << r.out;
}

TEST(SystemClock, BeforeTheEpochIsRefused) {
    FakeClock clock;
    clock.utc = {2023, 12, 31, 23, 59, 59};
    Output r = RunWith(clock, {});
    EXPECT_EQ(r.code, kExitBeforeEpoch);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "kelto-token: the system clock reads 2023-12-31T23:59:59Z, before 2024-01-01T00:00:00Z, where "
              "token windows begin\n");
    r = RunWith(clock, {"--check", "072923"});
    EXPECT_EQ(r.code, kExitBeforeEpoch);
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace kelto::tokentool

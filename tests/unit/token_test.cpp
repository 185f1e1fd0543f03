#include "token/token.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iomanip>
#include <limits>
#include <ostream>
#include <string>

#include "support/fakes.h"

namespace kelto::token {
namespace {

using kelto::testing::FakeClock;
using platform::DateTime;

// ---------------------------------------------------------------------------------------
// The token function. Expected tokens come from a separate implementation of the scheme.

struct WindowToken {
    std::int32_t window;
    const char* token;
};
void PrintTo(const WindowToken& c, std::ostream* os) { *os << "window " << c.window; }

class TokenOfWindow : public ::testing::TestWithParam<WindowToken> {};

TEST_P(TokenOfWindow, MatchesReference) { EXPECT_EQ(ComputeToken(GetParam().window), GetParam().token); }

INSTANTIATE_TEST_SUITE_P(
    Reference, TokenOfWindow,
    ::testing::Values(WindowToken{0, "072923"}, WindowToken{1, "765522"}, WindowToken{2, "458121"},
                      WindowToken{3, "150720"}, WindowToken{299, "160024"}, WindowToken{204384, "226939"},
                      WindowToken{999998, "687725"}, WindowToken{999999, "380324"},
                      WindowToken{1000000, "072923"}, WindowToken{1000001, "765522"},
                      // Before the epoch the remainders keep their sign: some tokens are
                      // negative and can never be typed, others look like ordinary tokens.
                      WindowToken{-1, "380324"}, WindowToken{-12, "761735"}, WindowToken{-300, "-706777"},
                      // The ends of the 32-bit range: no overflow, the padding stays behind the sign.
                      WindowToken{std::numeric_limits<std::int32_t>::max(), "501476"},
                      WindowToken{std::numeric_limits<std::int32_t>::min(), "-048229"}));

TEST(TokenFunction, EveryWindowOfACycleGivesSixDigitsAndRepeatsOneCycleLater) {
    for (std::int32_t w = 0; w < 1000000; ++w) {
        const std::string token = ComputeToken(w);
        ASSERT_TRUE(IsSixDigits(token)) << "window " << w << ": " << token;
        ASSERT_EQ(ComputeToken(w + 1000000), token) << "window " << w;
    }
}

TEST(TokenFunction, RepeatsEveryMillionWindowsUpToTheEndOfTheRange) {
    constexpr std::int32_t kLast = std::numeric_limits<std::int32_t>::max() - 1000000;
    for (std::int32_t w = kLast; w > 0; w -= 999983) {
        ASSERT_EQ(ComputeToken(w), ComputeToken(w + 1000000)) << "window " << w;
    }
}

struct ModCase {
    double x;
    double expected;
};
void PrintTo(const ModCase& c, std::ostream* os) { *os << std::fixed << std::setprecision(0) << c.x; }

class ModMillionCases : public ::testing::TestWithParam<ModCase> {};

TEST_P(ModMillionCases, KeepsTheSignOfX) { EXPECT_EQ(ModMillion(GetParam().x), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, ModMillionCases,
                         ::testing::Values(ModCase{0, 0}, ModCase{999999, 999999}, ModCase{1000000, 0},
                                           ModCase{1234567, 234567}, ModCase{131000000 + 2159, 2159},
                                           // the largest seed: 999999 * 7919 + 731927
                                           ModCase{7919723008.0, 723008}, ModCase{-1, -1},
                                           ModCase{-1000001, -1}, ModCase{-2500000, -500000},
                                           ModCase{-7918260154.0, -260154}));

struct DigitsCase {
    const char* name;
    std::string text;
    bool expected;
};
void PrintTo(const DigitsCase& c, std::ostream* os) { *os << c.name; }

class SixDigits : public ::testing::TestWithParam<DigitsCase> {};

TEST_P(SixDigits, OnlyAsciiDigits) { EXPECT_EQ(IsSixDigits(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, SixDigits,
    ::testing::Values(DigitsCase{"zeros", "000000", true}, DigitsCase{"nines", "999999", true},
                      DigitsCase{"empty", "", false}, DigitsCase{"five", "12345", false},
                      DigitsCase{"seven", "1234567", false}, DigitsCase{"letter", "12a456", false},
                      DigitsCase{"plus", "+12345", false}, DigitsCase{"minus", "-12345", false},
                      DigitsCase{"blank", " 12345", false}, DigitsCase{"slash", "12345/", false},
                      DigitsCase{"colon", "12345:", false},
                      DigitsCase{"nul", std::string{'1', '2', '3', '\0', '5', '6'}, false},
                      DigitsCase{"fullwidth", "１２３４５６", false},
                      DigitsCase{"fullwidth_last", "12345６", false},
                      DigitsCase{"arabic_indic", "12345٦", false},
                      DigitsCase{"high_bytes", "\xB0\xB1\xB2\xB3\xB4\xB5", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Seconds, windows and offsets from the UTC clock.

struct MomentCase {
    DateTime utc;
    std::int64_t seconds;
    std::int32_t window;
    std::int32_t offset;
};
void PrintTo(const MomentCase& c, std::ostream* os) { *os << c.seconds << " s"; }

class WindowOfMoment : public ::testing::TestWithParam<MomentCase> {};

TEST_P(WindowOfMoment, CalendarSecondsTruncatedDivision) {
    const MomentCase& c = GetParam();
    EXPECT_EQ(SecondsSinceEpoch(c.utc), c.seconds);
    FakeClock clock;
    clock.utc = c.utc;
    EXPECT_EQ(GetTokenWindow(clock), c.window);
    EXPECT_EQ(GetTokenWindowOffset(clock), c.offset);
    EXPECT_EQ(clock.utcReads, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowOfMoment,
    ::testing::Values(
        MomentCase{{2024, 1, 1, 0, 0, 0}, 0, 0, 0}, MomentCase{{2024, 1, 1, 0, 4, 59}, 299, 0, 299},
        MomentCase{{2024, 1, 1, 0, 5, 0}, 300, 1, 0}, MomentCase{{2024, 2, 29, 0, 0, 0}, 5097600, 16992, 0},
        MomentCase{{2024, 3, 1, 0, 0, 0}, 5184000, 17280, 0},
        MomentCase{{2025, 1, 1, 0, 0, 0}, 31622400, 105408, 0},
        MomentCase{{2025, 12, 10, 16, 2, 17}, 61315337, 204384, 137},
        MomentCase{{2033, 7, 4, 5, 20, 0}, 300000000, 1000000, 0},
        // Before the epoch: quotient toward zero, remainder with the dividend's sign.
        MomentCase{{2023, 12, 31, 23, 59, 59}, -1, 0, -1}, MomentCase{{2023, 12, 31, 23, 55, 0}, -300, -1, 0},
        MomentCase{{2023, 12, 31, 23, 54, 59}, -301, -1, -1},
        MomentCase{{2023, 12, 30, 23, 0, 0}, -90000, -300, 0},
        // 2^31 seconds after the epoch: the count no longer fits 32 bits, the window still does.
        MomentCase{{2092, 1, 19, 3, 14, 8}, 2147483648LL, 7158278, 248}));

TEST(Clock, TokensFollowTheUtcClockNotTheLocalOne) {
    FakeClock clock;
    clock.utc = {2024, 1, 1, 0, 5, 0};     // window 1
    clock.local = {2024, 1, 1, 2, 10, 0};  // two hours ahead: a different window
    EXPECT_EQ(GetUtcNow(clock), (DateTime{2024, 1, 1, 0, 5, 0}));
    EXPECT_EQ(GetTokenWindow(clock), 1);
    EXPECT_TRUE(IsTokenValid(clock, "765522"));
    EXPECT_FALSE(IsTokenValid(clock, "080497"));  // the token of window 26, where local time stands
}

// ---------------------------------------------------------------------------------------
// Checking an entry against the clock.

// Tokens of the windows w-2 .. w+2 around a window w whose start is `start`.
struct Surroundings {
    const char* name;
    DateTime start;
    std::int32_t window;
    const char* tokens[5];
};
void PrintTo(const Surroundings& s, std::ostream* os) { *os << "window " << s.window; }

const Surroundings kAfterEpoch{
    "after_epoch", {2024, 1, 1, 0, 5, 0}, 1, {"380324", "072923", "765522", "458121", "150720"}};
// Window 1000000 starts the second cycle: its neighbours straddle the wrap.
const Surroundings kAtWrap{
    "at_wrap", {2033, 7, 4, 5, 20, 0}, 1000000, {"687725", "380324", "072923", "765522", "458121"}};

DateTime At(const Surroundings& s, int offset) {
    DateTime t = s.start;  // each start is on a whole minute with room for 4:59 in its hour
    t.minute += offset / 60;
    t.second += offset % 60;
    return t;
}

enum Which { kTwoBefore, kBefore, kCurrent, kAfter, kTwoAfter };

struct GraceCase {
    int offset;
    TokenReason previousWindowToken;
    TokenReason nextWindowToken;
};
void PrintTo(const GraceCase& c, std::ostream* os) { *os << "offset " << c.offset; }

class GraceBoundaries : public ::testing::TestWithParam<std::tuple<Surroundings, GraceCase>> {};

TEST_P(GraceBoundaries, NeighboursOnlyWithinTheirGrace) {
    const auto& [s, c] = GetParam();
    FakeClock clock;
    clock.utc = At(s, c.offset);

    const TokenVerdict previous = CheckToken(clock, s.tokens[kBefore]);
    EXPECT_EQ(previous.reason, c.previousWindowToken);
    EXPECT_EQ(previous.accepted, c.previousWindowToken == TokenReason::PreviousWindowGrace);
    EXPECT_EQ(previous.window, s.window);
    EXPECT_TRUE(previous.offsetRead);
    EXPECT_EQ(previous.offset, c.offset);

    const TokenVerdict next = CheckToken(clock, s.tokens[kAfter]);
    EXPECT_EQ(next.reason, c.nextWindowToken);
    EXPECT_EQ(next.accepted, c.nextWindowToken == TokenReason::NextWindowGrace);
    EXPECT_EQ(IsTokenValid(clock, s.tokens[kAfter]), next.accepted);
}

constexpr GraceCase kGraceCases[] = {
    {0, TokenReason::PreviousWindowGrace, TokenReason::Rejected},
    {60, TokenReason::PreviousWindowGrace, TokenReason::Rejected},
    {61, TokenReason::Rejected, TokenReason::Rejected},
    {239, TokenReason::Rejected, TokenReason::Rejected},
    {240, TokenReason::Rejected, TokenReason::NextWindowGrace},
    {299, TokenReason::Rejected, TokenReason::NextWindowGrace},
};

INSTANTIATE_TEST_SUITE_P(Offsets, GraceBoundaries,
                         ::testing::Combine(::testing::Values(kAfterEpoch, kAtWrap),
                                            ::testing::ValuesIn(kGraceCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_offset_" +
                                    std::to_string(std::get<1>(info.param).offset);
                         });

class WholeWindow : public ::testing::TestWithParam<Surroundings> {};

TEST_P(WholeWindow, CurrentTokenAlwaysAcceptedOnOneReadingTwoAwayNever) {
    const Surroundings& s = GetParam();
    for (int offset = 0; offset < 300; ++offset) {
        FakeClock clock;
        clock.utc = At(s, offset);
        const TokenVerdict current = CheckToken(clock, s.tokens[kCurrent]);
        ASSERT_TRUE(current.accepted) << "offset " << offset;
        ASSERT_EQ(current.reason, TokenReason::CurrentWindow) << "offset " << offset;
        ASSERT_FALSE(current.offsetRead);
        ASSERT_EQ(clock.utcReads, 1) << "the offset is read only when the current token did not match";

        for (Which far : {kTwoBefore, kTwoAfter}) {
            clock.utcReads = 0;
            const TokenVerdict v = CheckToken(clock, s.tokens[far]);
            ASSERT_FALSE(v.accepted) << "offset " << offset << ", token " << s.tokens[far];
            ASSERT_EQ(v.reason, TokenReason::Rejected);
            ASSERT_EQ(clock.utcReads, 2) << "window first, then the offset";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, WholeWindow, ::testing::Values(kAfterEpoch, kAtWrap),
                         [](const auto& info) { return std::string(info.param.name); });

struct EntryCase {
    const char* name;
    std::string entry;
    TokenReason reason;
};
void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class Entries : public ::testing::TestWithParam<EntryCase> {};

// The clock stands in window 1 at offset 0; its token is "765522".
TEST_P(Entries, TrimmedOfBlanksOnlyAndMalformedWithoutReadingTheClock) {
    const EntryCase& c = GetParam();
    FakeClock clock;
    clock.utc = At(kAfterEpoch, 0);
    const TokenVerdict v = CheckToken(clock, c.entry);
    EXPECT_EQ(v.reason, c.reason);
    EXPECT_EQ(v.accepted,
              c.reason == TokenReason::CurrentWindow || c.reason == TokenReason::PreviousWindowGrace);
    if (c.reason == TokenReason::Malformed) {
        EXPECT_EQ(clock.utcReads, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Entries,
    ::testing::Values(EntryCase{"plain", "765522", TokenReason::CurrentWindow},
                      EntryCase{"blank_each_side", " 765522 ", TokenReason::CurrentWindow},
                      EntryCase{"several_blanks", "   765522  ", TokenReason::CurrentWindow},
                      EntryCase{"previous_with_blanks", " 072923 ", TokenReason::PreviousWindowGrace},
                      EntryCase{"wrong_digits", "765523", TokenReason::Rejected},
                      EntryCase{"inner_blank", "765 522", TokenReason::Malformed},
                      EntryCase{"tab_before", "\t765522", TokenReason::Malformed},
                      EntryCase{"tab_after", "765522\t", TokenReason::Malformed},
                      EntryCase{"newline", "765522\r\n", TokenReason::Malformed},
                      EntryCase{"no_break_space",
                                "\xC2\xA0"
                                "765522",
                                TokenReason::Malformed},
                      EntryCase{"plus", "+765522", TokenReason::Malformed},
                      EntryCase{"minus", "-765522", TokenReason::Malformed},
                      EntryCase{"five", "76552", TokenReason::Malformed},
                      EntryCase{"seven", "7655220", TokenReason::Malformed},
                      EntryCase{"letter", "76552O", TokenReason::Malformed},
                      EntryCase{"fullwidth", "７６５５２２", TokenReason::Malformed},
                      EntryCase{"fullwidth_one", "76552２", TokenReason::Malformed},
                      EntryCase{"empty", "", TokenReason::Malformed},
                      EntryCase{"blanks_only", "      ", TokenReason::Malformed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BeforeTheEpoch, NegativeOffsetsKeepThePreviousWindowGraceAndNegativeTokensNeverMatch) {
    FakeClock clock;
    clock.utc = {2023, 12, 31, 23, 59, 59};  // window 0, offset -1
    EXPECT_EQ(CheckToken(clock, "072923").reason, TokenReason::CurrentWindow);
    const TokenVerdict previous = CheckToken(clock, "380324");  // window -1
    EXPECT_EQ(previous.reason, TokenReason::PreviousWindowGrace);
    EXPECT_EQ(previous.offset, -1);
    EXPECT_EQ(CheckToken(clock, "765522").reason, TokenReason::Rejected);  // window 1

    clock.utc = {2023, 12, 30, 23, 0, 0};  // window -300, whose token is "-706777"
    EXPECT_FALSE(IsTokenValid(clock, "706777"));
    EXPECT_EQ(CheckToken(clock, "-706777").reason, TokenReason::Malformed);
}

}  // namespace
}  // namespace kelto::token

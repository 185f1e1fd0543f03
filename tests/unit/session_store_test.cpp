#include "intake/session_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes.h"

namespace kelto {
namespace {

using platform::DateTime;
using testing::FakeSystem;

const std::string kKey = "HKCU\\Software\\KeltoRemote\\AuthorizedSession\\";
const std::string kSessionIdValue = kKey + "SessionID";
const std::string kExpiresAtValue = kKey + "ExpiresAt";
const std::string kParentKey = "HKCU\\Software\\KeltoRemote";

std::string Stored(FakeSystem& f, const std::string& name) {
    std::string value;
    return f.registry.ReadString(name, value) ? value : "<missing>";
}

void Store(FakeSystem& f, const std::string& id, const std::string& expiresAt) {
    f.registry.WriteString(kSessionIdValue, id);
    f.registry.WriteString(kExpiresAtValue, expiresAt);
    f.registry.log.clear();
}

// ---- time base ----

struct SecondsCase {
    DateTime local;
    std::int64_t expected;
};

void PrintTo(const SecondsCase& c, std::ostream* os) {
    *os << c.local.year << "-" << c.local.month << "-" << c.local.day << " " << c.local.hour << ":"
        << c.local.minute << ":" << c.local.second;
}

class SecondsSince2024 : public ::testing::TestWithParam<SecondsCase> {};

TEST_P(SecondsSince2024, CountsCalendarSecondsOfLocalTime) {
    FakeSystem f;
    f.clock.local = GetParam().local;
    f.clock.utc = {1999, 1, 1, 0, 0, 0};  // the session clock never looks at UTC
    EXPECT_EQ(intake::SecondsSince2024(f.clock), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SecondsSince2024,
                         ::testing::Values(SecondsCase{{2024, 1, 1, 0, 0, 0}, 0},
                                           SecondsCase{{2024, 1, 1, 0, 0, 1}, 1},
                                           SecondsCase{{2023, 12, 31, 23, 59, 59}, -1},
                                           SecondsCase{{2024, 1, 2, 8, 0, 0}, 86400 + 28800},
                                           // 2024 is a leap year: Jan 31 + Feb 29 days.
                                           SecondsCase{{2024, 3, 1, 0, 0, 0}, 60LL * 86400},
                                           SecondsCase{{2025, 1, 1, 0, 0, 0}, 366LL * 86400},
                                           SecondsCase{{2026, 12, 10, 14, 0, 0}, 92844000},
                                           SecondsCase{{2020, 1, 1, 0, 0, 0}, -1461LL * 86400},
                                           SecondsCase{{2088, 1, 19, 3, 14, 7}, 2021253247}));

// ---- authorizing ----

struct AuthorizeCase {
    std::string given;
    DateTime local;
    std::string storedId;
    std::string storedExpiry;
};

void PrintTo(const AuthorizeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.given); }

class Authorize : public ::testing::TestWithParam<AuthorizeCase> {};

TEST_P(Authorize, StoresTrimmedLowerCaseIdAndExpiry) {
    const AuthorizeCase& c = GetParam();
    FakeSystem f;
    f.clock.local = c.local;
    intake::AuthorizeSession(f.system, c.given);
    EXPECT_EQ(f.registry.log,
              (std::vector<std::string>{"write " + kSessionIdValue, "write " + kExpiresAtValue}));
    EXPECT_EQ(Stored(f, kSessionIdValue), c.storedId);
    EXPECT_EQ(Stored(f, kExpiresAtValue), c.storedExpiry);
    EXPECT_EQ(f.LogMessages(), (std::vector<std::string>{"Support session authorized: " + c.storedId}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Authorize,
    ::testing::Values(AuthorizeCase{"  AbC  ", {2026, 12, 10, 14, 0, 0}, "abc", "92872800"},
                      AuthorizeCase{"x", {2024, 1, 1, 0, 0, 0}, "x", "28800"},
                      AuthorizeCase{"Tech_7-A", {2023, 12, 31, 0, 0, 0}, "tech_7-a", "-57600"},
                      AuthorizeCase{"t", {2023, 12, 31, 16, 0, 0}, "t", "0"}));

TEST(AuthorizeSessionEmpty, WritesAndLogsNothing) {
    for (const std::string given : {"", " ", "     "}) {
        FakeSystem f;
        intake::AuthorizeSession(f.system, given);
        EXPECT_TRUE(f.registry.log.empty()) << "[" << given << "]";
        EXPECT_TRUE(f.LogMessages().empty()) << "[" << given << "]";
    }
}

TEST(AuthorizeSessionFailingRegistry, StillTriesBothWritesAndLogs) {
    FakeSystem f;
    f.registry.failWritesAfter = 0;
    intake::AuthorizeSession(f.system, "Abc");
    EXPECT_EQ(f.registry.log,
              (std::vector<std::string>{"write " + kSessionIdValue, "write " + kExpiresAtValue}));
    EXPECT_FALSE(f.registry.KeyExists(kKey));
    EXPECT_EQ(f.LogMessages(), (std::vector<std::string>{"Support session authorized: abc"}));
}

TEST(AuthorizeSessionReplace, AnotherIdReplacesTheFirst) {
    FakeSystem f;
    intake::AuthorizeSession(f.system, "A");
    intake::AuthorizeSession(f.system, "B");
    EXPECT_FALSE(intake::IsSessionAuthorized(f.system, "a"));
    EXPECT_TRUE(intake::IsSessionAuthorized(f.system, "b"));
}

// ---- checking ----

struct CheckCase {
    const char* name;
    std::string storedId;      // "<none>": nothing stored
    std::string storedExpiry;  // "<none>": value missing
    std::string asked;
    bool authorized;
    bool cleared;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class Check : public ::testing::TestWithParam<CheckCase> {};

// FakeClock's local time 2026-12-10 14:00:00.
constexpr std::int64_t kNow = 92844000;
const std::string kNowText = std::to_string(kNow);
const std::string kLater = std::to_string(kNow + 28800);
const std::string kGone = std::to_string(kNow - 1);

TEST_P(Check, AnswersAndClearsOnlyItsOwnExpiredSession) {
    const CheckCase& c = GetParam();
    FakeSystem f;
    if (c.storedId != "<none>") f.registry.WriteString(kSessionIdValue, c.storedId);
    if (c.storedExpiry != "<none>") f.registry.WriteString(kExpiresAtValue, c.storedExpiry);
    const auto before = f.registry.Dump();

    EXPECT_EQ(intake::IsSessionAuthorized(f.system, c.asked), c.authorized);

    if (c.cleared) {
        EXPECT_FALSE(f.registry.KeyExists(kKey));
        EXPECT_TRUE(f.registry.KeyExists(kParentKey));
    } else {
        EXPECT_EQ(f.registry.Dump(), before);
    }
    EXPECT_TRUE(f.LogMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Check,
    ::testing::Values(
        CheckCase{"SameId", "abc", kLater, "abc", true, false},
        CheckCase{"UpperCaseAsked", "abc", kLater, "ABC", true, false},
        CheckCase{"SpacesAroundAsked", "abc", kLater, "  aBc ", true, false},
        CheckCase{"UpperCaseStored", "AbC", kLater, "abc", true, false},
        CheckCase{"OtherId", "abc", kLater, "abd", false, false},
        CheckCase{"Prefix", "abc", kLater, "ab", false, false},
        CheckCase{"ExpiresThisSecond", "abc", kNowText, "abc", true, false},
        CheckCase{"ExpiredASecondAgo", "abc", kGone, "abc", false, true},
        CheckCase{"ExpiredLongAgo", "abc", "-2147483648", "ABC", false, true},
        CheckCase{"ExpiredButOtherIdAsked", "abc", kGone, "xyz", false, false},
        CheckCase{"NothingStored", "<none>", "<none>", "abc", false, false},
        CheckCase{"ExpiryMissing", "abc", "<none>", "abc", false, false},
        CheckCase{"IdMissing", "<none>", kLater, "abc", false, false},
        CheckCase{"ExpiryNotANumber", "abc", "tomorrow", "abc", false, false},
        CheckCase{"ExpiryEmpty", "abc", "", "abc", false, false},
        CheckCase{"ExpiryTrailingText", "abc", kLater + "x", "abc", false, false},
        CheckCase{"ExpiryBeyond32Bits", "abc", "2147483648", "abc", false, false},
        // One sign at most: "+-5" is no number, so nothing is cleared however long ago -5 was.
        CheckCase{"ExpiryPlusMinus", "abc", "+-5", "abc", false, false},
        CheckCase{"ExpiryPlusPlus", "abc", "++" + kLater, "abc", false, false},
        CheckCase{"ExpiryPlusSigned", "abc", "+" + kLater, "abc", true, false},
        // Stored values outside the session-ID grammar never count, even when asked for literally.
        CheckCase{"StoredColon", "a:b", kLater, "a:b", false, false},
        CheckCase{"StoredTooLong", std::string(81, 'a'), kLater, std::string(81, 'a'), false, false},
        CheckCase{"StoredLongest", std::string(80, 'a'), kLater, std::string(80, 'a'), true, false},
        CheckCase{"StoredKelvinSign", "\xE2\x84\xAA", kLater, "\xE2\x84\xAA", false, false},
        CheckCase{"StoredInnerSpace", "a b", kLater, "a b", false, false},
        // ...and once expired they are cleared like any other session.
        CheckCase{"StoredColonExpired", "a:b", kGone, "a:b", false, true},
        CheckCase{"StoredTooLongExpired", std::string(81, 'a'), kGone, std::string(81, 'a'), false, true},
        // A Unicode letter is not folded onto its ASCII lower case.
        CheckCase{"AskedKelvinSign", "k", kLater, "\xE2\x84\xAA", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckEmptyId, ReadsNothing) {
    for (const std::string asked : {"", "   "}) {
        FakeSystem f;
        Store(f, "", kLater);
        EXPECT_FALSE(intake::IsSessionAuthorized(f.system, asked));
        EXPECT_TRUE(f.registry.log.empty());
    }
}

TEST(CheckExpiryBoundary, EqualIsValidOneSecondLaterIsCleared) {
    FakeSystem f;
    intake::AuthorizeSession(f.system, "abc");
    f.clock.local = {2026, 12, 10, 22, 0, 0};  // exactly 8 hours later
    EXPECT_TRUE(intake::IsSessionAuthorized(f.system, "abc"));
    EXPECT_TRUE(f.registry.KeyExists(kKey));
    f.clock.local = {2026, 12, 10, 22, 0, 1};
    EXPECT_FALSE(intake::IsSessionAuthorized(f.system, "abc"));
    EXPECT_FALSE(f.registry.KeyExists(kKey));
    EXPECT_TRUE(f.registry.KeyExists(kParentKey));
}

TEST(CheckDeletedExpiry, EveryCheckFailsAndTheIdStays) {
    FakeSystem f;
    intake::AuthorizeSession(f.system, "abc");
    f.registry.Delete(kExpiresAtValue);
    EXPECT_FALSE(intake::IsSessionAuthorized(f.system, "abc"));
    EXPECT_EQ(intake::GetAuthorizedSessionId(f.system), "");
    EXPECT_EQ(Stored(f, kSessionIdValue), "abc");
}

// ---- handing out the stored ID ----

struct GetCase {
    const char* name;
    std::string storedId;
    std::string storedExpiry;
    std::string expected;
    bool cleared;
};

void PrintTo(const GetCase& c, std::ostream* os) { *os << c.name; }

class GetStored : public ::testing::TestWithParam<GetCase> {};

TEST_P(GetStored, HandsOutOnlyAValidWellFormedSession) {
    const GetCase& c = GetParam();
    FakeSystem f;
    Store(f, c.storedId, c.storedExpiry);
    EXPECT_EQ(intake::GetAuthorizedSessionId(f.system), c.expected);
    EXPECT_EQ(f.registry.KeyExists(kKey), !c.cleared);
}

INSTANTIATE_TEST_SUITE_P(Cases, GetStored,
                         ::testing::Values(GetCase{"Valid", "tech-7_x", kLater, "tech-7_x", false},
                                           GetCase{"LowerCased", "Tech-7_X", kLater, "tech-7_x", false},
                                           GetCase{"ExpiresThisSecond", "abc", kNowText, "abc", false},
                                           GetCase{"Expired", "abc", kGone, "", true},
                                           GetCase{"NotANumber", "abc", "x", "", false},
                                           GetCase{"EmptyId", "", kLater, "", false},
                                           GetCase{"Colon", "a:b", kLater, "", false},
                                           GetCase{"ColonExpired", "a:b", kGone, "", true},
                                           GetCase{"TooLongExpired", std::string(81, 'a'), kGone, "", true},
                                           GetCase{"TooLong", std::string(81, 'a'), kLater, "", false},
                                           GetCase{"SpacesAround", " abc ", kLater, "", false},
                                           GetCase{"Quote", "ab\"c", kLater, "", false},
                                           GetCase{"Kelvin", "\xE2\x84\xAA", kLater, "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetStoredNothing, IsEmpty) {
    FakeSystem f;
    EXPECT_EQ(intake::GetAuthorizedSessionId(f.system), "");
}

// ---- clearing ----

TEST(Clear, DeletesValueValueKeyAndKeepsTheParent) {
    FakeSystem f;
    Store(f, "abc", kLater);
    f.registry.WriteString(kParentKey + "\\Other", "kept");
    f.registry.log.clear();
    intake::ClearAuthorizedSession(f.registry);
    EXPECT_EQ(f.registry.log, (std::vector<std::string>{"delete " + kSessionIdValue,
                                                        "delete " + kExpiresAtValue, "delete " + kKey}));
    EXPECT_FALSE(f.registry.KeyExists(kKey));
    EXPECT_EQ(Stored(f, kParentKey + "\\Other"), "kept");
}

TEST(Clear, IgnoresFailuresAndGoesOn) {
    FakeSystem f;  // nothing stored: every delete fails
    intake::ClearAuthorizedSession(f.registry);
    EXPECT_EQ(f.registry.log, (std::vector<std::string>{"delete " + kSessionIdValue,
                                                        "delete " + kExpiresAtValue, "delete " + kKey}));
}

}  // namespace
}  // namespace kelto

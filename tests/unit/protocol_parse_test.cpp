#include "intake/protocol_parse.h"

#include <gtest/gtest.h>

#include <string>

namespace kelto {
namespace {

// Non-ASCII characters, spelled as UTF-8 bytes.
const std::string kKelvinSign = "\xE2\x84\xAA";        // U+212A, whose Unicode lower case is "k"
const std::string kFullWidthOne = "\xEF\xBC\x91";      // U+FF11
const std::string kFullWidthK = "\xEF\xBC\xAB";        // U+FF2B
const std::string kArabicIndicThree = "\xD9\xA3";      // U+0663
const std::string kLatinCapitalIWithDot = "\xC4\xB0";  // U+0130, lower case "i" + dot
const std::string kPathStyleUrl = "\"kelto://IPCONFIG/sid/AbC-9_x/host/10.0.0.5/port/0443/tls/1\"";

struct TextCase {
    std::string input;
    std::string expected;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.input); }

// ---- action key ----

class ActionKey : public ::testing::TestWithParam<TextCase> {};

TEST_P(ActionKey, IsFoundAndNormalised) {
    EXPECT_EQ(intake::ParseActionKey(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActionKey,
    ::testing::Values(
        // Both URL shapes, quoted as the registered open command passes them.
        TextCase{kPathStyleUrl, "ipconfig"}, TextCase{"kelto:?tool=flushdns&sid=abc", "flushdns"},
        TextCase{"kelto:ping%3fsid%3dxyz", "ping"}, TextCase{"  KELTO:IpConfig  ", "ipconfig"},
        // Nothing to find.
        TextCase{"", ""}, TextCase{"kelto:", ""}, TextCase{"\"kelto:\"", ""}, TextCase{"ipconfig", ""},
        TextCase{"kelto:////\\\\", ""}, TextCase{"kelto", ""},
        // Leading slashes and backslashes of any mix, and the text before kelto: do not matter.
        TextCase{"kelto:\\/\\//ipconfig", "ipconfig"}, TextCase{"open kelto:ping", "ping"},
        TextCase{"\tkelto:ping\t", "ping"}, TextCase{"kelto:kelto:ping", "kelto"},
        // The key ends at the first character outside a-z and 0-9.
        TextCase{"kelto:ip-config", "ip"}, TextCase{"kelto:ip.config", "ip"},
        TextCase{"kelto:ip config", "ip"}, TextCase{"kelto:ip_config", "ip"},
        TextCase{"kelto:ping&x", "ping"}, TextCase{"kelto:ping:x", "ping"}, TextCase{"kelto:ping?x", "ping"},
        TextCase{"kelto:ping/sid/1", "ping"}, TextCase{"kelto:7zip", "7zip"},
        TextCase{std::string("kelto:ping\0calc", 15), "ping"}, TextCase{"kelto:ping%00calc", "ping"},
        TextCase{"kelto:ping%0d%0acalc", "ping"}, TextCase{"kelto:ping|calc", "ping"},
        TextCase{"kelto:ping^&calc", "ping"}, TextCase{"kelto:..\\..\\calc", ""},
        // Quotes vanish wherever they stand, before anything is searched.
        TextCase{"\"kelto:\"ping", "ping"}, TextCase{"kelto:pi\"n\"g", "ping"},
        TextCase{"kel\"to:ping", "ping"},
        // %3f %3d %2f are decoded in either case; other escapes are not.
        TextCase{"kelto:%2F%2Fping", "ping"}, TextCase{"kelto:%2fping", "ping"},
        TextCase{"kelto:%3fping", ""}, TextCase{"kelto:%5cping", ""}, TextCase{"kelto:%70ing", ""},
        TextCase{"kelto:%3ftool%3dping", "ping"}, TextCase{"kelto:x?tool%3Dping", "ping"},
        TextCase{"kelto:%22ping", ""},
        // "tool=" anywhere wins over the path form, even when nothing follows it.
        TextCase{"kelto://ipconfig?tool=flushdns", "flushdns"}, TextCase{"kelto://ipconfig?tool=", ""},
        TextCase{"tool=ping", "ping"}, TextCase{"kelto:x?TOOL=Ping&tool=calc", "ping"},
        TextCase{"kelto:?tool=/ping", ""},
        // Only ASCII letters and digits: no Unicode letter or digit is folded into one.
        TextCase{"kelto:" + kKelvinSign + "ill", ""}, TextCase{"kelto:pin" + kKelvinSign, "pin"},
        TextCase{"kelto:" + kFullWidthK, ""}, TextCase{"kelto:ping" + kArabicIndicThree, "ping"},
        TextCase{"kelto:" + kLatinCapitalIWithDot + "pconfig", ""}, TextCase{"kelto:ping\xFF\xFE", "ping"},
        TextCase{"kelto:\xC0\xAFping", ""}, TextCase{"kelto:ping" + kFullWidthOne, "ping"},
        // No length limit on the key.
        TextCase{"kelto:" + std::string(5000, 'a') + "/x", std::string(5000, 'a')}));

// ---- session ID ----

class SessionId : public ::testing::TestWithParam<TextCase> {};

TEST_P(SessionId, IsFoundAndCut) { EXPECT_EQ(intake::ParseSessionId(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionId,
    ::testing::Values(
        TextCase{kPathStyleUrl, "AbC-9_x"}, TextCase{"kelto:?tool=flushdns&sid=abc", "abc"},
        TextCase{"kelto:ping%3fsid%3dxyz", "xyz"},
        // Absent or empty.
        TextCase{"", ""}, TextCase{"kelto:ping", ""}, TextCase{"kelto:ping?sid=", ""},
        TextCase{"kelto:ping/sid/", ""}, TextCase{"kelto:ping/sid", ""},
        // Found without regard to case, kept in its own case; "/sid/" anywhere wins over "sid=".
        TextCase{"kelto:x/SID/AbC", "AbC"}, TextCase{"kelto:x?Sid=QwE", "QwE"},
        TextCase{"kelto:x?sid=two/sid/one", "one"}, TextCase{"kelto:x/sid/one?sid=two", "one"},
        TextCase{"kelto:x?mysid=abc", "abc"}, TextCase{"kelto:x?sid=a&sid=b", "a"},
        // Letters, digits, "-" and "_" only; the first other character ends the ID.
        TextCase{"kelto:x/sid/abc.def", "abc"}, TextCase{"kelto:x?sid=-_-9", "-_-9"},
        TextCase{"kelto:x?sid=abc:def", "abc"}, TextCase{"kelto:x?sid= abc", ""},
        TextCase{"kelto:x?sid=abc\\def", "abc"}, TextCase{"kelto:x?sid=abc%00def", "abc"},
        TextCase{"kelto:x?sid=abc%0d%0adef", "abc"}, TextCase{"kelto:x?sid=ab&cd", "ab"},
        TextCase{"kelto:x?sid=ab|cd", "ab"}, TextCase{"kelto:x?sid=ab^cd", "ab"},
        TextCase{std::string("kelto:x?sid=ab\0cd", 17), "ab"}, TextCase{"\"kelto:x?sid=abc\" calc", "abc"},
        // Quotes are removed before the search, %3f %3d %26 decoded only in lower case, %2f never.
        TextCase{"kelto:x?sid=ab\"cd\"", "abcd"}, TextCase{"kelto:x?sid=ab%22cd", "ab"},
        TextCase{"kelto:x%3fsid%3dabc", "abc"}, TextCase{"kelto:x%3Fsid%3Dabc", ""},
        TextCase{"kelto:x%2fsid%2fabc", ""}, TextCase{"kelto:x?sid=ab%26tool=y", "ab"},
        TextCase{"kelto:x?sid=ab%2fcd", "ab"},
        // At most 80 characters.
        TextCase{"kelto:x?sid=" + std::string(100, 'Z'), std::string(80, 'Z')},
        TextCase{"kelto:x/sid/" + std::string(80, '7'), std::string(80, '7')},
        TextCase{"kelto:x/sid/" + std::string(81, '7') + ":", std::string(80, '7')},
        // No Unicode letter or digit passes, whatever its lower case is.
        TextCase{"kelto:x?sid=a" + kKelvinSign, "a"}, TextCase{"kelto:x?sid=" + kKelvinSign + "elvin", ""},
        TextCase{"kelto:x?sid=" + kLatinCapitalIWithDot, ""},
        TextCase{"kelto:x?sid=12" + kFullWidthOne, "12"}, TextCase{"kelto:x?sid=" + kArabicIndicThree, ""},
        TextCase{"kelto:x?sid=ab\xC3", "ab"}, TextCase{"kelto:x?sid=ab\x80\xBF", "ab"}));

// ---- server address ----

struct AddressCase {
    std::string input;
    std::string host;
    int port;
    bool tls;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.input); }

class ServerAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ServerAddress, FillsTheRequestState) {
    const AddressCase& c = GetParam();
    // Whatever the state held before is replaced.
    intake::RequestState request{"keep", "old.example", 8080, true, true, {}};
    intake::ParseServerAddress(c.input, request);
    EXPECT_EQ(request.ServerHost, c.host);
    EXPECT_EQ(request.ServerPort, c.port);
    EXPECT_EQ(request.ServerUseTls, c.tls);
    EXPECT_EQ(request.CurrentSessionId, "keep");
    EXPECT_TRUE(request.ActionLaunched);
}

const std::string k253 = std::string(249, 'a') + ".com";
const std::string k254 = std::string(250, 'a') + ".com";

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerAddress,
    ::testing::Values(
        AddressCase{kPathStyleUrl, "10.0.0.5", 443, true},
        AddressCase{"kelto:?tool=flushdns&sid=abc", "", 0, false},
        AddressCase{"kelto://x/host/Example.COM/port/65535", "example.com", 65535, false},
        AddressCase{"kelto://x/HOST/abc/PORT/80/TLS/1", "abc", 80, true},
        // A port outside 1-65535 gives 0 and keeps the host.
        AddressCase{"kelto://x/host/abc/port/65536", "abc", 0, false},
        AddressCase{"kelto://x/host/abc/port/0", "abc", 0, false},
        AddressCase{"kelto://x/host/abc/port/00000", "abc", 0, false},
        AddressCase{"kelto://x/host/abc/port/99999", "abc", 0, false},
        AddressCase{"kelto://x/host/abc/port/00001", "abc", 1, false},
        // A port that is missing, longer than 5, or not all digits clears the host too.
        AddressCase{"kelto://x/host/abc", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/123456", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/000443", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/44a", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/-1", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/+80", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/8 0", "", 0, false},
        AddressCase{"kelto://x/host/abc/port/" + kArabicIndicThree, "", 0, false},
        AddressCase{"kelto://x/host/abc/port/" + kFullWidthOne, "", 0, false},
        // Spaces around a value and then quotes anywhere in it are dropped: a space left inside
        // the closing quote survives the trim and spoils the port.
        AddressCase{"kelto://x/host/ abc /port/ 8\"0 ", "abc", 80, false},
        AddressCase{"\"kelto://x/host/abc/port/443\"", "abc", 443, false},
        AddressCase{"\"kelto://x/host/abc/port/443 \"", "", 0, false},
        // A host that is empty, too long, or holds another character clears host and port.
        AddressCase{"kelto://x/host//port/80", "", 0, false},
        AddressCase{"kelto://x/host/" + k253 + "/port/80", k253, 80, false},
        AddressCase{"kelto://x/host/" + k254 + "/port/80", "", 0, false},
        AddressCase{"kelto://x/host/a_b/port/80", "", 0, false},
        AddressCase{"kelto://x/host/a:b/port/80", "", 0, false},
        AddressCase{"kelto://x/host/a%2eb/port/80", "", 0, false},
        AddressCase{"kelto://x/host/a\\b/port/80", "", 0, false},
        AddressCase{"kelto://x/host/" + kKelvinSign + "/port/80", "", 0, false},
        AddressCase{"kelto://x/host/" + kFullWidthK + "/port/80", "", 0, false},
        AddressCase{"kelto://x/host/\tabc/port/80", "", 0, false},
        // Label structure is not checked.
        AddressCase{"kelto://x/host/..-/port/80", "..-", 80, false},
        // Only path segments count: query values are not read.
        AddressCase{"kelto:?tool=x&host=abc&port=80&tls=1", "", 0, false},
        // TLS only for exactly "1", with or without a usable address.
        AddressCase{"kelto://x/tls/1", "", 0, true}, AddressCase{"kelto://x/tls/ 1 ", "", 0, true},
        AddressCase{"kelto://x/tls/true", "", 0, false}, AddressCase{"kelto://x/tls/01", "", 0, false},
        AddressCase{"kelto://x/tls/1x", "", 0, false}, AddressCase{"kelto://x/tls/1.0", "", 0, false},
        AddressCase{"kelto://x/tls/", "", 0, false},
        AddressCase{"kelto://x/tls/" + kFullWidthOne, "", 0, false},
        AddressCase{"kelto://x/host/abc/port/443/tls/0", "abc", 443, false}));

// ---- path values ----

struct PathCase {
    std::string text;
    std::string name;
    std::string expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text) << " " << c.name;
}

class PathValue : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathValue, IsTheSegmentAfterTheName) {
    EXPECT_EQ(intake::GetPathValue(GetParam().text, GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathValue,
    ::testing::Values(PathCase{"kelto://x/host/abc/port/1", "host", "abc"},
                      PathCase{"kelto://x/host/abc/port/1", "port", "1"},
                      // The name is matched without regard to case, the value kept as received.
                      PathCase{"kelto://x/HOST/AbC/", "host", "AbC"},
                      PathCase{"kelto://x/host/abc", "HoSt", "abc"},
                      PathCase{"kelto://x/host/a/host/b", "host", "a"},
                      PathCase{"kelto://x/host/ a\"b\" /", "host", "ab"},
                      PathCase{"kelto://x/host/\tabc\t", "host", "\tabc\t"},
                      // No escape is decoded and only "/" ends the value.
                      PathCase{"kelto://x/host/a%2fb/c", "host", "a%2fb"},
                      PathCase{"kelto://x/host/a\\b/c", "host", "a\\b"},
                      PathCase{"kelto://x/host/a?port=1&b", "host", "a?port=1&b"},
                      // The name must stand between two slashes.
                      PathCase{"kelto://x/host/", "host", ""}, PathCase{"kelto://x/host", "host", ""},
                      PathCase{"kelto://x/hostname/abc", "host", ""}, PathCase{"host/abc", "host", ""},
                      PathCase{"kelto://x/myhost/abc", "host", ""}, PathCase{"", "host", ""}));

// ---- character classes ----

struct ClassCase {
    std::string text;
    bool expected;
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class ValidHost : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ValidHost, Answers) { EXPECT_EQ(intake::IsValidHost(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, ValidHost,
                         ::testing::Values(ClassCase{"", false}, ClassCase{"a", true}, ClassCase{k253, true},
                                           ClassCase{k254, false}, ClassCase{"10.0.0.5", true},
                                           ClassCase{"Support-1.Example.COM", true}, ClassCase{"...", true},
                                           ClassCase{"a_b", false}, ClassCase{"a b", false},
                                           ClassCase{"a:443", false}, ClassCase{"[::1]", false},
                                           ClassCase{"a/b", false}, ClassCase{kKelvinSign, false},
                                           ClassCase{"a" + kFullWidthOne, false},
                                           ClassCase{std::string("a\0b", 3), false}));

class AllDigits : public ::testing::TestWithParam<ClassCase> {};

TEST_P(AllDigits, Answers) { EXPECT_EQ(intake::IsAllDigits(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, AllDigits,
    ::testing::Values(ClassCase{"", false}, ClassCase{"0", true}, ClassCase{"0123456789", true},
                      ClassCase{"12a", false}, ClassCase{" 1", false}, ClassCase{"-1", false},
                      ClassCase{"+1", false}, ClassCase{"1.0", false}, ClassCase{kArabicIndicThree, false},
                      ClassCase{kFullWidthOne, false}, ClassCase{"/", false}, ClassCase{":", false}));

}  // namespace
}  // namespace kelto

namespace kelto {
namespace {

// Where the reading of a session ID stops: what the technician's tool reports as the cut.
TEST(ReadSessionId, TellsWhereTheIdEnds) {
    struct Case {
        std::string text;
        bool marked;
        std::string id;
        std::string after;
    };
    const Case cases[] = {
        {"kelto://ipconfig/sid/AbC-9_x.extra", true, "AbC-9_x", ".extra"},
        {"\"kelto:?tool=ping&sid=q7\"", true, "q7", ""},
        {"kelto:%3ftool%3dping%26sid%3dq7%26x", true, "q7", "&x"},
        {"kelto://arp/sid/" + std::string(85, 'a'), true, std::string(80, 'a'), "aaaaa"},
        {"kelto://arp", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const intake::SessionIdReading reading = intake::ReadSessionId(c.text);
        EXPECT_EQ(reading.marked, c.marked);
        EXPECT_EQ(reading.id, c.id);
        EXPECT_EQ(reading.id, intake::ParseSessionId(c.text));
        if (c.marked) {
            EXPECT_EQ(reading.after, c.after);
        }
    }
}

}  // namespace
}  // namespace kelto

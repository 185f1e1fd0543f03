#include "url_tool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "actions/catalogue.h"
#include "support/fakes.h"
#include "token_tool.h"

namespace kelto::tokentool {
namespace {

// The whole tool, as main runs it.
int RunUrlOrExplain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    kelto::testing::FakeClock clock;
    return Run(args, clock, out, err);
}

const std::string kKelvinSign = "\xE2\x84\xAA";    // K, folds to "k" outside ASCII rules
const std::string kFullWidthOne = "\xEF\xBC\x91";  // 1
const std::string kHebrewShalom = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D";

// ---- URL shapes: what the helper keeps ----

struct ShapeCase {
    std::string name;
    std::string url;
    std::string key, sessionId, host;
    std::int32_t port;
    bool tls;
    Road road;
    bool proceeds;
};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class UrlShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(UrlShapes, ExplainKeepsWhatTheHelperKeeps) {
    const ShapeCase& c = GetParam();
    const Explanation ex = Explain(c.url);
    EXPECT_EQ(ex.commandLine, "\"" + c.url + "\"");
    EXPECT_EQ(ex.actionKey, c.key);
    EXPECT_EQ(ex.sessionId, c.sessionId);
    EXPECT_EQ(ex.serverHost, c.host);
    EXPECT_EQ(ex.serverPort, c.port);
    EXPECT_EQ(ex.serverUseTls, c.tls);
    EXPECT_EQ(ex.road, c.road);
    EXPECT_EQ(ex.Proceeds(), c.proceeds);
}

constexpr Road kApproval = Road::Approval;
constexpr Road kInvalid = Road::InvalidAction;
constexpr Road kNotIn = Road::NotInCatalogue;

INSTANTIATE_TEST_SUITE_P(
    Table, UrlShapes,
    ::testing::Values(
        ShapeCase{"PathForm", "kelto://IPCONFIG/sid/AbC-9_x/host/10.0.0.5/port/0443/tls/1", "ipconfig",
                  "AbC-9_x", "10.0.0.5", 443, true, kApproval, true},
        ShapeCase{"ToolForm", "kelto:?tool=flushdns&sid=abc", "flushdns", "abc", "", 0, false, kApproval,
                  true},
        ShapeCase{"ToolWinsOverPath", "kelto:x?TOOL=Ping&tool=calc", "ping", "", "", 0, false, kApproval,
                  true},
        ShapeCase{"EscapedQuery", "kelto:ping%3fsid%3dxyz", "ping", "xyz", "", 0, false, kApproval, true},
        ShapeCase{"EscapedToolAndAmpersand", "kelto:%3ftool%3dping%26sid%3dq1", "ping", "q1", "", 0, false,
                  kApproval, true},
        ShapeCase{"UpperCaseEscapesOnlyForTheKey", "kelto:x%3Ftool%3Dping%3Fsid%3Dq1", "ping", "", "", 0,
                  false, kApproval, true},
        ShapeCase{"SidSegmentKeepsCase", "KELTO://Ping/SID/Mixed_Case", "ping", "Mixed_Case", "", 0, false,
                  kApproval, true},
        ShapeCase{"SidSegmentWinsOverQuery", "kelto:x?sid=two/sid/one&tool=ping", "ping", "one", "", 0, false,
                  kApproval, true},
        ShapeCase{"SidCutAtDot", "kelto://ping/sid/abc.def", "ping", "abc", "", 0, false, kApproval, true},
        ShapeCase{"SidOverLong", "kelto://ping/sid/" + std::string(100, 'Z'), "ping", std::string(80, 'Z'),
                  "", 0, false, kApproval, true},
        ShapeCase{"AlreadyQuoted", "\"kelto:ping\"", "ping", "", "", 0, false, kApproval, true},
        ShapeCase{"HostileAmpersand", "kelto://ping&calc/sid/a;calc", "ping", "a", "", 0, false, kApproval,
                  true},
        ShapeCase{"HostileNewline", "kelto:ping\r\ncalc?sid=ab|cd", "ping", "ab", "", 0, false, kApproval,
                  true},
        ShapeCase{"PathEscape", "kelto:..\\..\\calc", "", "", "", 0, false, kInvalid, false},
        ShapeCase{"SchemeAlone", "kelto:", "", "", "", 0, false, kInvalid, false},
        ShapeCase{"NoScheme", "ipconfig", "", "", "", 0, false, kInvalid, false},
        ShapeCase{"KeyOutsideCatalogue", "kelto:calc", "calc", "", "", 0, false, kNotIn, false},
        ShapeCase{"KeyCutAtDash", "kelto:ip-config/sid/s1", "ip", "s1", "", 0, false, kNotIn, false},
        ShapeCase{"KelvinSignKey", "kelto:" + kKelvinSign + "ill", "", "", "", 0, false, kInvalid, false},
        ShapeCase{"KelvinSignInSid", "kelto:ping?sid=ab" + kKelvinSign, "ping", "ab", "", 0, false, kApproval,
                  true},
        ShapeCase{"HebrewSid", "kelto://ping/sid/" + kHebrewShalom, "ping", "", "", 0, false, kApproval,
                  true},
        ShapeCase{"Offline", "kelto://offline/sid/s-1", "offline", "s-1", "", 0, false, Road::CableGuide,
                  true},
        ShapeCase{"PortLimit", "kelto://ping/host/Example.COM/port/65535", "ping", "", "example.com", 65535,
                  false, kApproval, true},
        ShapeCase{"PortAboveLimitKeepsHost", "kelto://ping/host/abc/port/65536", "ping", "", "abc", 0, false,
                  kApproval, true},
        ShapeCase{"PortZeroKeepsHost", "kelto://ping/host/abc/port/0", "ping", "", "abc", 0, false, kApproval,
                  true},
        ShapeCase{"SixDigitPort", "kelto://ping/host/abc/port/123456", "ping", "", "", 0, false, kApproval,
                  true},
        ShapeCase{"PortWithLetter", "kelto://ping/host/abc/port/44a", "ping", "", "", 0, false, kApproval,
                  true},
        ShapeCase{"PortWithTrailingBlank", "kelto://ping/host/abc/port/443 ", "ping", "", "", 0, false,
                  kApproval, true},
        ShapeCase{"FullWidthDigitPort", "kelto://ping/host/abc/port/8" + kFullWidthOne, "ping", "", "", 0,
                  false, kApproval, true},
        ShapeCase{"NoPort", "kelto://ping/host/abc", "ping", "", "", 0, false, kApproval, true},
        ShapeCase{"HostWithUnderscore", "kelto://ping/host/ab_c/port/80", "ping", "", "", 0, false, kApproval,
                  true},
        ShapeCase{"HostTooLong", "kelto://ping/host/" + std::string(254, 'a') + "/port/80", "ping", "", "", 0,
                  false, kApproval, true},
        ShapeCase{"TlsTrue", "kelto://ping/host/abc/port/80/tls/true", "ping", "", "abc", 80, false,
                  kApproval, true},
        ShapeCase{"RescueVmWithServer", "kelto://virtualiso/sid/q/host/support.example.com/port/8443",
                  "virtualiso", "q", "support.example.com", 8443, false, kApproval, true},
        ShapeCase{"RescueVmPortZero", "kelto://virtualiso/host/abc/port/0", "virtualiso", "", "abc", 0, false,
                  kApproval, false}),
    [](const auto& info) { return info.param.name; });

// ---- notes: why a value is cut or dropped ----

struct NoteCase {
    std::string url;
    std::string sessionNote, hostNote, portNote, tlsNote;
};
void PrintTo(const NoteCase& c, std::ostream* os) { *os << c.url.substr(0, 60); }

class Notes : public ::testing::TestWithParam<NoteCase> {};

TEST_P(Notes, SayWhyAValueIsCutOrDropped) {
    const NoteCase& c = GetParam();
    const Explanation ex = Explain(c.url);
    EXPECT_EQ(ex.sessionNote, c.sessionNote);
    EXPECT_EQ(ex.hostNote, c.hostNote);
    EXPECT_EQ(ex.portNote, c.portNote);
    EXPECT_EQ(ex.tlsNote, c.tlsNote);
}

const std::string kNoSid =
    "none in the URL: the helper continues the session still authorized on the customer's PC, if there is "
    "one";
const std::string kIdChars = "; the helper accepts only letters, digits, \"-\" and \"_\"";

INSTANTIATE_TEST_SUITE_P(
    Table, Notes,
    ::testing::Values(
        NoteCase{"kelto://ping/sid/abc.def/host/abc/port/80/tls/1",
                 "cut after 3 characters, before '.def'" + kIdChars, "", "", ""},
        NoteCase{"kelto://ping/sid/" + std::string(100, 'Z'),
                 "cut after 80 characters: '" + std::string(20, 'Z') + "' is dropped", "none in the URL",
                 "none in the URL", "no /tls/ value"},
        NoteCase{"kelto://ping/sid/" + kHebrewShalom + "/x",
                 "empty: the value begins with '" + kHebrewShalom + "'" + kIdChars, "none in the URL",
                 "none in the URL", "no /tls/ value"},
        NoteCase{"kelto:ping?sid=&x", "empty in the URL", "none in the URL", "none in the URL",
                 "no /tls/ value"},
        NoteCase{"kelto:ping", kNoSid, "none in the URL", "none in the URL", "no /tls/ value"},
        NoteCase{"kelto:ping/sid/a1/host/ab_c/port/80", "",
                 "'ab_c' dropped: a host is 1 to 253 characters of a-z, 0-9, \".\" and \"-\" (the port goes "
                 "with it)",
                 "dropped with the host", "no /tls/ value"},
        NoteCase{"kelto:ping/sid/a1/host/abc/port/123456", "", "'abc' dropped with the port",
                 "'123456' dropped: a port is 1 to 5 digits (the host goes with it)", "no /tls/ value"},
        NoteCase{"kelto:ping/sid/a1/host/abc/port/65536/tls/true", "", "",
                 "port '65536' is outside 1-65535: no port, the host stays", "'true' is not exactly \"1\""},
        NoteCase{"kelto:ping/sid/a1/host/abc", "", "'abc' dropped: no /port/ value", "none in the URL",
                 "no /tls/ value"},
        NoteCase{"kelto:ping/sid/a1/port/80", "", "no /host/ value", "dropped: no host", "no /tls/ value"}));

// ---- what the customer sees and what the elevated helper starts ----

TEST(Explain, TheWholeTextOfAConsoleCommand) {
    std::ostringstream out, err;
    EXPECT_EQ(RunExplain({"kelto://ipconfig/sid/T-1001"}, out, err), 0);
    EXPECT_EQ(
        out.str(),
        "URL:                       kelto://ipconfig/sid/T-1001\n"
        "Command line:              \"kelto://ipconfig/sid/T-1001\" (quoted, as the open command passes it)\n"
        "Action key:                ipconfig\n"
        "Session ID:                T-1001\n"
        "Server host:               (none in the URL)\n"
        "Server port:               0 (none in the URL)\n"
        "Server TLS:                off (no /tls/ value)\n"
        "Road:                      approval\n"
        "Token prompt:              asked, unless the session is still authorized on the customer's PC\n"
        "Consent box:               בקשת פעולה מ-Kelto\n"
        "    הנציג מבקש לבצע את הפעולה:\n"
        "    \n"
        "    הצגת הגדרות IP\n"
        "    תופעל הפקודה: ipconfig /all\n"
        "    \n"
        "    לאשר את הפעולה?\n"
        "Confirmation box:          none\n"
        "Restore question:          asked (Yes, No or Cancel)\n"
        "Elevation prompt:          follows: the helper starts itself again elevated\n"
        "Started (64-bit Windows):  %SystemRoot%\\Sysnative\\cmd.exe\n"
        "  Parameters:              /K ipconfig /all\n"
        "  Working folder:          %SystemRoot%\\System32\n"
        "Started (32-bit Windows):  %SystemRoot%\\System32\\cmd.exe\n"
        "  Parameters:              /K ipconfig /all\n"
        "  Working folder:          %SystemRoot%\\System32\n"
        "Verdict:                   the customer is asked, then the elevation prompt follows\n");
    EXPECT_EQ(err.str(), "");
}

struct StartCase {
    std::string key;
    std::string file64, file32, parameters;
};
void PrintTo(const StartCase& c, std::ostream* os) { *os << c.key; }

class Starts : public ::testing::TestWithParam<StartCase> {};

TEST_P(Starts, OnSixtyFourAndThirtyTwoBitWindows) {
    const StartCase& c = GetParam();
    const Explanation ex = Explain("kelto://" + c.key);
    ASSERT_TRUE(ex.start64.has_value());
    ASSERT_TRUE(ex.start32.has_value());
    EXPECT_EQ(*ex.start64, (ShellStart{"open", c.file64, c.parameters, "%SystemRoot%\\System32"}));
    EXPECT_EQ(*ex.start32, (ShellStart{"open", c.file32, c.parameters, "%SystemRoot%\\System32"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Starts,
    ::testing::Values(
        StartCase{"cmd", "%SystemRoot%\\Sysnative\\cmd.exe", "%SystemRoot%\\System32\\cmd.exe", ""},
        StartCase{"devices", "%SystemRoot%\\Sysnative\\mmc.exe", "%SystemRoot%\\System32\\mmc.exe",
                  "devmgmt.msc"},
        StartCase{"events", "%SystemRoot%\\System32\\eventvwr.msc", "%SystemRoot%\\System32\\eventvwr.msc",
                  ""},
        StartCase{"windowsupdate", "ms-settings:windowsupdate", "ms-settings:windowsupdate", ""},
        StartCase{"temp", "%SystemRoot%\\explorer.exe", "%SystemRoot%\\explorer.exe", "%TEMP%"},
        StartCase{"downloads", "%SystemRoot%\\explorer.exe", "%SystemRoot%\\explorer.exe",
                  "%USERPROFILE%\\Downloads"},
        StartCase{"msconfig", "%SystemRoot%\\Sysnative\\msconfig.exe", "%SystemRoot%\\System32\\msconfig.exe",
                  ""},
        // runas in the catalogue; the elevated helper already holds the rights and opens it.
        StartCase{"restartnormal", "%SystemRoot%\\Sysnative\\shutdown.exe",
                  "%SystemRoot%\\System32\\shutdown.exe", "/r /t 15 /c \"Kelto Remote Restart\""},
        StartCase{
            "spoolerreset", "%SystemRoot%\\Sysnative\\cmd.exe", "%SystemRoot%\\System32\\cmd.exe",
            "/K net stop spooler & del /Q /F \"%SystemRoot%\\System32\\spool\\PRINTERS\\*.*\" & net start "
            "spooler"}),
    [](const auto& info) { return info.param.key; });

TEST(Explain, ConfirmationsAndTheRestoreQuestionFollowTheCatalogue) {
    const Explanation restart = Explain("kelto://restartnormal");
    ASSERT_TRUE(restart.confirmationBox.has_value());
    EXPECT_EQ(
        *restart.confirmationBox,
        (actions::BoxText{"Kelto Remote - אתחול", "המחשב יופעל מחדש בעוד 15 שניות.\r\n\r\nהאם להמשיך?"}));
    EXPECT_TRUE(restart.restoreQuestion);

    const Explanation rescue = Explain("kelto://virtualiso/sid/q7/host/Support.Example.com/port/443/tls/1");
    ASSERT_TRUE(rescue.confirmationBox.has_value());
    EXPECT_EQ(
        *rescue.confirmationBox,
        (actions::BoxText{"Kelto Remote - מכונה וירטואלית",
                          "הפעולה תוריד את QEMU.zip ואת קובץ ה-ISO.\r\nה-ZIP יחולץ לתיקיית QEMU ליד כלי "
                          "העזר.\r\nQEMU לא תותקן ב-Windows ולא יימחקו קבצים אחרים.\r\nשרת ההורדה: "
                          "https://support.example.com:443\r\n\r\nלהמשיך בהורדה ובהפעלה?"}));
    EXPECT_FALSE(rescue.restoreQuestion);
    EXPECT_EQ(rescue.performer, actions::Performer::RescueVm);
    EXPECT_EQ(rescue.rescueServer, "https://support.example.com:443");
    EXPECT_FALSE(rescue.start64.has_value());

    const Explanation noServer = Explain("kelto://virtualiso/sid/q7");
    EXPECT_TRUE(noServer.confirmationRefuses);
    EXPECT_EQ(*noServer.confirmationBox,
              (actions::BoxText{"Kelto Remote", "כתובת שרת Kelto לא התקבלה ולכן ההורדה בוטלה."}));
    EXPECT_FALSE(noServer.Proceeds());

    const Explanation rollback = Explain("kelto:restorelastkelto");
    EXPECT_FALSE(rollback.confirmationBox.has_value());
    EXPECT_FALSE(rollback.restoreQuestion);
    EXPECT_EQ(rollback.performer, actions::Performer::Rollback);
}

TEST(Explain, RefusalsShowTheCustomersBox) {
    const Explanation invalid = Explain("kelto:/-ping");
    ASSERT_TRUE(invalid.invalidActionBox.has_value());
    EXPECT_EQ(*invalid.invalidActionBox,
              (actions::BoxText{"Kelto", "התקבלה פעולה לא תקינה.\r\nהערך שהתקבל: \"kelto:/-ping\""}));
    const Explanation unknown = Explain("kelto:calc");
    ASSERT_TRUE(unknown.refusalBox.has_value());
    EXPECT_EQ(*unknown.refusalBox, (actions::BoxText{"Kelto", "הפעולה אינה נמצאת ברשימת הפעולות המאושרות."}));
    EXPECT_FALSE(unknown.consentBox.has_value());
}

// ---- consent texts against the catalogue's golden file ----

TEST(Explain, ConsentTextOfEveryKeyEqualsTheCatalogueFixture) {
    std::ifstream in(KELTO_TEST_DATA_DIR "/catalogue.tsv", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::stringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        ASSERT_GE(cells.size(), 4u) << line;
        const Explanation ex = Explain("kelto://" + cells[0] + "/sid/s1");
        ASSERT_TRUE(ex.consentBox.has_value()) << cells[0];
        EXPECT_EQ(ex.consentBox->title, "בקשת פעולה מ-Kelto") << cells[0];
        EXPECT_EQ(ex.consentBox->text, "הנציג מבקש לבצע את הפעולה:\r\n\r\n" + cells[2] + "\r\n" + cells[3] +
                                           "\r\n\r\nלאשר את הפעולה?")
            << cells[0];
        ++rows;
    }
    EXPECT_EQ(rows, 67);
}

// ---- url and its round trip through explain ----

struct RoundTripCase {
    std::string name;
    std::optional<std::string> sessionId, host, port;
    bool tls;
};

TEST(Url, EveryCatalogueKeyComesBackFromExplain) {
    const std::vector<RoundTripCase> shapes = {
        {"bare", std::nullopt, std::nullopt, std::nullopt, false},
        {"session", "AbC-9_x", std::nullopt, std::nullopt, false},
        {"server", std::nullopt, "support.example.com", "8443", false},
        {"all", std::string(80, 's'), "10.0.0.5", "443", true},
    };
    std::vector<std::string> keys(actions::CatalogueKeys().begin(), actions::CatalogueKeys().end());
    keys.push_back("offline");
    for (const std::string& key : keys) {
        for (const RoundTripCase& shape : shapes) {
            const BuiltUrl built = BuildUrl({key, shape.sessionId, shape.host, shape.port, shape.tls});
            if (key == "virtualiso" && !shape.host) {
                EXPECT_EQ(
                    built.error,
                    "'virtualiso' needs --host and --port: the rescue VM is downloaded from the server");
                continue;
            }
            ASSERT_EQ(built.error, "") << key << " " << shape.name;
            const Explanation ex = Explain(built.url);
            EXPECT_EQ(ex.actionKey, key) << built.url;
            EXPECT_EQ(ex.sessionId, shape.sessionId.value_or("")) << built.url;
            EXPECT_EQ(ex.serverHost, shape.host.value_or("")) << built.url;
            EXPECT_EQ(ex.serverPort, shape.port ? std::stoi(*shape.port) : 0) << built.url;
            EXPECT_EQ(ex.serverUseTls, shape.tls) << built.url;
            EXPECT_TRUE(ex.Proceeds()) << built.url;
        }
    }
}

TEST(Url, IsThePathFormInCanonicalSpelling) {
    EXPECT_EQ(BuildUrl({"ipconfig", std::nullopt, std::nullopt, std::nullopt, false}).url,
              "kelto://ipconfig");
    EXPECT_EQ(BuildUrl({"virtualiso", "AbC", "Support.Example.com", "0443", true}).url,
              "kelto://virtualiso/sid/AbC/host/support.example.com/port/443/tls/1");
    // A session ID that is also a segment name goes last, where nothing follows it.
    EXPECT_EQ(BuildUrl({"ping", "host", "abc", "80", false}).url, "kelto://ping/port/80/host/abc/sid/host");
}

struct RefusalCase {
    std::string name;
    UrlRequest request;
    std::string reason;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class UrlRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UrlRefusals, SayWhy) {
    const BuiltUrl built = BuildUrl(GetParam().request);
    EXPECT_EQ(built.url, "");
    EXPECT_EQ(built.error, GetParam().reason);
}

const std::string kHostRule = "': 1 to 253 characters of a-z, 0-9, \".\" and \"-\"";

INSTANTIATE_TEST_SUITE_P(
    Table, UrlRefusals,
    ::testing::Values(
        RefusalCase{"UnknownKey", {"calc"}, "'calc' is not in the catalogue, nor \"offline\""},
        RefusalCase{"KeysAreExact", {"IPCONFIG"}, "'IPCONFIG' is not in the catalogue, nor \"offline\""},
        RefusalCase{"EmptyKey", {""}, "'' is not in the catalogue, nor \"offline\""},
        RefusalCase{
            "SidWithDot",
            {"ping", "abc.def"},
            "the helper would cut the session ID 'abc.def' to 'abc': letters, digits, \"-\" and \"_\" only"},
        RefusalCase{"HebrewSid",
                    {"ping", kHebrewShalom},
                    "the helper would cut the session ID '" + kHebrewShalom +
                        "' to '': letters, digits, \"-\" and \"_\" only"},
        RefusalCase{"EmptySid", {"ping", ""}, "the session ID is empty"},
        RefusalCase{"LongSid",
                    {"ping", std::string(81, 'a')},
                    "the session ID has 81 characters; the helper keeps 80"},
        RefusalCase{"HostWithoutPort",
                    {"ping", std::nullopt, "abc"},
                    "--host and --port go together: the helper drops a host without a port"},
        RefusalCase{"PortWithoutHost",
                    {"ping", std::nullopt, std::nullopt, "80"},
                    "--host and --port go together: the helper drops a host without a port"},
        RefusalCase{"TlsAlone",
                    {"ping", std::nullopt, std::nullopt, std::nullopt, true},
                    "--tls needs --host and --port"},
        RefusalCase{"HostUnderscore",
                    {"ping", std::nullopt, "ab_c", "80"},
                    "the helper would drop the host 'ab_c" + kHostRule},
        RefusalCase{"HostWithPort",
                    {"ping", std::nullopt, "abc:80", "80"},
                    "the helper would drop the host 'abc:80" + kHostRule},
        RefusalCase{"PortAbove",
                    {"ping", std::nullopt, "abc", "65536"},
                    "the helper would drop the port 65536: outside 1-65535"},
        RefusalCase{"PortZero",
                    {"ping", std::nullopt, "abc", "0"},
                    "the helper would drop the port 0: outside 1-65535"},
        RefusalCase{"PortSixDigits",
                    {"ping", std::nullopt, "abc", "000443"},
                    "the helper would drop the port '000443' and the host with it: 1 to 5 digits"},
        RefusalCase{"PortBlank",
                    {"ping", std::nullopt, "abc", " 80"},
                    "the helper would drop the port ' 80' and the host with it: 1 to 5 digits"},
        RefusalCase{"RescueVmWithoutServer",
                    {"virtualiso", "s1"},
                    "'virtualiso' needs --host and --port: the rescue VM is downloaded from the server"},
        RefusalCase{"NamesAsValues",
                    {"ping", "host", "sid", "80"},
                    "the helper would read these values otherwise in any URL: a value that is also a segment "
                    "name (sid, host, port, tls)"}),
    [](const auto& info) { return info.param.name; });

// ---- arguments ----

struct ArgumentCase {
    std::vector<std::string> args;
    std::string error;
};

TEST(Arguments, BadOnesGetOneLineAndExitTwo) {
    const std::vector<ArgumentCase> cases = {
        {{"explain"}, "kelto-token: explain needs exactly one URL\n"},
        {{"explain", "a", "b"}, "kelto-token: explain needs exactly one URL\n"},
        {{"explain", "--jsn", "kelto:ping"}, "kelto-token: explain: unknown option '--jsn'\n"},
        {{"explain", "--json", "--json", "kelto:ping"}, "kelto-token: explain: --json given twice\n"},
        {{"url"}, "kelto-token: url needs exactly one action key\n"},
        {{"url", "ping", "--sid"}, "kelto-token: url: --sid needs a value\n"},
        {{"url", "ping", "--tls=1"}, "kelto-token: url: --tls takes no value\n"},
        {{"url", "ping", "--port", "1", "--port=2"}, "kelto-token: url: --port given twice\n"},
        {{"url", "ping", std::string("--a\nb")}, "kelto-token: url: unknown option '--a\\x0ab'\n"},
        {{"url", "ping", "--sid", "a.b"},
         "kelto-token: the helper would cut the session ID 'a.b' to 'a': letters, digits, \"-\" and \"_\" "
         "only\n"},
    };
    for (const ArgumentCase& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(RunUrlOrExplain(c.args, out, err), 2) << c.error;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), c.error);
    }
}

TEST(Arguments, OptionsAndValuesInEitherForm) {
    std::ostringstream out, err;
    EXPECT_EQ(RunUrlOrExplain({"url", "--sid=-_-9", "virtualiso", "--host", "h.example", "--port=1", "--tls"},
                              out, err),
              0);
    EXPECT_EQ(out.str(), "kelto://virtualiso/sid/-_-9/host/h.example/port/1/tls/1\n");
    std::ostringstream out2, err2;
    // After "--" a URL may begin with "-".
    EXPECT_EQ(RunUrlOrExplain({"explain", "--json", "--", "--kelto:ping"}, out2, err2), 0);
    EXPECT_NE(out2.str().find("\"actionKey\": \"ping\",\n"), std::string::npos) << out2.str();
}

TEST(Arguments, ExplainExitsOneWhenTheHelperRefuses) {
    for (const std::string url : {"kelto:", "kelto:calc", "kelto://virtualiso"}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunUrlOrExplain({"explain", url}, out, err), 1) << url;
        EXPECT_EQ(err.str(), "");
    }
}

TEST(Json, UrlAndExplainWriteTheDocumentedFields) {
    std::ostringstream out, err;
    EXPECT_EQ(RunUrlOrExplain({"url", "--json", "offline", "--sid", "T-7"}, out, err), 0);
    EXPECT_EQ(out.str(),
              "{\n"
              "  \"url\": \"kelto://offline/sid/T-7\",\n"
              "  \"actionKey\": \"offline\",\n"
              "  \"sessionId\": \"T-7\",\n"
              "  \"serverHost\": \"\",\n"
              "  \"serverPort\": 0,\n"
              "  \"serverUseTls\": false\n"
              "}\n");
    std::ostringstream json, jsonErr;
    EXPECT_EQ(RunUrlOrExplain({"explain", "--json", "kelto:\xff\x01?tool=Calc\"x"}, json, jsonErr), 1);
    const std::string text = json.str();
    EXPECT_NE(text.find("  \"url\": \"kelto:\\ufffd\\u0001?tool=Calc\\\"x\",\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  \"road\": \"notInCatalogue\",\n"), std::string::npos) << text;
    EXPECT_NE(
        text.find("  \"refusalBox\": {\n    \"title\": \"Kelto\",\n    \"text\": \"הפעולה אינה נמצאת ברשימת "
                  "הפעולות המאושרות.\"\n  },\n"),
        std::string::npos)
        << text;
}

}  // namespace
}  // namespace kelto::tokentool

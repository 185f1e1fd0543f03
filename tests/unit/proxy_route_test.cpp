#include "base/proxy_route.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace kelto {
namespace {

using proxy_route::Route;
using proxy_route::ScriptAnswer;
using proxy_route::UserSettings;
using Kind = Route::Kind;

// A proxy script that answers as the case says, and remembers each question.
struct Question {
    bool autoDetect;
    std::string scriptUrl;
    bool operator==(const Question&) const = default;
};

struct RouteCase {
    const char* name;
    std::optional<UserSettings> settings;
    std::optional<ScriptAnswer> script;  // nothing: no script answered in time
    Route expected;
    std::vector<Question> asked;
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.name; }

class ProxyRouteChoice : public ::testing::TestWithParam<RouteCase> {};

TEST_P(ProxyRouteChoice, FollowsTheUsersSettingsInWinHttpsOrder) {
    const auto& c = GetParam();
    std::vector<Question> asked;
    const auto route = proxy_route::Choose(c.settings, [&](bool autoDetect, const std::string& scriptUrl) {
        asked.push_back({autoDetect, scriptUrl});
        return c.script;
    });
    EXPECT_EQ(route.kind, c.expected.kind);
    EXPECT_EQ(route.proxy, c.expected.proxy);
    EXPECT_EQ(route.bypass, c.expected.bypass);
    EXPECT_EQ(asked, c.asked);
}

const UserSettings kFixedOnly{false, "", "proxy.corp.example:8080", "<local>;*.corp.example"};
const UserSettings kScriptAndFixed{false, "http://wpad.corp.example/proxy.pac", "proxy.corp.example:8080",
                                   "<local>"};
const UserSettings kDetectOnly{true, "", "", ""};
const UserSettings kDetectScriptAndFixed{true, "http://wpad.corp.example/proxy.pac", "10.0.0.1:3128", ""};

INSTANTIATE_TEST_SUITE_P(
    Settings, ProxyRouteChoice,
    ::testing::Values(
        // Settings that cannot be read, or that name nothing: WinHTTP's own setting.
        RouteCase{"Unreadable", std::nullopt, std::nullopt, {Kind::WinHttpDefault, "", ""}, {}},
        RouteCase{"Empty", UserSettings{}, ScriptAnswer{"never:1", ""}, {Kind::WinHttpDefault, "", ""}, {}},
        // A fixed proxy with its bypass list, no script asked.
        RouteCase{"FixedProxy",
                  kFixedOnly,
                  ScriptAnswer{"never:1", ""},
                  {Kind::Named, "proxy.corp.example:8080", "<local>;*.corp.example"},
                  {}},
        RouteCase{"FixedProxyPerScheme",
                  UserSettings{false, "", "http=web.corp.example:80;https=tls.corp.example:443", ""},
                  std::nullopt,
                  {Kind::Named, "http=web.corp.example:80;https=tls.corp.example:443", ""},
                  {}},
        // A script at an address comes before the fixed proxy of the same settings.
        RouteCase{"ScriptNamesAProxy",
                  kScriptAndFixed,
                  ScriptAnswer{"pac-proxy.corp.example:3128", "*.intra.example"},
                  {Kind::Named, "pac-proxy.corp.example:3128", "*.intra.example"},
                  {{false, "http://wpad.corp.example/proxy.pac"}}},
        RouteCase{"ScriptSaysDirect",
                  kScriptAndFixed,
                  ScriptAnswer{"", ""},
                  {Kind::Direct, "", ""},
                  {{false, "http://wpad.corp.example/proxy.pac"}}},
        // No script answered in time: the fixed proxy, else WinHTTP's own setting.
        RouteCase{"ScriptSilentFixedProxy",
                  kScriptAndFixed,
                  std::nullopt,
                  {Kind::Named, "proxy.corp.example:8080", "<local>"},
                  {{false, "http://wpad.corp.example/proxy.pac"}}},
        RouteCase{
            "DetectionFindsNothing", kDetectOnly, std::nullopt, {Kind::WinHttpDefault, "", ""}, {{true, ""}}},
        RouteCase{"DetectionNamesAProxy",
                  kDetectOnly,
                  ScriptAnswer{"wpad-proxy.example:8080", ""},
                  {Kind::Named, "wpad-proxy.example:8080", ""},
                  {{true, ""}}},
        // Detection and an address together are one question.
        RouteCase{"DetectionAndScriptSilent",
                  kDetectScriptAndFixed,
                  std::nullopt,
                  {Kind::Named, "10.0.0.1:3128", ""},
                  {{true, "http://wpad.corp.example/proxy.pac"}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelto

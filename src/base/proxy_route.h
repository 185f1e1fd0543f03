// Which way a request of this program goes out: the proxy the customer's browser uses, read
// from the current user's Internet settings, or WinHTTP's own setting where the user has none.
// The order follows WinHTTP's autoproxy guidance: a proxy script (detected on the network, or
// at the address the user gave) first; when no script answers, the fixed proxy of the same
// settings; when there is none, WinHTTP's default.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kelto::proxy_route {

// The current user's Internet settings, as WinHTTP hands them out for the user.
struct UserSettings {
    bool autoDetect = false;  // "Automatically detect settings"
    std::string scriptUrl;    // "Use setup script": the proxy script's address, or empty
    std::string proxy;        // "Use a proxy server": a WinHTTP proxy list, or empty
    std::string bypass;       // the hosts that go direct besides, or empty
};

// What a proxy script named for the request's URL: a proxy list and its bypass list, or an
// empty proxy list where the script says DIRECT.
struct ScriptAnswer {
    std::string proxy;
    std::string bypass;
};

// Asks the proxy script for the request's URL (detected on the network when `autoDetect`,
// and/or at `scriptUrl`), within a bound of its own; nothing when no script answered in time.
using ScriptQuestion =
    std::function<std::optional<ScriptAnswer>(bool autoDetect, const std::string& scriptUrl)>;

struct Route {
    enum class Kind {
        WinHttpDefault,  // WinHTTP's own proxy setting
        Direct,          // no proxy
        Named,           // `proxy`, except for the hosts of `bypass`
    };
    Kind kind = Kind::WinHttpDefault;
    std::string proxy;
    std::string bypass;

    bool operator==(const Route&) const = default;
};

// The way out for one request. `settings` is nothing when the user's settings could not be
// read. The script is asked only where the settings name one.
Route Choose(const std::optional<UserSettings>& settings, const ScriptQuestion& askScript);

}  // namespace kelto::proxy_route

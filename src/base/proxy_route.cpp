#include "base/proxy_route.h"

namespace kelto::proxy_route {

Route Choose(const std::optional<UserSettings>& settings, const ScriptQuestion& askScript) {
    if (!settings) return {};
    if (settings->autoDetect || !settings->scriptUrl.empty()) {
        if (const auto answer = askScript(settings->autoDetect, settings->scriptUrl)) {
            if (answer->proxy.empty()) return {Route::Kind::Direct, {}, {}};
            return {Route::Kind::Named, answer->proxy, answer->bypass};
        }
    }
    if (!settings->proxy.empty()) return {Route::Kind::Named, settings->proxy, settings->bypass};
    return {};
}

}  // namespace kelto::proxy_route

#include "ui/connectivity.h"

namespace kelto::ui {

bool IsInternetAvailable(platform::Http& http) {
    // no-cache: neither a proxy nor a cache may answer in the test server's place.
    const auto status =
        http.Get(kConnectivityTestUrl, kConnectivityTimeouts, {{"Cache-Control", "no-cache"}});
    return status.has_value() && *status >= 200 && *status < 400;
}

}  // namespace kelto::ui

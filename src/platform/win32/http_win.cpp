#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "base/proxy_route.h"
#include "kelto/version.h"
#include "platform/win32/alive_wait_win.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
// WinHTTP, loaded on the first request: most starts of the program never make one.
struct WinHttp {
    decltype(&::WinHttpCrackUrl) crackUrl = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpCrackUrl);
    decltype(&::WinHttpOpen) open = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpOpen);
    decltype(&::WinHttpSetTimeouts) setTimeouts = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpSetTimeouts);
    decltype(&::WinHttpSetOption) setOption = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpSetOption);
    decltype(&::WinHttpConnect) connect = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpConnect);
    decltype(&::WinHttpOpenRequest) openRequest = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpOpenRequest);
    decltype(&::WinHttpAddRequestHeaders) addRequestHeaders =
        KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpAddRequestHeaders);
    decltype(&::WinHttpSendRequest) sendRequest = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpSendRequest);
    decltype(&::WinHttpReceiveResponse) receiveResponse =
        KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpReceiveResponse);
    decltype(&::WinHttpQueryHeaders) queryHeaders = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpQueryHeaders);
    decltype(&::WinHttpCloseHandle) closeHandle = KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpCloseHandle);
    decltype(&::WinHttpGetIEProxyConfigForCurrentUser) getUserProxyConfig =
        KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpGetIEProxyConfigForCurrentUser);
    decltype(&::WinHttpGetProxyForUrl) getProxyForUrl =
        KELTO_SYSTEM_FUNCTION(kWinHttp, WinHttpGetProxyForUrl);

    bool Complete() const {
        return crackUrl && open && setTimeouts && setOption && connect && openRequest && addRequestHeaders &&
               sendRequest && receiveResponse && queryHeaders && closeHandle && getUserProxyConfig &&
               getProxyForUrl;
    }
};

// Null when WinHTTP or one of its functions is missing.
const WinHttp* LoadWinHttp() {
    static const WinHttp api;
    return api.Complete() ? &api : nullptr;
}

// A handle exists only once WinHTTP has loaded.
void CloseInternet(HINTERNET h) { LoadWinHttp()->closeHandle(h); }
using UniqueInternet = UniqueAny<HandleTraits<HINTERNET, CloseInternet>>;

// WinHTTP hands out proxy strings that the caller frees with GlobalFree.
std::wstring TakeGlobalString(LPWSTR text) {
    if (!text) return {};
    std::wstring copy(text);
    ::GlobalFree(text);
    return copy;
}

// How long finding the proxy may take: the probe as a whole is bounded by its own four
// timeouts plus this.
constexpr DWORD kProxyDiscoveryMs = 2000;

// One question to a proxy script, shared by the asking request and the thread that asks.
struct Discovery {
    const WinHttp* api;
    std::wstring url;
    bool autoDetect;
    std::wstring scriptUrl;
    std::optional<proxy_route::ScriptAnswer> found;
};

DWORD WINAPI Discover(LPVOID parameter) {
    const std::unique_ptr<std::shared_ptr<Discovery>> own(
        static_cast<std::shared_ptr<Discovery>*>(parameter));
    Discovery& d = **own;
    UniqueInternet session(d.api->open(L"" KELTO_PRODUCT_NAME "/" KELTO_VERSION_TEXT,
                                       WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return 0;
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (d.autoDetect) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!d.scriptUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = d.scriptUrl.c_str();
    }
    // First without the user's logon, as Microsoft's autoproxy sample does; again with it for a
    // script server that asks for it.
    WINHTTP_PROXY_INFO info{};
    BOOL ok = d.api->getProxyForUrl(session.get(), d.url.c_str(), &options, &info);
    if (!ok && ::GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
        options.fAutoLogonIfChallenged = TRUE;
        ok = d.api->getProxyForUrl(session.get(), d.url.c_str(), &options, &info);
    }
    if (!ok) return 0;
    const std::string proxy = Narrow(TakeGlobalString(info.lpszProxy));
    const std::string bypass = Narrow(TakeGlobalString(info.lpszProxyBypass));
    // A script that answers DIRECT says: no proxy for this URL.
    d.found =
        proxy_route::ScriptAnswer{info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy : "", bypass};
    return 0;
}

// Asks WinHTTP which proxy a script (auto-detected, or at the given address) names for the
// URL. The discovery has no overall time limit of its own, so it runs on a thread: when it has
// not answered within `waitMs` the request goes on without it, and the thread finishes later on
// its own reference to the shared state.
std::optional<proxy_route::ScriptAnswer> ProxyFromScript(const WinHttp& api, const std::wstring& url,
                                                         bool autoDetect, const std::wstring& scriptUrl,
                                                         DWORD waitMs) {
    const auto discovery =
        std::make_shared<Discovery>(Discovery{&api, url, autoDetect, scriptUrl, std::nullopt});
    auto forThread = std::make_unique<std::shared_ptr<Discovery>>(discovery);
    UniqueHandle thread(::CreateThread(nullptr, 0, Discover, forThread.get(), 0, nullptr));
    if (!thread) return std::nullopt;
    forThread.release();  // the thread owns its reference now
    const HANDLE handles[] = {thread.get()};
    if (WaitForHandlesAlive(handles, waitMs).kind != WaitEnd::Kind::Done) return std::nullopt;
    return discovery->found;
}

// The current user's Internet settings, as the browser and Windows' proxy settings keep them;
// nothing when they cannot be read.
std::optional<proxy_route::UserSettings> UserProxySettings(const WinHttp& api) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!api.getUserProxyConfig(&config)) return std::nullopt;
    // Each string is taken (and freed) whether it is used or not.
    proxy_route::UserSettings settings;
    settings.autoDetect = config.fAutoDetect != FALSE;
    settings.scriptUrl = Narrow(TakeGlobalString(config.lpszAutoConfigUrl));
    settings.proxy = Narrow(TakeGlobalString(config.lpszProxy));
    settings.bypass = Narrow(TakeGlobalString(config.lpszProxyBypass));
    return settings;
}

// The way out for a request to `url`: the proxy the customer's browser uses, as the browser
// reaches the internet; WinHTTP's own setting (the default proxy) where the user has none.
proxy_route::Route RouteFor(const WinHttp& api, const std::wstring& url) {
    return proxy_route::Choose(UserProxySettings(api), [&](bool autoDetect, const std::string& scriptUrl) {
        return ProxyFromScript(api, url, autoDetect, Widen(scriptUrl), kProxyDiscoveryMs);
    });
}
// The request itself, on the calling thread.
std::optional<int> GetNow(const std::string& url, const HttpTimeouts& timeouts,
                          const std::vector<std::pair<std::string, std::string>>& headers) {
    const WinHttp* winHttp = LoadWinHttp();
    if (!winHttp) return std::nullopt;
    const std::wstring wUrl = Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = static_cast<DWORD>(std::size(path));
    wchar_t extra[2048] = {};
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = static_cast<DWORD>(std::size(extra));
    if (!winHttp->crackUrl(wUrl.c_str(), 0, 0, &parts)) return std::nullopt;

    const proxy_route::Route route = RouteFor(*winHttp, wUrl);
    const std::wstring proxyName = Widen(route.proxy);
    const std::wstring proxyBypass = Widen(route.bypass);
    DWORD access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    if (route.kind == proxy_route::Route::Kind::Direct) access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    const bool named = route.kind == proxy_route::Route::Kind::Named;
    if (named) access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    // Names go with a named proxy only; an empty bypass string would itself be taken as the list.
    UniqueInternet session(
        winHttp->open(L"" KELTO_PRODUCT_NAME "/" KELTO_VERSION_TEXT, access,
                      named ? proxyName.c_str() : WINHTTP_NO_PROXY_NAME,
                      named && !proxyBypass.empty() ? proxyBypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return std::nullopt;
    winHttp->setTimeouts(session.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs,
                         timeouts.receiveMs);
    UniqueInternet connection(winHttp->connect(session.get(), host, parts.nPort, 0));
    if (!connection) return std::nullopt;
    const std::wstring object = std::wstring(path) + extra;
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    UniqueInternet request(winHttp->openRequest(connection.get(), L"GET", object.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request) return std::nullopt;
    // The timeouts apply to the request handle as well (connection and receive phases).
    winHttp->setTimeouts(request.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs,
                         timeouts.receiveMs);
    // The receive timeout above covers reading the body; the wait for the response headers
    // has an option of its own, so that a server that accepts and never answers is cut too.
    DWORD headerWait = static_cast<DWORD>(timeouts.receiveMs);
    winHttp->setOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWait,
                       sizeof headerWait);
    for (const auto& [name, value] : headers) {
        const std::wstring line = Widen(name + ": " + value);
        winHttp->addRequestHeaders(request.get(), line.c_str(), static_cast<DWORD>(-1L),
                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }
    if (!winHttp->sendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                              0) ||
        !winHttp->receiveResponse(request.get(), nullptr)) {
        return std::nullopt;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!winHttp->queryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return static_cast<int>(status);
}

}  // namespace

// The request runs on a thread of its own: proxy discovery, name resolution and the wait for
// the answer take seconds, and the window thread that asked keeps its windows alive meanwhile.
// A request that cannot be run or waited for got no answer.
std::optional<int> Win32Http::Get(const std::string& url, const HttpTimeouts& timeouts,
                                  const std::vector<std::pair<std::string, std::string>>& headers) {
    const auto status = std::make_shared<std::optional<int>>();
    DWORD error = 0;
    const bool ran = RunOffThreadAlive([status, url, timeouts, headers] { *status = GetNow(url, timeouts, headers); },
                                       error);
    if (!ran) return std::nullopt;
    return *status;
}

}  // namespace kelto::platform::win32

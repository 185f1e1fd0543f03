#include <windows.h>
#include <winhttp.h>

#include "kelto/version.h"
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

    bool Complete() const {
        return crackUrl && open && setTimeouts && setOption && connect && openRequest && addRequestHeaders &&
               sendRequest && receiveResponse && queryHeaders && closeHandle;
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
}  // namespace

std::optional<int> Win32Http::Get(const std::string& url, const HttpTimeouts& timeouts,
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

    UniqueInternet session(winHttp->open(L"" KELTO_PRODUCT_NAME "/" KELTO_VERSION_TEXT,
                                         WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                         WINHTTP_NO_PROXY_BYPASS, 0));
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

}  // namespace kelto::platform::win32

#include <windows.h>
#include <winhttp.h>

#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
inline void CloseInternet(HINTERNET h) { ::WinHttpCloseHandle(h); }
using UniqueInternet = UniqueAny<HandleTraits<HINTERNET, CloseInternet>>;
}  // namespace

std::optional<int> Win32Http::Get(const std::string& url, const HttpTimeouts& timeouts,
                                  const std::vector<std::pair<std::string, std::string>>& headers) {
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
    if (!::WinHttpCrackUrl(wUrl.c_str(), 0, 0, &parts)) return std::nullopt;

    UniqueInternet session(::WinHttpOpen(L"KeltoClientHelper/1.12.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return std::nullopt;
    ::WinHttpSetTimeouts(session.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs, timeouts.receiveMs);
    UniqueInternet connection(::WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return std::nullopt;
    const std::wstring object = std::wstring(path) + extra;
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    UniqueInternet request(::WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request) return std::nullopt;
    // The timeouts apply to the request handle as well (connection and receive phases).
    ::WinHttpSetTimeouts(request.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs, timeouts.receiveMs);
    for (const auto& [name, value] : headers) {
        const std::wstring line = Widen(name + ": " + value);
        ::WinHttpAddRequestHeaders(request.get(), line.c_str(), static_cast<DWORD>(-1L),
                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        return std::nullopt;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return static_cast<int>(status);
}

}  // namespace kelto::platform::win32

// The internet as the helper's connectivity probe sees it, on 127.0.0.1: the probe reaches
// the local HTTP server through WinHTTP's default proxy (the http_proxy variable of the
// helper's environment), so the program under test runs exactly as shipped. Every request is
// answered according to the server's mode and recorded.
#pragma once

#include <string>
#include <vector>

#include "http_server.h"

namespace kelto::e2e {

enum class ProbeAnswer {
    NoContent,          // 204
    RedirectToOk,       // 302 to a path that answers 204
    RedirectToMissing,  // 302 to a path that answers 404
    NotFound,           // 404
    ServerError,        // 500
    Silent,             // accepts, reads the request and never answers
};

using ProbeRequest = HttpRequest;

class ProbeServer {
public:
    explicit ProbeServer(ProbeAnswer answer) { SetAnswer(answer); }

    void SetAnswer(ProbeAnswer answer);
    int Port() const { return server_.Port(); }
    // The value for http_proxy.
    std::wstring ProxyUrl() const { return server_.ProxyUrl(); }
    std::vector<ProbeRequest> Requests() const { return server_.RequestHeads(); }

private:
    HttpServer server_;
};

}  // namespace kelto::e2e

// A small HTTP server on 127.0.0.1 standing in for the internet: the helper's connectivity
// probe reaches it through WinHTTP's default proxy (the http_proxy variable of the helper's
// environment), so the program under test runs exactly as shipped. Each connection gets one
// answer according to the server's mode; every request is recorded.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelto::e2e {

enum class ProbeAnswer {
    NoContent,          // 204
    RedirectToOk,       // 302 to a path that answers 204
    RedirectToMissing,  // 302 to a path that answers 404
    NotFound,           // 404
    ServerError,        // 500
    Silent,             // accepts, reads the request and never answers
};

struct ProbeRequest {
    std::string requestLine;           // e.g. "GET http://host/path HTTP/1.1"
    std::vector<std::string> headers;  // "Name: value", as received
};

class ProbeServer {
public:
    explicit ProbeServer(ProbeAnswer answer);
    ~ProbeServer();
    ProbeServer(const ProbeServer&) = delete;
    ProbeServer& operator=(const ProbeServer&) = delete;

    void SetAnswer(ProbeAnswer answer) { answer_ = answer; }
    int Port() const { return port_; }
    // "http://127.0.0.1:<port>", the value for http_proxy.
    std::wstring ProxyUrl() const;
    std::vector<ProbeRequest> Requests() const;

private:
    void Serve();
    void Answer(SOCKET client);

    std::atomic<ProbeAnswer> answer_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<ProbeRequest> requests_;
    std::vector<SOCKET> held_;  // silent connections, closed when the server stops
    std::thread thread_;
};

// A local port that nothing listens on (bound once, then released).
int ClosedLocalPort();

}  // namespace kelto::e2e

#include "probe_server.h"

#include <ws2tcpip.h>

#include <stdexcept>

namespace kelto::e2e {

namespace {

struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
};

void EnsureWinsock() { static WinsockStartup startup; }

SOCKET BindLoopback(int& port) {
    EnsureWinsock();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(s);
        throw std::runtime_error("bind failed");
    }
    int length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

// Reads up to the blank line that ends the request's headers (the probe sends no body).
std::string ReadRequestHead(SOCKET client) {
    std::string head;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const int got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        head.append(buffer, static_cast<size_t>(got));
    }
    return head;
}

ProbeRequest ParseHead(const std::string& head) {
    ProbeRequest request;
    size_t start = 0;
    bool first = true;
    while (start < head.size()) {
        const size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start) break;
        const std::string line = head.substr(start, end - start);
        if (first) {
            request.requestLine = line;
            first = false;
        } else {
            request.headers.push_back(line);
        }
        start = end + 2;
    }
    return request;
}

std::string Response(int status, const char* reason, const std::string& location = {}) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    if (!location.empty()) text += "Location: " + location + "\r\n";
    text += "Content-Length: 0\r\nConnection: close\r\n\r\n";
    return text;
}

}  // namespace

ProbeServer::ProbeServer(ProbeAnswer answer) : answer_(answer) {
    listener_ = BindLoopback(port_);
    ::listen(listener_, 8);
    thread_ = std::thread([this] { Serve(); });
}

ProbeServer::~ProbeServer() {
    stopping_ = true;
    ::closesocket(listener_);  // ends the blocking accept
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    for (SOCKET s : held_) ::closesocket(s);
}

std::wstring ProbeServer::ProxyUrl() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

std::vector<ProbeRequest> ProbeServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void ProbeServer::Serve() {
    while (!stopping_) {
        SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        Answer(client);
    }
}

void ProbeServer::Answer(SOCKET client) {
    const ProbeRequest request = ParseHead(ReadRequestHead(client));
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    // Requests come through the proxy in absolute form: "GET http://host/path HTTP/1.1".
    const bool redirected = request.requestLine.find("/after-redirect") != std::string::npos;
    std::string response;
    switch (answer_.load()) {
        case ProbeAnswer::NoContent:
            response = Response(204, "No Content");
            break;
        case ProbeAnswer::RedirectToOk:
            response = redirected ? Response(204, "No Content")
                                  : Response(302, "Found", "http://www.msftconnecttest.com/after-redirect");
            break;
        case ProbeAnswer::RedirectToMissing:
            response = redirected ? Response(404, "Not Found")
                                  : Response(302, "Found", "http://www.msftconnecttest.com/after-redirect");
            break;
        case ProbeAnswer::NotFound:
            response = Response(404, "Not Found");
            break;
        case ProbeAnswer::ServerError:
            response = Response(500, "Internal Server Error");
            break;
        case ProbeAnswer::Silent: {
            // Held open without an answer until the server stops: only the client's own
            // timeout ends the wait.
            std::lock_guard lock(mutex_);
            held_.push_back(client);
            return;
        }
    }
    ::send(client, response.data(), static_cast<int>(response.size()), 0);
    ::shutdown(client, SD_SEND);
    ::closesocket(client);
}

int ClosedLocalPort() {
    int port = 0;
    SOCKET s = BindLoopback(port);
    ::closesocket(s);
    return port;
}

}  // namespace kelto::e2e

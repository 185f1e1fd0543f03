#include "http_server.h"

#include <ws2tcpip.h>

#include <stdexcept>

namespace kelto::e2e {

namespace {
const char* ReasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 302:
            return "Found";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

void SendAll(SOCKET connection, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n = ::send(connection, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

// The request head up to its empty line; empty when the peer sends anything that is not
// printable text first (a TLS client hello starts with byte 0x16).
std::string ReadHead(SOCKET connection) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const int n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        for (int i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(buffer[i]);
            if (c < 0x20 && c != '\r' && c != '\n') return {};
        }
        head.append(buffer, static_cast<size_t>(n));
    }
    return head;
}
HttpRequest ParseHead(const std::string& head) {
    HttpRequest request;
    for (size_t start = 0; start < head.size();) {
        const size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start) break;
        const std::string line = head.substr(start, end - start);
        if (request.requestLine.empty()) {
            request.requestLine = line;
        } else {
            request.headers.push_back(line);
        }
        start = end + 2;
    }
    return request;
}

// The path a target names: without its query, and without scheme and host when the request
// came through as a proxy ("http://host/path").
std::string PathOf(const std::string& target) {
    std::string path = target.substr(0, target.find('?'));
    if (const size_t scheme = path.find("://"); scheme != std::string::npos) {
        const size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    return path;
}
}  // namespace

HttpServer::HttpServer() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener_ == INVALID_SOCKET ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
        throw std::runtime_error("the test server cannot listen, error " +
                                 std::to_string(::WSAGetLastError()));
    }
    int length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

HttpServer::~HttpServer() {
    ::closesocket(listener_);  // ends the accept loop
    thread_.join();
    for (SOCKET s : held_) ::closesocket(s);
    ::WSACleanup();
}

void HttpServer::Serve(const std::string& path, Answer answer) {
    std::lock_guard lock(mutex_);
    answers_[path] = std::move(answer);
}

std::vector<std::string> HttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<HttpRequest> HttpServer::RequestHeads() const {
    std::lock_guard lock(mutex_);
    return heads_;
}

void HttpServer::Run() {
    for (;;) {
        const SOCKET connection = ::accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET) return;
        Handle(connection);
    }
}

void HttpServer::Handle(SOCKET connection) {
    const std::string head = ReadHead(connection);
    // "GET <target> HTTP/1.1"
    const size_t space = head.find(' ');
    const size_t end = space == std::string::npos ? std::string::npos : head.find(' ', space + 1);
    if (end == std::string::npos) {
        std::lock_guard lock(mutex_);
        requests_.push_back("(not HTTP)");
        ::closesocket(connection);
        return;
    }
    const std::string target = head.substr(space + 1, end - space - 1);
    Answer answer;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(target);
        heads_.push_back(ParseHead(head));
        const auto it = answers_.find(PathOf(target));
        if (it != answers_.end()) answer = it->second;
        if (answer.kind == Answer::Kind::Silence) {
            held_.push_back(connection);
            return;
        }
    }
    if (answer.delayMs > 0) ::Sleep(static_cast<DWORD>(answer.delayMs));
    std::string response =
        "HTTP/1.1 " + std::to_string(answer.status) + " " + ReasonOf(answer.status) + "\r\n";
    if (!answer.location.empty()) response += "Location: " + answer.location + "\r\n";
    response +=
        "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(answer.body.size()) +
        "\r\nConnection: close\r\n\r\n" + answer.body;
    SendAll(connection, response);
    ::shutdown(connection, SD_SEND);
    ::closesocket(connection);
}

int ClosedLocalPort() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free local port, error " + std::to_string(::WSAGetLastError()));
    }
    ::closesocket(s);
    ::WSACleanup();
    return ntohs(address.sin_port);
}

}  // namespace kelto::e2e

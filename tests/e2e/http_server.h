// A small HTTP server on 127.0.0.1 for the end-to-end tests: a thread of the test program that
// answers each path as the test scripts it (the file's bytes, a bare status, or silence) and
// records every request it received.
#pragma once

#include <winsock2.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelto::e2e {

// One request as received: its request line and its header lines ("Name: value").
struct HttpRequest {
    std::string requestLine;  // e.g. "GET /vm/qemu.zip?sid=x HTTP/1.1"
    std::vector<std::string> headers;
};

class HttpServer {
public:
    struct Answer {
        enum class Kind { Bytes, Status, Silence } kind = Kind::Status;
        int status = 404;
        std::string body;
        std::string location;  // the Location header of a redirect
        int delayMs = 0;       // how long the server waits before it answers
    };
    static Answer File(std::string bytes) { return {Answer::Kind::Bytes, 200, std::move(bytes), {}}; }
    static Answer Status(int status) { return {Answer::Kind::Status, status, {}, {}}; }
    static Answer Redirect(std::string location) {
        return {Answer::Kind::Status, 302, {}, std::move(location)};
    }
    // Takes the connection and never answers.
    static Answer Silence() { return {Answer::Kind::Silence, 0, {}, {}}; }
    // The same answer, given `delayMs` after the request arrived (a slow line).
    static Answer Late(Answer answer, int delayMs) {
        answer.delayMs = delayMs;
        return answer;
    }

    // Listens on a free port of 127.0.0.1 from construction to destruction.
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>", for a client that reaches other hosts through this server
    // as its proxy (the request target then names the host: "http://host/path").
    std::wstring ProxyUrl() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }
    // How to answer a path (the request target without its query, and without scheme and host
    // when it came through as a proxy). Unscripted paths get 404.
    void Serve(const std::string& path, Answer answer);
    // The request targets received, in order, query included; "(not HTTP)" for a connection
    // that opened with anything but an HTTP request (a TLS handshake, say).
    std::vector<std::string> Requests() const;
    // The same requests with their request lines and headers.
    std::vector<HttpRequest> RequestHeads() const;

private:
    void Run();
    void Handle(SOCKET connection);

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::vector<std::string> requests_;
    std::vector<HttpRequest> heads_;
    std::vector<SOCKET> held_;
    std::thread thread_;
};

// A local port that nothing listens on (bound once, then released).
int ClosedLocalPort();

}  // namespace kelto::e2e

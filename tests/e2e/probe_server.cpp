#include "probe_server.h"

namespace kelto::e2e {

namespace {
constexpr const char* kTestFile = "/connecttest.txt";
constexpr const char* kAfterRedirect = "/after-redirect";
}  // namespace

void ProbeServer::SetAnswer(ProbeAnswer answer) {
    const auto redirect =
        HttpServer::Redirect(std::string("http://www.msftconnecttest.com") + kAfterRedirect);
    switch (answer) {
        case ProbeAnswer::NoContent:
            server_.Serve(kTestFile, HttpServer::Status(204));
            break;
        case ProbeAnswer::RedirectToOk:
            server_.Serve(kTestFile, redirect);
            server_.Serve(kAfterRedirect, HttpServer::Status(204));
            break;
        case ProbeAnswer::RedirectToMissing:
            server_.Serve(kTestFile, redirect);
            server_.Serve(kAfterRedirect, HttpServer::Status(404));
            break;
        case ProbeAnswer::NotFound:
            server_.Serve(kTestFile, HttpServer::Status(404));
            break;
        case ProbeAnswer::ServerError:
            server_.Serve(kTestFile, HttpServer::Status(500));
            break;
        case ProbeAnswer::Silent:
            // Held open without an answer until the server stops: only the client's own
            // timeout ends the wait.
            server_.Serve(kTestFile, HttpServer::Silence());
            break;
    }
}

}  // namespace kelto::e2e

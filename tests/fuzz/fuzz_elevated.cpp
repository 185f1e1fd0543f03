// Fuzz target over the elevated command line, the one channel between the two instances.
// Each input is used three ways:
//  - as a hand-made elevated line: reading it must keep the request state within its
//    invariants, and handling it may start nothing but a catalogue entry exactly as the
//    catalogue gives it;
//  - as the token typed in an authorized session: what the relaunch writes must read back
//    as the same key, token, flag and request state, or nothing is relaunched at all;
//  - split into request values: building and reading the line gives them back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "actions/approval.h"
#include "actions/catalogue.h"
#include "actions/elevated.h"
#include "actions/elevated_line.h"
#include "intake/account.h"
#include "base/text.h"
#include "intake/protocol_parse.h"
#include "intake/session_store.h"
#include "support/fakes.h"

namespace {

using kelto::intake::RequestState;
using kelto::testing::FakeSystem;

// 2025-12-10 16:00:00 UTC opens token window 204384.
constexpr kelto::platform::DateTime kWindowStart{2025, 12, 10, 16, 0, 0};

[[noreturn]] void Violation(const char* what, std::string_view value) {
    std::fprintf(stderr, "elevated line invariant violated: %s\nvalue (%zu bytes): [", what, value.size());
    std::fwrite(value.data(), 1, value.size(), stderr);
    std::fprintf(stderr, "]\n");
    std::abort();
}

bool IsSessionIdText(std::string_view s) {
    if (s.size() > 80) return false;
    for (char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

void CheckRequestState(const RequestState& r, std::string_view input) {
    if (!IsSessionIdText(r.CurrentSessionId)) Violation("CurrentSessionId", r.CurrentSessionId);
    if (!r.ServerHost.empty() && !kelto::intake::IsValidHost(r.ServerHost))
        Violation("ServerHost", r.ServerHost);
    if (kelto::text::ToLowerAscii(r.ServerHost) != r.ServerHost) Violation("ServerHost case", r.ServerHost);
    if (r.ServerPort < 0 || r.ServerPort > 65535) Violation("ServerPort range", input);
    if (r.ServerPort != 0 && r.ServerHost.empty()) Violation("ServerPort without host", input);
}

// Whatever the elevated instance starts must be a catalogue entry, unchanged.
void CheckHandledLine(const std::string& line, bool authorize) {
    FakeSystem f;
    f.clock.utc = kWindowStart;
    if (authorize) kelto::intake::AuthorizeSession(f.system, "s-42");
    kelto::actions::HandleElevatedRequest(f.context, line);
    CheckRequestState(f.request, line);
    // The account field names a hive only as another account's plain SID.
    const std::string& root = f.request.Customer.registryRoot;
    if (root != "HKCU\\" &&
        !(root.starts_with("HKU\\") && root.ends_with("\\") &&
          kelto::intake::IsWellFormedSidText(std::string_view(root).substr(4, root.size() - 5)))) {
        Violation("account field names a hive", root);
    }
    if (f.shell.calls.size() > 1) Violation("more than one start", line);
    if (!f.children.commandLines.empty()) Violation("child process", f.children.commandLines[0]);
    if (f.shell.calls.empty()) return;
    const auto& call = f.shell.calls[0];
    const auto parsed = kelto::actions::ParseElevatedCommandLine(line);
    if (!parsed) Violation("started from an invalid line", line);
    kelto::actions::ActionInfo expected;
    expected.Verb = "open";
    if (!kelto::actions::GetActionInfo(f.system, parsed->actionKey, expected))
        Violation("not in the catalogue", line);
    if (call.verb != "open" || call.file != expected.File || call.parameters != expected.Arguments ||
        !call.directory.empty()) {
        Violation("started something other than the catalogue entry", call.file + " " + call.parameters);
    }
}

// A token typed in an authorized session travels in the relaunch line unchecked: it must
// never shift the fields.
void CheckTypedToken(const std::string& token) {
    FakeSystem f;
    f.clock.utc = kWindowStart;
    f.request.CurrentSessionId = "s-42";
    f.request.ServerHost = "support.example.com";
    f.request.ServerPort = 8443;
    kelto::intake::AuthorizeSession(f.system, "s-42");
    f.dialogs.answers = {kelto::platform::mb::kIdYes, kelto::platform::mb::kIdNo};
    const bool started = kelto::actions::RequestAction(f.context, "flushdns", token);
    if (started != !f.shell.calls.empty()) Violation("result disagrees with the shell", token);
    if (!started) return;
    const auto back = kelto::actions::ParseElevatedCommandLine(f.shell.calls[0].parameters);
    if (!back || back->actionKey != "flushdns" || back->token != kelto::text::TrimSpaces(token) ||
        back->createRestorePoint || back->sessionId != "s-42" || back->serverHost != "support.example.com" ||
        back->serverPort != 8443 || back->serverUseTls != false) {
        Violation("relaunch line does not read back", f.shell.calls[0].parameters);
    }
}

// Request values cut from the input, as the URL parsers would produce them.
void CheckRoundTrip(const std::string& input) {
    RequestState request;
    request.CurrentSessionId = kelto::intake::ParseSessionId(input);
    kelto::intake::ParseServerAddress(input, request);
    std::string key = kelto::intake::ParseActionKey(input);
    if (key.empty()) key = "ipconfig";
    const std::string token = input.size() % 2 ? std::string() : "072923";
    const bool restore = input.size() % 3 == 0;
    const std::string line = kelto::actions::BuildElevatedCommandLine(key, token, restore, request);
    const auto back = kelto::actions::ParseElevatedCommandLine(line);
    if (!back || back->actionKey != key || back->token != token || back->createRestorePoint != restore) {
        Violation("round trip: key, token or flag", line);
    }
    RequestState read;
    kelto::actions::ApplyToRequestState(*back, read);
    if (read.CurrentSessionId != request.CurrentSessionId || read.ServerHost != request.ServerHost ||
        read.ServerPort != request.ServerPort || read.ServerUseTls != request.ServerUseTls) {
        Violation("round trip: request state", line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto parsed = kelto::actions::ParseElevatedCommandLine(input);
    if (parsed) {
        RequestState request;
        kelto::actions::ApplyToRequestState(*parsed, request);
        CheckRequestState(request, input);
        if (parsed->token.find(':') != std::string::npos) Violation("token with a colon", parsed->token);
    }
    CheckHandledLine(input, false);
    CheckHandledLine("/elevated:" + input, true);
    CheckTypedToken(input);
    CheckRoundTrip(input);
    return 0;
}

// Fuzz target over the whole protocol intake. Each input is a command line: every parser runs on
// it, then the whole request handling against the doubles with nothing stored, and, when the URL
// has no sid of its own, twice more with the input itself stored as the session ID and as the
// expiry. After each step the request state must meet its invariants; any breach aborts with the
// offending value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/startup.h"
#include "base/text.h"
#include "intake/protocol_parse.h"
#include "intake/protocol_request.h"
#include "intake/session_store.h"
#include "support/fakes.h"

namespace {

using kelto::intake::RequestState;
using kelto::testing::FakeSystem;

const std::string kSessionIdValue = "HKCU\\Software\\KeltoRemote\\AuthorizedSession\\SessionID";
const std::string kExpiresAtValue = "HKCU\\Software\\KeltoRemote\\AuthorizedSession\\ExpiresAt";
// FakeClock's local time 2026-12-10 14:00:00 in seconds since 2024-01-01, plus some.
const std::string kUnexpired = "92850000";
const std::string kStoredSession = "fuzz-session_7";

[[noreturn]] void Violation(const char* what, std::string_view value) {
    std::fprintf(stderr, "intake invariant violated: %s\nvalue (%zu bytes): [", what, value.size());
    std::fwrite(value.data(), 1, value.size(), stderr);
    std::fprintf(stderr, "]\n");
    std::abort();
}

bool IsLowerOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

bool IsActionKey(std::string_view s) {
    for (char c : s) {
        if (!IsLowerOrDigit(c)) return false;
    }
    return true;
}

bool IsSessionIdText(std::string_view s) {
    if (s.size() > 80) return false;
    for (char c : s) {
        if (!(IsLowerOrDigit(c) || IsUpper(c) || c == '-' || c == '_')) return false;
    }
    return true;
}

bool IsHostText(std::string_view s) {
    if (s.size() > 253) return false;
    for (char c : s) {
        if (!(IsLowerOrDigit(c) || c == '.' || c == '-')) return false;
    }
    return true;
}

void CheckRequestState(const RequestState& r) {
    if (!IsSessionIdText(r.CurrentSessionId)) Violation("CurrentSessionId", r.CurrentSessionId);
    if (!IsHostText(r.ServerHost)) Violation("ServerHost", r.ServerHost);
    if (r.ServerPort < 0 || r.ServerPort > 65535) Violation("ServerPort range", std::to_string(r.ServerPort));
    if (r.ServerPort != 0 && r.ServerHost.empty())
        Violation("ServerPort without host", std::to_string(r.ServerPort));
}

// What the parsers find in one input, computed once.
struct Parsed {
    std::string key;
    std::string sid;
};

// The parsers one by one.
Parsed CheckParsers(const std::string& input) {
    Parsed parsed{kelto::intake::ParseActionKey(input), kelto::intake::ParseSessionId(input)};
    if (!IsActionKey(parsed.key)) Violation("ParseActionKey", parsed.key);
    if (!IsSessionIdText(parsed.sid)) Violation("ParseSessionId", parsed.sid);

    for (const char* name : {"host", "port", "tls"}) {
        const std::string value = kelto::intake::GetPathValue(input, name);
        if (value.find('/') != std::string::npos || value.find('"') != std::string::npos) {
            Violation("GetPathValue keeps a slash or quote", value);
        }
    }

    RequestState request{"untouched", "old.example", 8080, true, true, {}};
    kelto::intake::ParseServerAddress(input, request);
    if (request.CurrentSessionId != "untouched" || !request.ActionLaunched) {
        Violation("ParseServerAddress touched other fields", input);
    }
    CheckRequestState(request);

    // The character classes against their plain definitions.
    bool digits = !input.empty();
    for (char c : input) digits = digits && c >= '0' && c <= '9';
    if (kelto::intake::IsAllDigits(input) != digits) Violation("IsAllDigits", input);
    const bool host = !input.empty() && IsHostText(kelto::text::ToLowerAscii(input));
    if (kelto::intake::IsValidHost(input) != host) Violation("IsValidHost", input);
    return parsed;
}

enum class Stored { Nothing, InputAsSessionId, InputAsExpiry };

void CheckRequest(const std::string& input, const Parsed& parsed, Stored stored) {
    FakeSystem f;
    if (stored == Stored::InputAsSessionId) {
        f.registry.WriteString(kSessionIdValue, input);
        f.registry.WriteString(kExpiresAtValue, kUnexpired);
    } else if (stored == Stored::InputAsExpiry) {
        f.registry.WriteString(kSessionIdValue, kStoredSession);
        f.registry.WriteString(kExpiresAtValue, input);
    }
    f.request.ActionLaunched = true;

    kelto::app::RouteProtocolRequest(f.context, f.mainWindow, input);
    CheckRequestState(f.request);

    const std::string& session = f.request.CurrentSessionId;
    if (!parsed.sid.empty() && session != parsed.sid) Violation("sid of the URL not kept", session);
    if (parsed.sid.empty() && !session.empty()) {
        if (stored == Stored::Nothing) Violation("session out of nowhere", session);
        if (stored == Stored::InputAsExpiry && session != kStoredSession)
            Violation("stored session altered", session);
        // A string value's terminating nulls are not part of it (an inner null is).
        const std::string asStored = input.substr(0, input.find_last_not_of('\0') + 1);
        if (stored == Stored::InputAsSessionId && session != kelto::text::ToLowerAscii(asStored)) {
            Violation("stored session ID not handed out as stored", session);
        }
    }

    // The two log lines come first, for every request.
    const auto log = f.LogMessages();
    if (log.size() < 2 || log[0] != "Parsed tool: [" + parsed.key + "]" ||
        log[1] != "Support session: [" + session + "]") {
        Violation("log lines", log.empty() ? std::string() : log[0]);
    }
    // Nothing is started from a command line at this step.
    if (!f.shell.calls.empty()) Violation("shell started", f.shell.calls[0].file);
    if (!f.children.commandLines.empty()) Violation("child started", f.children.commandLines[0]);

    if (parsed.key.empty()) {
        if (log.size() != 2 || f.dialogs.boxes.size() != 1 || !f.mainWindow.events.empty()) {
            Violation("refusal did more than its box", input);
        }
        const auto& box = f.dialogs.boxes[0];
        if (box.text != kelto::intake::InvalidActionMessage(input) || box.title != "Kelto" ||
            box.flags != 0x30) {
            Violation("refusal box", box.text);
        }
    } else if (parsed.key == "offline") {
        if (log.size() != 2 || !f.dialogs.boxes.empty() || f.mainWindow.events.size() != 1 ||
            f.mainWindow.events[0] != "guide" || f.request.ActionLaunched) {
            Violation("offline did not open the cable guide alone", input);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Parsed parsed = CheckParsers(input);
    CheckRequest(input, parsed, Stored::Nothing);
    // The stored session is consulted only when the URL carries no sid.
    if (parsed.sid.empty()) {
        CheckRequest(input, parsed, Stored::InputAsSessionId);
        CheckRequest(input, parsed, Stored::InputAsExpiry);
    }
    return 0;
}

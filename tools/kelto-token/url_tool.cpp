#include "url_tool.h"

#include <algorithm>
#include <array>

#include "actions/elevated.h"
#include "base/text.h"
#include "intake/protocol_parse.h"
#include "intake/protocol_request.h"
#include "intake/request_state.h"
#include "rescuevm/rescue_vm.h"

namespace kelto::tokentool {

namespace {

constexpr std::size_t kMaxShownBytes = 200;

bool IsValueEnd(char c) { return c == '/' || c == '&' || c == '?' || c == '#'; }

// The rest of a value: up to the next "/", "&", "?" or "#".
std::string RestOfValue(const std::string& after) {
    std::size_t end = 0;
    while (end < after.size() && !IsValueEnd(after[end])) ++end;
    return after.substr(0, end);
}

std::string SessionNote(const intake::SessionIdReading& reading) {
    if (!reading.marked) {
        return "none in the URL: the helper continues the session still authorized on the customer's PC, "
               "if there is one";
    }
    const bool whole = reading.after.empty() || IsValueEnd(reading.after[0]);
    if (whole) return reading.id.empty() ? "empty in the URL" : "";
    const std::string dropped = "'" + Printable(RestOfValue(reading.after)) + "'";
    if (reading.id.size() == intake::kMaxSessionIdLength && intake::IsSessionIdChar(reading.after[0])) {
        return "cut after 80 characters: " + dropped + " is dropped";
    }
    const std::string accepted = "; the helper accepts only letters, digits, \"-\" and \"_\"";
    if (reading.id.empty()) return "empty: the value begins with " + dropped + accepted;
    return "cut after " + std::to_string(reading.id.size()) + " characters, before " + dropped + accepted;
}

// What became of the host, port and tls segments, judged by the helper's own rules.
void ExplainServer(Explanation& ex) {
    const std::string host = intake::GetPathValue(ex.commandLine, "host");
    const std::string port = intake::GetPathValue(ex.commandLine, "port");
    const std::string tls = intake::GetPathValue(ex.commandLine, "tls");
    if (!ex.serverHost.empty()) {
        if (ex.serverPort == 0)
            ex.portNote = "port '" + port + "' is outside 1-65535: no port, the host stays";
    } else if (host.empty() && port.empty()) {
        ex.hostNote = ex.portNote = "none in the URL";
    } else if (host.empty()) {
        ex.hostNote = "no /host/ value";
        ex.portNote = "dropped: no host";
    } else if (!intake::IsValidHost(text::ToLowerAscii(host))) {
        ex.hostNote =
            "'" + Printable(host) +
            "' dropped: a host is 1 to 253 characters of a-z, 0-9, \".\" and \"-\" (the port goes with it)";
        ex.portNote = "dropped with the host";
    } else if (port.empty()) {
        ex.hostNote = "'" + Printable(host) + "' dropped: no /port/ value";
        ex.portNote = "none in the URL";
    } else {
        ex.portNote = "'" + Printable(port) + "' dropped: a port is 1 to 5 digits (the host goes with it)";
        ex.hostNote = "'" + Printable(host) + "' dropped with the port";
    }
    if (tls.empty()) {
        ex.tlsNote = "no /tls/ value";
    } else if (!ex.serverUseTls) {
        ex.tlsNote = "'" + Printable(tls) + "' is not exactly \"1\"";
    }
}

// What the elevated instance of the helper hands the shell on this example PC.
std::optional<ShellStart> StartOn(WindowsBits bits, const std::string& actionKey) {
    ExampleWindows pc(bits);
    actions::LaunchAction(pc.Context(), actionKey);
    if (pc.ShellStarts().empty()) return std::nullopt;
    ShellStart start = pc.ShellStarts().front();
    start.file = WithPlaceholders(start.file);
    start.parameters = WithPlaceholders(start.parameters);
    start.directory = WithPlaceholders(start.directory);
    return start;
}

void ExplainApproval(Explanation& ex, intake::Context& context) {
    actions::ActionInfo info;
    info.Verb = "open";
    if (!actions::GetActionInfo(context.system, ex.actionKey, info)) {
        ex.road = Road::NotInCatalogue;
        ex.refusalBox = actions::BoxText{"Kelto", actions::kNotInCatalogueText};
        return;
    }
    ex.road = Road::Approval;
    ex.consentBox = actions::ConsentBox(info);
    const actions::ActionTraits traits =
        actions::GetActionTraits(ex.actionKey).value_or(actions::ActionTraits{});
    ex.confirmationBox = actions::ConfirmationBox(traits.confirmation, context.request);
    ex.confirmationRefuses = actions::IsRefusal(traits.confirmation, context.request);
    ex.restoreQuestion = traits.asksRestorePoint;
    ex.performer = traits.performer;
    if (ex.confirmationRefuses) return;
    if (traits.performer == actions::Performer::Shell) {
        ex.start64 = StartOn(WindowsBits::Bits64, ex.actionKey);
        ex.start32 = StartOn(WindowsBits::Bits32, ex.actionKey);
    } else if (traits.performer == actions::Performer::RescueVm) {
        ex.rescueServer = rescuevm::ServerBaseUrl(context.request);
    }
}

// ---- argument reading ----

struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> values;  // --name value / --name=value
    std::vector<std::string> flags;
    std::string error;
};

// `valueNames` take a value (the next argument, whatever it is, or after "="); `flagNames` none.
Arguments ReadArguments(const std::vector<std::string>& args, const std::vector<std::string>& valueNames,
                        const std::vector<std::string>& flagNames) {
    Arguments read;
    bool optionsEnd = false;
    auto seen = [&read](const std::string& name) {
        for (const auto& v : read.values) {
            if (v.first == name) return true;
        }
        for (const auto& f : read.flags) {
            if (f == name) return true;
        }
        return false;
    };
    for (std::size_t i = 0; i < args.size() && read.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg.rfind("--", 0) != 0) {
            if (arg == "-h") {
                read.flags.push_back("--help");
                continue;
            }
            read.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const bool takesValue = std::find(valueNames.begin(), valueNames.end(), name) != valueNames.end();
        const bool isFlag = std::find(flagNames.begin(), flagNames.end(), name) != flagNames.end();
        if (!takesValue && !isFlag) {
            read.error = "unknown option '" + Printable(name) + "'";
        } else if (seen(name)) {
            read.error = name + " given twice";
        } else if (isFlag && eq != std::string::npos) {
            read.error = name + " takes no value";
        } else if (isFlag) {
            read.flags.push_back(name);
        } else if (eq != std::string::npos) {
            read.values.emplace_back(name, arg.substr(eq + 1));
        } else if (i + 1 < args.size()) {
            read.values.emplace_back(name, args[++i]);
        } else {
            read.error = name + " needs a value";
        }
    }
    return read;
}

bool HasFlag(const Arguments& read, const std::string& name) {
    return std::find(read.flags.begin(), read.flags.end(), name) != read.flags.end();
}

std::optional<std::string> ValueOf(const Arguments& read, const std::string& name) {
    for (const auto& v : read.values) {
        if (v.first == name) return v.second;
    }
    return std::nullopt;
}

int Refuse(std::ostream& err, const std::string& reason) {
    err << "kelto-token: " << reason << "\n";
    return 2;
}

}  // namespace

std::string Printable(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (std::size_t i = 0; i < text.size() && i < kMaxShownBytes; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 15];
        } else {
            shown += static_cast<char>(c);
        }
    }
    if (text.size() > kMaxShownBytes) shown += "... (" + std::to_string(text.size()) + " bytes)";
    return shown;
}

bool Explanation::Proceeds() const {
    return road == Road::CableGuide || (road == Road::Approval && !confirmationRefuses);
}

Explanation Explain(const std::string& url) {
    Explanation ex;
    ex.url = url;
    ex.commandLine = "\"" + url + "\"";

    ExampleWindows pc(WindowsBits::Bits64);
    intake::Context& context = pc.Context();
    const intake::ProtocolNext next = intake::HandleProtocolRequest(context, ex.commandLine);
    ex.actionKey = next.actionKey;
    ex.sessionId = context.request.CurrentSessionId;
    ex.serverHost = context.request.ServerHost;
    ex.serverPort = context.request.ServerPort;
    ex.serverUseTls = context.request.ServerUseTls;
    const intake::SessionIdReading reading = intake::ReadSessionId(ex.commandLine);
    ex.sessionMarked = reading.marked;
    ex.sessionNote = SessionNote(reading);
    ExplainServer(ex);

    switch (next.road) {
        case intake::ProtocolRoad::Done:
            ex.road = Road::InvalidAction;
            if (!pc.Boxes().empty()) ex.invalidActionBox = pc.Boxes().front();
            break;
        case intake::ProtocolRoad::CableGuide:
            ex.road = Road::CableGuide;
            break;
        case intake::ProtocolRoad::Approval:
            ExplainApproval(ex, context);
            break;
    }
    return ex;
}

BuiltUrl BuildUrl(const UrlRequest& request) {
    const std::string& key = request.actionKey;
    if (key != "offline" && !actions::GetActionTraits(key)) {
        return {"", "'" + Printable(key) + "' is not in the catalogue, nor \"offline\""};
    }
    if (request.sessionId && !intake::IsWellFormedSessionId(*request.sessionId)) {
        const std::string& id = *request.sessionId;
        if (id.empty()) return {"", "the session ID is empty"};
        if (id.size() > intake::kMaxSessionIdLength) {
            return {"",
                    "the session ID has " + std::to_string(id.size()) + " characters; the helper keeps 80"};
        }
        const std::string kept = intake::ParseSessionId("/sid/" + id);
        return {"", "the helper would cut the session ID '" + Printable(id) + "' to '" + kept +
                        "': letters, digits, \"-\" and \"_\" only"};
    }
    if (request.host.has_value() != request.port.has_value()) {
        return {"", "--host and --port go together: the helper drops a host without a port"};
    }
    if (request.tls && !request.host) return {"", "--tls needs --host and --port"};
    std::string host;
    std::int32_t port = 0;
    if (request.host) {
        host = text::ToLowerAscii(*request.host);
        if (!intake::IsValidHost(host)) {
            return {"", "the helper would drop the host '" + Printable(*request.host) +
                            "': 1 to 253 characters of a-z, 0-9, \".\" and \"-\""};
        }
        const std::optional<std::int32_t> digits = intake::ReadPortDigits(*request.port);
        if (!digits) {
            return {"", "the helper would drop the port '" + Printable(*request.port) +
                            "' and the host with it: 1 to 5 digits"};
        }
        port = intake::PortOrZero(*digits);
        if (port == 0) return {"", "the helper would drop the port " + *request.port + ": outside 1-65535"};
    }
    const auto traits = actions::GetActionTraits(key);
    if (traits && traits->confirmation == actions::Confirmation::RescueVm && !request.host) {
        return {"", "'" + key + "' needs --host and --port: the rescue VM is downloaded from the server"};
    }

    const std::string sid = request.sessionId ? "/sid/" + *request.sessionId : "";
    const std::string server = request.host ? "/host/" + host + "/port/" + std::to_string(port) : "";
    const std::string tls = request.tls ? "/tls/1" : "";
    // A value that is also a segment name ("host", "sid", ...) can be taken for that segment:
    // the first order the helper reads back unchanged wins.
    const std::array<std::string, 3> candidates = {
        "kelto://" + key + sid + server + tls,
        "kelto://" + key + tls + (request.port ? "/port/" + std::to_string(port) : "") +
            (request.host ? "/host/" + host : "") + sid,
        "kelto://" + key + tls + (request.port ? "/port/" + std::to_string(port) : "") + sid +
            (request.host ? "/host/" + host : ""),
    };
    for (const std::string& url : candidates) {
        const Explanation ex = Explain(url);
        if (ex.actionKey == key && ex.sessionId == request.sessionId.value_or("") && ex.serverHost == host &&
            ex.serverPort == port && ex.serverUseTls == request.tls) {
            return {url, ""};
        }
    }
    return {"",
            "the helper would read these values otherwise in any URL: a value that is also a segment "
            "name (sid, host, port, tls)"};
}

// ---- output ----

namespace {

constexpr std::size_t kLabelWidth = 27;

void Line(std::ostream& out, const std::string& label, const std::string& value) {
    std::string padded = label + ":";
    if (padded.size() < kLabelWidth) padded.resize(kLabelWidth, ' ');
    out << padded << value << "\n";
}

// An empty value reads as its note, or "(none)".
std::string WithNote(const std::string& value, const std::string& note) {
    if (value.empty()) return "(" + (note.empty() ? std::string("none") : note) + ")";
    return note.empty() ? value : value + " (" + note + ")";
}

void BoxLines(std::ostream& out, const std::string& label, const actions::BoxText& box) {
    Line(out, label, box.title);
    std::size_t start = 0;
    for (;;) {
        const auto end = box.text.find("\r\n", start);
        out << "    " << Printable(box.text.substr(start, end - start)) << "\n";
        if (end == std::string::npos) break;
        start = end + 2;
    }
}

void StartLines(std::ostream& out, const std::string& which, const std::optional<ShellStart>& start) {
    if (!start) {
        Line(out, "Started (" + which + ")", "nothing: the program is not found (the helper shows an error)");
        return;
    }
    Line(out, "Started (" + which + ")", start->file);
    Line(out, "  Parameters", start->parameters.empty() ? "(none)" : start->parameters);
    Line(out, "  Working folder", start->directory);
}

const char* RoadName(Road road) {
    switch (road) {
        case Road::InvalidAction:
            return "invalidAction";
        case Road::CableGuide:
            return "cableGuide";
        case Road::NotInCatalogue:
            return "notInCatalogue";
        case Road::Approval:
            return "approval";
    }
    return "";
}

const char* PerformerName(actions::Performer performer) {
    switch (performer) {
        case actions::Performer::Shell:
            return "shell";
        case actions::Performer::Rollback:
            return "rollback";
        case actions::Performer::RescueVm:
            return "rescueVm";
    }
    return "";
}

void PrintApproval(const Explanation& ex, std::ostream& out) {
    BoxLines(out, "Consent box", *ex.consentBox);
    if (ex.confirmationBox) {
        BoxLines(out, ex.confirmationRefuses ? "Refusal box" : "Confirmation box", *ex.confirmationBox);
    } else {
        Line(out, "Confirmation box", "none");
    }
    if (ex.confirmationRefuses) {
        Line(out, "Verdict", "refused after consent: no usable server address; no elevation prompt");
        return;
    }
    Line(out, "Restore question", ex.restoreQuestion ? "asked (Yes, No or Cancel)" : "not asked");
    Line(out, "Elevation prompt", "follows: the helper starts itself again elevated");
    switch (ex.performer) {
        case actions::Performer::Shell:
            if (ex.start64 == ex.start32) {
                StartLines(out, "64- and 32-bit", ex.start64);
            } else {
                StartLines(out, "64-bit Windows", ex.start64);
                StartLines(out, "32-bit Windows", ex.start32);
            }
            break;
        case actions::Performer::Rollback:
            Line(out, "Carried out",
                 "by the elevated helper: the rollback to the newest restore point it made (Windows "
                 "restarts)");
            break;
        case actions::Performer::RescueVm:
            Line(out, "Carried out",
                 "by the elevated helper: QEMU.zip and the rescue ISO are downloaded from " +
                     ex.rescueServer + ", QEMU is unpacked beside the helper and boots the ISO");
            break;
    }
    Line(out, "Verdict", "the customer is asked, then the elevation prompt follows");
}

void PrintText(const Explanation& ex, std::ostream& out) {
    Line(out, "URL", Printable(ex.url));
    Line(out, "Command line", Printable(ex.commandLine) + " (quoted, as the open command passes it)");
    Line(out, "Action key", ex.actionKey.empty() ? "(none)" : ex.actionKey);
    Line(out, "Session ID", WithNote(ex.sessionId, ex.sessionNote));
    Line(out, "Server host", WithNote(ex.serverHost, ex.hostNote));
    Line(out, "Server port", WithNote(std::to_string(ex.serverPort), ex.portNote));
    Line(out, "Server TLS", WithNote(ex.serverUseTls ? "on" : "off", ex.tlsNote));
    switch (ex.road) {
        case Road::InvalidAction:
            Line(out, "Road", "no action key: the invalid-action box");
            if (ex.invalidActionBox) BoxLines(out, "Message box", *ex.invalidActionBox);
            Line(out, "Verdict", "refused: nothing else happens");
            return;
        case Road::CableGuide:
            Line(out, "Road", "offline: the Ethernet cable guide opens (no token, no consent)");
            Line(out, "Verdict", "the cable guide opens");
            return;
        case Road::NotInCatalogue:
            Line(out, "Road", "not in the catalogue");
            Line(out, "Token prompt", "asked, unless the session is still authorized on the customer's PC");
            BoxLines(out, "Refusal box", *ex.refusalBox);
            Line(out, "Verdict", "refused after the token prompt");
            return;
        case Road::Approval:
            Line(out, "Road", "approval");
            Line(out, "Token prompt", "asked, unless the session is still authorized on the customer's PC");
            PrintApproval(ex, out);
            return;
    }
}

// JSON text of a UTF-8 string; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string json = "\"";
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                json += '\\';
                json += static_cast<char>(c);
            } else if (c == '\r') {
                json += "\\r";
            } else if (c == '\n') {
                json += "\\n";
            } else if (c == '\t') {
                json += "\\t";
            } else if (c < 0x20 || c == 0x7f) {
                json += "\\u00";
                json += kHex[c >> 4];
                json += kHex[c & 15];
            } else {
                json += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        std::uint32_t code = length == 4 ? c & 0x07 : length == 3 ? c & 0x0F : c & 0x1F;
        bool valid = length != 0 && c <= 0xF4 && i + length <= s.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && !(length == 3 && code < 0x800) &&
                !(length == 4 && (code < 0x10000 || code > 0x10FFFF)) && !(code >= 0xD800 && code <= 0xDFFF);
        if (valid) {
            json.append(s, i, length);
            i += length;
        } else {
            json += "\\ufffd";
            ++i;
        }
    }
    return json + "\"";
}

// A JSON object written one member a line.
class JsonObject {
public:
    JsonObject& String(const std::string& name, const std::string& value) {
        return Raw(name, JsonString(value));
    }
    JsonObject& Number(const std::string& name, std::int64_t value) {
        return Raw(name, std::to_string(value));
    }
    JsonObject& Bool(const std::string& name, bool value) { return Raw(name, value ? "true" : "false"); }
    JsonObject& Null(const std::string& name) { return Raw(name, "null"); }
    JsonObject& Raw(const std::string& name, const std::string& json) {
        members_.emplace_back(name, json);
        return *this;
    }
    // Nested objects are indented with their member.
    std::string Text() const {
        std::string text = "{";
        for (std::size_t i = 0; i < members_.size(); ++i) {
            text += (i == 0 ? "\n  " : ",\n  ") + JsonString(members_[i].first) + ": " +
                    text::ReplaceAll(members_[i].second, "\n", "\n  ");
        }
        return text + "\n}";
    }

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string BoxJson(const std::optional<actions::BoxText>& box) {
    if (!box) return "null";
    return JsonObject().String("title", box->title).String("text", box->text).Text();
}

std::string StartJson(const std::optional<ShellStart>& start) {
    if (!start) return "null";
    return JsonObject()
        .String("verb", start->verb)
        .String("file", start->file)
        .String("parameters", start->parameters)
        .String("directory", start->directory)
        .Text();
}

void PrintJson(const Explanation& ex, std::ostream& out) {
    JsonObject json;
    json.String("url", ex.url)
        .String("commandLine", ex.commandLine)
        .String("actionKey", ex.actionKey)
        .String("sessionId", ex.sessionId)
        .String("sessionNote", ex.sessionNote)
        .String("serverHost", ex.serverHost)
        .String("hostNote", ex.hostNote)
        .Number("serverPort", ex.serverPort)
        .String("portNote", ex.portNote)
        .Bool("serverUseTls", ex.serverUseTls)
        .String("tlsNote", ex.tlsNote)
        .String("road", RoadName(ex.road))
        .Bool("tokenPrompt", ex.road == Road::Approval || ex.road == Road::NotInCatalogue)
        .Raw("invalidActionBox", BoxJson(ex.invalidActionBox))
        .Raw("refusalBox", BoxJson(ex.confirmationRefuses ? ex.confirmationBox : ex.refusalBox))
        .Raw("consentBox", BoxJson(ex.consentBox))
        .Raw("confirmationBox", BoxJson(ex.confirmationRefuses ? std::nullopt : ex.confirmationBox));
    const bool elevates = ex.road == Road::Approval && !ex.confirmationRefuses;
    json.Bool("restoreQuestion", elevates && ex.restoreQuestion).Bool("elevationPrompt", elevates);
    if (elevates) {
        json.String("performer", PerformerName(ex.performer));
    } else {
        json.Null("performer");
    }
    json.Raw("start64", StartJson(ex.start64))
        .Raw("start32", StartJson(ex.start32))
        .String("rescueServer", ex.rescueServer)
        .Bool("proceeds", ex.Proceeds());
    out << json.Text() << "\n";
}

}  // namespace

int RunExplain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Arguments read = ReadArguments(args, {}, {"--json", "--help"});
    if (!read.error.empty()) return Refuse(err, "explain: " + read.error);
    if (HasFlag(read, "--help")) {
        out << "Usage: kelto-token explain [--json] [--] URL\n";
        return 0;
    }
    if (read.positional.size() != 1) return Refuse(err, "explain needs exactly one URL");
    const Explanation ex = Explain(read.positional[0]);
    if (HasFlag(read, "--json")) {
        PrintJson(ex, out);
    } else {
        PrintText(ex, out);
    }
    return ex.Proceeds() ? 0 : kExitExplainRefused;
}

int RunUrl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Arguments read = ReadArguments(args, {"--sid", "--host", "--port"}, {"--tls", "--json", "--help"});
    if (!read.error.empty()) return Refuse(err, "url: " + read.error);
    if (HasFlag(read, "--help")) {
        out << "Usage: kelto-token url [--json] KEY [--sid ID] [--host HOST --port PORT [--tls]]\n";
        return 0;
    }
    if (read.positional.size() != 1) return Refuse(err, "url needs exactly one action key");
    UrlRequest request{read.positional[0], ValueOf(read, "--sid"), ValueOf(read, "--host"),
                       ValueOf(read, "--port"), HasFlag(read, "--tls")};
    const BuiltUrl built = BuildUrl(request);
    if (!built.error.empty()) return Refuse(err, built.error);
    if (!HasFlag(read, "--json")) {
        out << built.url << "\n";
        return 0;
    }
    const Explanation ex = Explain(built.url);
    out << JsonObject()
               .String("url", built.url)
               .String("actionKey", ex.actionKey)
               .String("sessionId", ex.sessionId)
               .String("serverHost", ex.serverHost)
               .Number("serverPort", ex.serverPort)
               .Bool("serverUseTls", ex.serverUseTls)
               .Text()
        << "\n";
    return 0;
}

}  // namespace kelto::tokentool

// kelto-token explain / url: what the helper will do with a kelto: URL, and the URL for a
// request. Both run the helper's own intake, catalogue and approval code on an example PC
// (example_windows.h), so that what they print is what the customer will see.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "actions/approval.h"
#include "actions/catalogue.h"
#include "example_windows.h"

namespace kelto::tokentool {

// Where the helper takes the request.
enum class Road {
    InvalidAction,   // no action key: the invalid-action box, nothing else
    CableGuide,      // "offline": the cable guide opens
    NotInCatalogue,  // the token prompt, then the allow-list refusal
    Approval,        // the token prompt, consent and the rest of the approval
};

struct Explanation {
    std::string url;
    std::string commandLine;  // as the registered open command hands it over: in quotes
    std::string actionKey;
    Road road = Road::InvalidAction;

    std::string sessionId;
    bool sessionMarked = false;  // the URL holds "/sid/" or "sid="
    std::string sessionNote;     // why the ID is empty or where the helper cut it; empty when whole

    std::string serverHost;
    std::int32_t serverPort = 0;
    bool serverUseTls = false;
    std::string hostNote, portNote, tlsNote;  // what became of each value, when not taken as given

    std::optional<actions::BoxText> invalidActionBox;
    std::optional<actions::BoxText> refusalBox;  // the allow-list refusal
    std::optional<actions::BoxText> consentBox;
    std::optional<actions::BoxText> confirmationBox;
    bool confirmationRefuses = false;  // the rescue VM without a server: the request ends there
    bool restoreQuestion = false;
    actions::Performer performer = actions::Performer::Shell;
    std::optional<ShellStart> start64, start32;  // what the elevated instance starts
    std::string rescueServer;                    // the rescue VM's download server

    // True when the request reaches the elevation prompt or the cable guide.
    bool Proceeds() const;
};

// Runs the helper's intake on the URL, quoted as the open command passes it.
Explanation Explain(const std::string& url);

struct UrlRequest {
    std::string actionKey;
    std::optional<std::string> sessionId = std::nullopt;
    std::optional<std::string> host = std::nullopt;
    std::optional<std::string> port = std::nullopt;
    bool tls = false;
};

struct BuiltUrl {
    std::string url;
    std::string error;  // why there is no URL; empty when there is one
};

// The canonical path-style URL for a request, checked by explaining it: a request the helper
// would read otherwise is refused with the reason.
BuiltUrl BuildUrl(const UrlRequest& request);

inline constexpr int kExitExplainRefused = 1;  // explain: the helper refuses the request

// The subcommands, with their arguments after the subcommand's name.
int RunExplain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunUrl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// An argument as it may be quoted in a one-line message: control bytes escaped, cut when long.
std::string Printable(const std::string& text);

}  // namespace kelto::tokentool

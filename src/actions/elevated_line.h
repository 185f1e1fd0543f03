// The elevated command line: the one channel from the instance that asked for elevation to
// the elevated instance. Written and read only here.
//   "/elevated:" key ":" token ":" restore ":" session ":" host ":" port ":" tls [":" sid]
// The last field, the asking instance's user SID, tells whose session and folders the request
// is; a line without it (an older helper's) is read as before.
#pragma once

#include <optional>
#include <string>

#include "intake/request_state.h"

namespace kelto::actions {

std::string BuildElevatedCommandLine(const std::string& actionKey, const std::string& token,
                                     bool createRestorePoint, const intake::RequestState& request,
                                     const std::string& userSid = {});

struct ElevatedRequest {
    std::string actionKey;                  // trimmed, lower-cased
    std::string token;                      // trimmed
    bool createRestorePoint = true;         // a missing field means create
    std::string sessionId;                  // trimmed; empty when missing
    std::optional<std::string> serverHost;  // present only when the field is
    std::optional<std::int32_t> serverPort;
    std::optional<bool> serverUseTls;
    std::optional<std::string> accountSid;  // trimmed; present only when the field is
};

// Reads a trimmed "/elevated:" line; nothing when it has fewer than three fields.
std::optional<ElevatedRequest> ParseElevatedCommandLine(const std::string& commandLine);

// Copies the request's session and server fields into the request state: the session
// always, the server fields only where the line carried them.
void ApplyToRequestState(const ElevatedRequest& elevated, intake::RequestState& request);

}  // namespace kelto::actions

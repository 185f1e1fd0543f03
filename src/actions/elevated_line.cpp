#include "actions/elevated_line.h"

#include <vector>

#include "base/text.h"
#include "intake/protocol_parse.h"
#include "intake/request_state.h"

namespace kelto::actions {

namespace {
std::vector<std::string> SplitAtColons(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto colon = line.find(':', start);
        if (colon == std::string::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, colon - start));
        start = colon + 1;
    }
}

// The port field as the other instance writes it; anything that is not a port number in
// range gives 0, which the rescue VM refuses.
std::int32_t PortValue(const std::string& field) {
    return intake::PortOrZero(intake::ReadPortDigits(text::TrimSpaces(field)).value_or(0));
}
}  // namespace

std::string BuildElevatedCommandLine(const std::string& actionKey, const std::string& token,
                                     bool createRestorePoint, const intake::RequestState& request,
                                     const std::string& userSid) {
    return "/elevated:" + actionKey + ":" + token + (createRestorePoint ? ":1" : ":0") + ":" +
           request.CurrentSessionId + ":" + request.ServerHost + ":" + std::to_string(request.ServerPort) +
           (request.ServerUseTls ? ":1" : ":0") + (userSid.empty() ? "" : ":" + userSid);
}

std::optional<ElevatedRequest> ParseElevatedCommandLine(const std::string& commandLine) {
    const std::string line = text::RemoveChar(text::TrimSpaces(commandLine), '"');
    const std::vector<std::string> fields = SplitAtColons(line);
    if (fields.size() < 3) return std::nullopt;
    ElevatedRequest request;
    request.actionKey = text::ToLowerAscii(text::TrimSpaces(fields[1]));
    request.token = text::TrimSpaces(fields[2]);
    if (fields.size() > 3) request.createRestorePoint = text::TrimSpaces(fields[3]) == "1";
    if (fields.size() > 4) request.sessionId = text::TrimSpaces(fields[4]);
    if (fields.size() > 5) request.serverHost = text::ToLowerAscii(text::TrimSpaces(fields[5]));
    if (fields.size() > 6) request.serverPort = PortValue(fields[6]);
    if (fields.size() > 7) request.serverUseTls = text::TrimSpaces(fields[7]) == "1";
    if (fields.size() > 8) request.accountSid = text::TrimSpaces(fields[8]);
    return request;
}

void ApplyToRequestState(const ElevatedRequest& elevated, intake::RequestState& request) {
    // The line may be typed by hand: values a URL could never carry do not enter the request
    // state (a session ID with other characters would reach the rescue VM's download URL).
    request.CurrentSessionId =
        intake::IsWellFormedSessionId(elevated.sessionId) ? elevated.sessionId : std::string();
    if (elevated.serverHost) {
        const bool valid = intake::IsValidHost(*elevated.serverHost);
        request.ServerHost = valid ? *elevated.serverHost : std::string();
        if (!valid) request.ServerPort = 0;
    }
    if (elevated.serverPort) request.ServerPort = request.ServerHost.empty() ? 0 : *elevated.serverPort;
    if (elevated.serverUseTls) request.ServerUseTls = *elevated.serverUseTls;
}

}  // namespace kelto::actions

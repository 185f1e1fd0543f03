// The values of a kelto: URL. Not a strict URL parser: each value is found by its own search
// over the whole command line, with its own normalisation, so that the path style
// (kelto://ipconfig/sid/abc/host/10.0.0.5/port/443/tls/1) and the query style
// (kelto:?tool=ipconfig&sid=abc) both work, quoted or not. Every rule is ASCII-only: a byte
// outside ASCII is never folded into, nor accepted as, an ASCII character.
#pragma once

#include <string>
#include <string_view>

#include "intake/request_state.h"

namespace kelto::intake {

// Longest run of a-z/0-9 after the first "tool=", else after "kelto:" and its leading slashes
// and backslashes; lower-cased, quotes removed, %3f %3d %2f decoded. Empty when none.
std::string ParseActionKey(std::string_view text);

// The run of letters, digits, "-" and "_" (case kept, at most 80) after the first "/sid/",
// else after the first "sid=" (both found without regard to case). Quotes removed and the
// lower-case escapes %3f %3d %26 decoded first; "%2f" stays as it is.
std::string ParseSessionId(std::string_view text);

// ParseSessionId with where its reading ended, for those who explain a URL.
struct SessionIdReading {
    bool marked = false;  // the text holds "/sid/" or "sid="
    std::string id;       // what ParseSessionId returns
    std::string after;    // the normalised text from the first character not taken on
};
SessionIdReading ReadSessionId(std::string_view text);

// ServerHost, ServerPort and ServerUseTls from the path segments host, port and tls. A host
// that is not valid, or a port that is missing, too long or not all digits, clears both host
// and port; a port outside 1-65535 gives 0 and leaves the host.
void ParseServerAddress(std::string_view text, RequestState& request);

// The value segment that follows "/name/" (found without regard to case), taken as received
// up to the next "/", trimmed of spaces and stripped of quotes. Empty when there is none.
std::string GetPathValue(std::string_view text, std::string_view name);

// 1 to 253 characters, each (lower-cased) one of a-z, 0-9, "." and "-".
bool IsValidHost(std::string_view text);

// Not empty and every character between "0" and "9".
bool IsAllDigits(std::string_view text);

}  // namespace kelto::intake

#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"

namespace kelto::intake {

inline constexpr const char* kLogFileName = "KeltoClientHelper.log";

// What the log writes for a character it cannot keep: the code page's replacement character.
inline constexpr char kLogReplacementCharacter = '?';

// The message as one line of the log: every control character but the tab (U+0000 to U+001F,
// U+007F) becomes the replacement character, so that a CR or LF inside a command line can
// neither tear a line in two nor forge a line of its own.
std::string OneLogLine(std::string_view message);

// "yyyy-mm-dd hh:nn:ss"
std::string FormatLogTimestamp(const platform::DateTime& t);

// Appends one timestamped line to the activity log beside the executable. Never fails
// towards the caller and never shows anything.
void WriteLog(platform::System& system, const std::string& message);

}  // namespace kelto::intake

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

// Written before the next line that reaches the log, when lines were lost because another
// program held the log open; the number follows.
inline constexpr const char* kLinesLostLog = "Log lines lost while another program held the log: ";

// Appends one timestamped line to the activity log beside the executable. Never fails
// towards the caller and never shows anything. A log held by another program is waited for
// a moment (at most a second a line, two seconds a run, the windows alive meanwhile); a line
// that could not wait is lost and counted.
void WriteLog(platform::System& system, const std::string& message);

// A run starts with its whole wait for a held log and nothing lost; the process is one run.
void StartLogRun();

}  // namespace kelto::intake

#pragma once

#include <string>

#include "platform/system.h"

namespace kelto::intake {

inline constexpr const char* kLogFileName = "KeltoClientHelper.log";

// "yyyy-mm-dd hh:nn:ss"
std::string FormatLogTimestamp(const platform::DateTime& t);

// Appends one timestamped line to the activity log beside the executable. Never fails
// towards the caller and never shows anything.
void WriteLog(platform::System& system, const std::string& message);

}  // namespace kelto::intake

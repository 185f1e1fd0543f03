#pragma once

#include <string>

#include "platform/system.h"

namespace kelto::intake {

// The full path of a Windows system program as seen from a 32-bit process: the native
// system folder first (Sysnative), then System32, SysWOW64 and the Windows folder itself;
// the bare name when it is found nowhere.
std::string ResolveSystemFile(platform::Environment& environment, platform::FileSystem& files,
                              const std::string& name);

}  // namespace kelto::intake

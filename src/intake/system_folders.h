#pragma once

#include <string>

#include "platform/system.h"

namespace kelto::intake {

// The full path of the running executable. Falls back to the program path written at the
// start of the process command line when the system cannot tell the module path.
std::string GetOwnExePath(platform::Process& process);
// The folder that holds the running executable (the log and the registration use it).
std::string GetOwnFolder(platform::Process& process);
// The program path at the start of a Windows command line (quoted or not).
std::string ProgramPathFromCommandLine(const std::string& commandLine);
// The argument text after the program path, unchanged otherwise.
std::string ArgumentsFromCommandLine(const std::string& commandLine);

// The full path of a Windows system program as seen from a 32-bit process: the native
// system folder first (Sysnative), then System32, SysWOW64 and the Windows folder itself;
// the bare name when it is found nowhere.
std::string ResolveSystemFile(platform::Environment& environment, platform::FileSystem& files,
                              const std::string& name);

}  // namespace kelto::intake

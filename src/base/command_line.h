// The running program's own command line and path.
#pragma once

#include <string>

#include "platform/system.h"

namespace kelto::base {

// The program path at the start of a Windows command line (quoted or not).
std::string ProgramPathFromCommandLine(const std::string& commandLine);
// The argument text after the program path, unchanged otherwise.
std::string ArgumentsFromCommandLine(const std::string& commandLine);

// The full path of the running executable. Falls back to the program path written at the
// start of the process command line when the system cannot tell the module path.
std::string GetOwnExePath(platform::Process& process);
// The folder that holds the running executable (the log and the registration use it).
std::string GetOwnFolder(platform::Process& process);

}  // namespace kelto::base

// The running program's own command line and path.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"

namespace kelto::base {

// The program path at the start of a Windows command line (quoted or not).
std::string ProgramPathFromCommandLine(const std::string& commandLine);
// The argument text after the program path, unchanged otherwise.
std::string ArgumentsFromCommandLine(const std::string& commandLine);

// Whether a text (a path from the environment) may stand between the double quotes of a
// cmd.exe command line and stay one quoted piece there: no double quote, which would end the
// quotes and let what follows run as commands; no percent sign, which cmd expands as a
// variable even inside quotes; no control character, which may end or split the line.
bool FitsInsideCmdQuotes(std::string_view text);

// The full path of the running executable. Falls back to the program path written at the
// start of the process command line when the system cannot tell the module path.
std::string GetOwnExePath(platform::Process& process);
// The folder that holds the running executable (the log and the registration use it).
std::string GetOwnFolder(platform::Process& process);

}  // namespace kelto::base

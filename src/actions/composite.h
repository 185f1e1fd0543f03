// Command lines assembled from pieces: the console command and the five repairs that chain
// several system commands. Each builder overwrites `Title`, `Description`, `File` and
// `Arguments` and never touches `Verb` (the catalogue sets "runas" for the repairs).
#pragma once

#include <string_view>

#include "actions/catalogue.h"
#include "platform/system.h"

namespace kelto::actions {

// "cmd.exe /K <command>": the command window stays open after the command ends.
void BuildConsoleCommand(std::string_view title, std::string_view command, ActionInfo& info);
// PowerShell restarts every physical network adapter, then asks for a device rescan.
void BuildReinstallNetworkCommand(platform::Environment& environment, platform::FileSystem& files,
                                  ActionInfo& info);
// Stops the print spooler, deletes the queued jobs and starts the spooler again.
// A SystemRoot that cannot stand inside the line's quotes is refused as TEMP is below.
void BuildSpoolerResetCommand(platform::Environment& environment, ActionInfo& info);
// Sets safe mode with networking and restarts, the restart only when the boot setting took.
void BuildSafeModeCommand(ActionInfo& info);
// Removes the safe-mode setting and restarts, whether or not the removal succeeded.
void BuildNormalBootCommand(ActionInfo& info);
// Exports the firewall rules to a backup file, then resets firewall, Winsock and the IP
// stack and flushes DNS; nothing is reset when the export fails. A TEMP that cannot stand
// inside the line's quotes (base::FitsInsideCmdQuotes) gives no command line: `Arguments`
// stays empty and `launchRefusal` says that the launch fails as for a file not found.
void BuildFullNetworkResetCommand(platform::Environment& environment, ActionInfo& info);

}  // namespace kelto::actions

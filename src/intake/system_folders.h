#pragma once

#include <string>

#include "platform/system.h"

namespace kelto::intake {

// The full path of a Windows system program as seen from a 32-bit process: the native
// system folder first (Sysnative), then System32, SysWOW64 and the Windows folder itself;
// the bare name when it is found nowhere.
std::string ResolveSystemFile(platform::Environment& environment, platform::FileSystem& files,
                              const std::string& name);

// The shell's own code for a file it cannot find.
inline constexpr int kFileNotFound = 2;

// What the elevated instance hands the shell for one file to start.
struct LaunchTarget {
    bool found = false;
    std::string file;       // a full path, or the settings URI or full path as it was given
    std::string directory;  // the working folder: the Windows system folder
};

// Turns the file of an action into what the shell is asked to start, so that the shell never
// searches for it in the current folder (the helper's own, often the customer's Downloads):
//   - a settings URI ("ms-settings:...") or a full path ("X:\..." or "\\...") stays as it is;
//   - a management-console file (".msc") is root + "\System32\" + name, the path a 64-bit
//     console sees;
//   - a program is looked for in the system folders, native folder first (where the Sysnative
//     alias exists, the Windows folder itself comes before System32 and SysWOW64, which a
//     32-bit process sees as the 32-bit copies), then on PATH, where entries that are not
//     full paths and the helper's own folder are skipped.
// The working folder is root + "\System32" (root: SystemRoot, else WinDir). Not found, when
// the program is nowhere or neither variable is set.
LaunchTarget ResolveLaunchTarget(platform::System& system, const std::string& file);

// A program the helper itself starts as administrator (not one of the catalogue's): looked
// for in the system folders exactly as ResolveLaunchTarget looks there, and never on PATH,
// whose user entries the customer's account can write. Such a program is in System32 on
// every supported Windows; missing there, it is not found.
LaunchTarget ResolveSystemProgram(platform::System& system, const std::string& name);

}  // namespace kelto::intake

// The kit's command line. It changes a machine, so it takes nothing for granted: the person
// says a snapshot exists, and a restart is allowed only when asked for by name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelto::acceptance {

struct Options {
    bool haveSnapshot = false;  // --i-have-a-snapshot
    bool withRestart = false;   // --with-restart: the rollback and its restart may run
    bool safeMode = false;      // --safe-mode: booted into Safe Mode for the normalboot road
    std::string standardUser;   // --standard-user NAME (its password is read from the console)
    std::string reportDir;      // --report-dir=DIR (default: beside the kit)
    bool help = false;          // --help
};

struct ParsedOptions {
    bool ok = false;
    Options options;
    std::string error;  // one line, when not ok
};

// The arguments after the program's name, as UTF-8. An unknown argument, a value missing or
// given twice, and any attempt to pass a password are errors.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

// What the kit found before it changes anything.
struct Preconditions {
    bool helperBeside = true;  // KeltoClientHelper.exe is beside the kit
    bool elevatedAdministrator = false;
    std::string registeredHandler;    // the kelto: handler's executable as the shell resolves it, or ""
    bool handlerIsTheHelper = false;  // that executable is the helper beside the kit
};

// The one line the kit refuses with (exit 2), or "" when it may run.
std::string RefusalOf(const Options& options, const Preconditions& found);

inline constexpr std::string_view kUsage =
    "usage: kelto-acceptance --i-have-a-snapshot [--with-restart] [--safe-mode] [--standard-user NAME] "
    "[--report-dir=DIR]";

}  // namespace kelto::acceptance

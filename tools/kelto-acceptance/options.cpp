#include "options.h"

#include <algorithm>

namespace kelto::acceptance {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

ParsedOptions Error(std::string message) {
    ParsedOptions parsed;
    parsed.error = std::move(message);
    return parsed;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    bool userGiven = false;
    bool reportGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view a = arguments[i];
        if (a == "--i-have-a-snapshot") {
            o.haveSnapshot = true;
        } else if (a == "--with-restart") {
            o.withRestart = true;
        } else if (a == "--safe-mode") {
            o.safeMode = true;
        } else if (a == "--help" || a == "-h" || a == "/?") {
            o.help = true;
        } else if (a == "--standard-user" || StartsWith(a, "--standard-user=")) {
            if (userGiven) return Error("--standard-user given twice");
            std::string_view name;
            if (a == "--standard-user") {
                if (i + 1 >= arguments.size()) return Error("--standard-user needs an account name");
                name = arguments[++i];
            } else {
                name = a.substr(std::string_view("--standard-user=").size());
            }
            if (name.empty() || StartsWith(name, "--")) return Error("--standard-user needs an account name");
            o.standardUser = std::string(name);
            userGiven = true;
        } else if (StartsWith(a, "--report-dir=")) {
            if (reportGiven) return Error("--report-dir given twice");
            o.reportDir = std::string(a.substr(std::string_view("--report-dir=").size()));
            if (o.reportDir.empty()) return Error("--report-dir needs a folder");
            reportGiven = true;
        } else if (StartsWith(a, "--password")) {
            return Error("a password is never taken from the command line: the kit asks for it");
        } else {
            // Only the option's name is echoed (an unknown argument could be a secret), on one
            // line: control characters become "?".
            std::string name(a.substr(0, std::min<size_t>(a.find('='), 40)));
            for (char& c : name) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
            }
            return Error("unknown argument: " + name);
        }
    }
    parsed.ok = true;
    return parsed;
}

std::string RefusalOf(const Options& options, const Preconditions& found) {
    if (!found.helperBeside) return "refused: KeltoClientHelper.exe is not beside the kit";
    if (!found.elevatedAdministrator)
        return "refused: run it from an administrator's console (this one is not elevated)";
    if (!options.haveSnapshot)
        return "refused: it changes this machine: take a snapshot first, then run it with "
               "--i-have-a-snapshot";
    if (!found.registeredHandler.empty() && !found.handlerIsTheHelper)
        return "refused: the kelto: handler here is " + found.registeredHandler +
               ", not the helper beside the kit";
    return {};
}

}  // namespace kelto::acceptance

#include "base/command_line.h"

#include "base/text.h"

namespace kelto::base {

namespace {
// The program token at the start of a command line ends at a space or tab, or, when it
// starts with a quote, at the closing quote.
std::size_t ProgramTokenEnd(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        const auto close = commandLine.find('"', 1);
        return close == std::string::npos ? commandLine.size() : close + 1;
    }
    const auto blank = commandLine.find_first_of(" \t");
    return blank == std::string::npos ? commandLine.size() : blank;
}
}  // namespace

bool FitsInsideCmdQuotes(std::string_view text) {
    for (const char c : text) {
        if (c == '"' || c == '%' || text::IsAsciiControl(c)) return false;
    }
    return true;
}

std::string ProgramPathFromCommandLine(const std::string& commandLine) {
    const std::string token = commandLine.substr(0, ProgramTokenEnd(commandLine));
    return text::RemoveChar(token, '"');
}

std::string ArgumentsFromCommandLine(const std::string& commandLine) {
    return commandLine.substr(ProgramTokenEnd(commandLine));
}

std::string GetOwnExePath(platform::Process& process) {
    std::string path = process.ModuleFileName();
    if (!path.empty()) return path;
    return ProgramPathFromCommandLine(process.CommandLine());
}

std::string GetOwnFolder(platform::Process& process) { return text::ParentFolder(GetOwnExePath(process)); }

}  // namespace kelto::base

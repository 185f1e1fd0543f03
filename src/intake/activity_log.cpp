#include "intake/activity_log.h"

#include <cstdio>

#include "base/command_line.h"
#include "base/text.h"

namespace kelto::intake {

namespace {
// Another helper process may hold the file for a moment (the elevated instance and the one
// that started it log at the same time). A dropped line is lost for good, so wait a little
// for it; a file that cannot be written at all gives up at once.
constexpr int kBusyRetries = 40;
constexpr int kBusyRetryDelayMs = 25;
}  // namespace

std::string OneLogLine(std::string_view message) {
    std::string line(message);
    for (char& c : line) {
        if (text::IsAsciiControl(c) && c != '\t') c = kLogReplacementCharacter;
    }
    return line;
}

std::string FormatLogTimestamp(const platform::DateTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buffer;
}

void WriteLog(platform::System& system, const std::string& message) {
    const std::string path = base::GetOwnFolder(system.process) + "\\" + kLogFileName;
    const std::string line = FormatLogTimestamp(system.clock.LocalNow()) + " " + OneLogLine(message) + "\r\n";
    const std::string bytes = system.process.ToAnsiCodePage(line);
    for (int attempt = 0;; ++attempt) {
        const auto result = system.files.Append(path, bytes);
        if (result != platform::AppendResult::Busy || attempt >= kBusyRetries) return;
        system.clock.Sleep(kBusyRetryDelayMs);
    }
}

}  // namespace kelto::intake

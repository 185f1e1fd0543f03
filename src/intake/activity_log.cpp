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
// A program that keeps the log open without sharing it (an editor, a sync client) holds it for
// the whole run: however many lines find it held, the run waits this long in all, then loses
// the lines at once.
constexpr int kRunBusyBudgetMs = 2000;

// This run's waits for a held log, and the lines lost since the last one written.
struct RunWaits {
    int spentMs = 0;
    int lost = 0;
};
RunWaits& Waits() {
    static RunWaits waits;
    return waits;
}
}  // namespace

void StartLogRun() { Waits() = {}; }

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
    RunWaits& waits = Waits();
    const std::string path = base::GetOwnFolder(system.process) + "\\" + kLogFileName;
    const std::string stamp = FormatLogTimestamp(system.clock.LocalNow()) + " ";
    std::string line = stamp + OneLogLine(message) + "\r\n";
    // What was lost is said first, in the same write as the line that follows it.
    if (waits.lost > 0) line = stamp + kLinesLostLog + std::to_string(waits.lost) + "\r\n" + line;
    const std::string bytes = system.process.ToAnsiCodePage(line);
    for (int attempt = 0;; ++attempt) {
        const auto result = system.files.Append(path, bytes);
        if (result == platform::AppendResult::Ok) waits.lost = 0;
        if (result != platform::AppendResult::Busy) return;
        if (attempt >= kBusyRetries || waits.spentMs + kBusyRetryDelayMs > kRunBusyBudgetMs) {
            ++waits.lost;
            return;
        }
        system.clock.Sleep(kBusyRetryDelayMs);
        waits.spentMs += kBusyRetryDelayMs;
    }
}

}  // namespace kelto::intake

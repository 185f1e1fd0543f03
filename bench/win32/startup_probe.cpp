// Measures the time from process start to the first dialog on screen for two or more command
// lines, alternating them run by run (A B, then B A, ...) so that a drift of the machine hits
// all alike. The dialog is found by the end-to-end suite's driver and closed with its OK button.
//   kelto_startup_probe <runs> <command line A> <command line B> [C ...]
// Prints one line per run, the medians, their ratios and the median of the per-run ratios;
// exits non-zero when a dialog never appeared.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "rounds_report.h"

namespace {

using kelto::e2e::Deadline;
using kelto::e2e::milliseconds;

// Milliseconds from CreateProcess to a visible dialog of the new process.
double TimeToFirstDialog(const std::wstring& commandLine) {
    LARGE_INTEGER frequency, start, shown;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    auto process = kelto::e2e::StartProcess(commandLine, {}, nullptr);
    HWND dialog = nullptr;
    kelto::e2e::PollUntil(
        Deadline::In(milliseconds(20000)),
        [&] {
            for (HWND w : kelto::e2e::VisibleTopLevelWindows(process.id)) {
                if (kelto::e2e::ClassNameOf(w) == "#32770") {
                    dialog = w;
                    return true;
                }
            }
            return false;
        },
        milliseconds(1));
    ::QueryPerformanceCounter(&shown);
    if (dialog == nullptr) {
        ::TerminateProcess(process.handle.get(), 1);
        throw kelto::e2e::DriverError("no dialog from: " + kelto::e2e::Narrow(commandLine));
    }
    kelto::e2e::Press(dialog, IDOK);
    if (!kelto::e2e::WaitForExit(process, Deadline::In(milliseconds(20000)))) {
        ::TerminateProcess(process.handle.get(), 1);
        throw kelto::e2e::DriverError("did not end after OK: " + kelto::e2e::Narrow(commandLine));
    }
    return 1000.0 * static_cast<double>(shown.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: kelto_startup_probe <runs> <command line A> <command line B> [C ...]\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(argv[1]));
    const std::vector<std::wstring> lines(argv + 2, argv + argc);
    const size_t count = lines.size();
    try {
        // One unmeasured start of each: the first start of a prefix loads fonts and DLLs.
        for (const auto& line : lines) TimeToFirstDialog(line);
        std::vector<std::vector<double>> times(count);
        for (int run = 0; run < runs; ++run) {
            // Each program leads in turn, so that none always follows the same one.
            for (size_t k = 0; k < count; ++k) {
                const size_t which = (static_cast<size_t>(run) + k) % count;
                const double ms = TimeToFirstDialog(lines[which]);
                times[which].push_back(ms);
                std::printf("run %2d %c %8.1f ms\n", run + 1, static_cast<char>('A' + which), ms);
            }
        }
        kelto::bench::PrintRoundsReport(times);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup probe: %s\n", e.what());
        return 1;
    }
    return 0;
}

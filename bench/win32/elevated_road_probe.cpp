// Measures the elevated road: the time from the click on the customer's last answer to the
// moment the program at the end of the road starts, for two or more command lines taken in
// turn (each leads in turn, so that a drift of the machine hits all alike).
//   kelto_elevated_road_probe [--session=<id>] [--pause=<ms>] <rounds> <record file>
//                             <answers A> <command line A> <answers B> <command line B> ...
// With --session, a support session of that ID is stored as authorized (for the current
// user, lasting beyond the run) before the first round, so that the helper asks no token.
// --pause is how long each box stays on screen before its click, as a person reads it
// (default 0: clicked as soon as the box waits for input).
// The answers name the buttons to click in the program's boxes, one letter a box in order
// (y Yes, n No, o OK, c Cancel); the last click is the timed one. The end of the road is the
// first write to the record file, which the stand-in in place of the started program appends
// to (the record file is handed down to every process through KELTO_LAUNCH_RECORD). Between
// rounds everything the program started has ended and the record is removed.
// Prints one line a round, the medians, their ratios and the median of the per-round ratios;
// exits non-zero when a box or the started program never came.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "rounds_report.h"

namespace {

using kelto::e2e::Deadline;
using kelto::e2e::DriverError;
using kelto::e2e::milliseconds;

struct Road {
    std::wstring answers;
    std::wstring commandLine;
};

int ButtonOf(wchar_t answer) {
    switch (answer) {
        case L'y':
            return IDYES;
        case L'n':
            return IDNO;
        case L'o':
            return IDOK;
        case L'c':
            return IDCANCEL;
    }
    throw DriverError("unknown answer letter");
}

class Job {
public:
    Job() : handle_(::CreateJobObjectW(nullptr, nullptr)) {
        if (!handle_) throw DriverError("CreateJobObjectW failed");
        // If the probe dies, what it started ends with it.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(handle_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    HANDLE get() const { return handle_.get(); }
    bool Empty() const { return kelto::e2e::RunningJobMembers(handle_.get()).empty(); }

private:
    kelto::e2e::UniqueHandle handle_;
};

LONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

HWND WaitForBox(DWORD processId, const Job& job) {
    const HWND box = kelto::e2e::FindWindowOfJob(
        job.get(), Deadline::In(milliseconds(20000)),
        [](HWND w) { return kelto::e2e::ClassNameOf(w) == "#32770"; }, milliseconds(1));
    if (box == nullptr) throw DriverError("no box from process " + std::to_string(processId));
    // Answered once its thread waits for input, as a person's click would find it.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return box;
}

// Milliseconds from the last click to the first write of the record.
double TimeOfRoad(const Road& road, const std::wstring& record, DWORD pause) {
    ::DeleteFileW(record.c_str());
    Job job;
    auto process = kelto::e2e::StartProcess(road.commandLine, {}, job.get());
    LARGE_INTEGER frequency, clicked, started;
    ::QueryPerformanceFrequency(&frequency);
    for (size_t k = 0; k < road.answers.size(); ++k) {
        HWND box = WaitForBox(process.id, job);
        ::Sleep(pause);
        const bool last = k + 1 == road.answers.size();
        if (!last) {
            kelto::e2e::Press(box, ButtonOf(road.answers[k]));
            kelto::e2e::WaitUntilGone(box, Deadline::In(milliseconds(20000)));
            continue;
        }
        ::QueryPerformanceCounter(&clicked);
        kelto::e2e::Press(box, ButtonOf(road.answers[k]));
    }
    const bool arrived = kelto::e2e::PollUntil(
        Deadline::In(milliseconds(20000)), [&] { return FileSize(record) > 0; }, milliseconds(1));
    ::QueryPerformanceCounter(&started);
    if (!arrived) throw DriverError("nothing was started by: " + kelto::e2e::Narrow(road.commandLine));
    if (!kelto::e2e::PollUntil(Deadline::In(milliseconds(20000)), [&] { return job.Empty(); }))
        throw DriverError("processes still running after: " + kelto::e2e::Narrow(road.commandLine));
    // Exactly one start, of the command processor with the catalogue's arguments.
    const std::string lines = kelto::e2e::ReadWholeFile(record);
    if (std::count(lines.begin(), lines.end(), '\n') != 1 || lines.find("\\cmd.exe") == std::string::npos ||
        lines.find("/K ipconfig /all\n") == std::string::npos)
        throw DriverError("unexpected start record: " + lines);
    return 1000.0 * static_cast<double>(started.QuadPart - clicked.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

// The stored session the helper reads: its ID and its end in seconds since 2024 (local clock).
void StoreAuthorizedSession(const std::wstring& id) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KeltoRemote\\AuthorizedSession", 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw DriverError("cannot store the session");
    const std::wstring expiresAt = L"2000000000";  // in 2087
    ::RegSetValueExW(key, L"SessionID", 0, REG_SZ, reinterpret_cast<const BYTE*>(id.c_str()),
                     static_cast<DWORD>((id.size() + 1) * sizeof(wchar_t)));
    ::RegSetValueExW(key, L"ExpiresAt", 0, REG_SZ, reinterpret_cast<const BYTE*>(expiresAt.c_str()),
                     static_cast<DWORD>((expiresAt.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

int wmain(int argc, wchar_t** argv) {
    std::wstring session;
    DWORD pause = 0;
    for (;;) {
        const std::wstring option = argc > 1 ? argv[1] : L"";
        if (option.rfind(L"--session=", 0) == 0) {
            session = option.substr(10);
        } else if (option.rfind(L"--pause=", 0) == 0) {
            pause = static_cast<DWORD>(_wtoi(option.c_str() + 8));
        } else {
            break;
        }
        --argc;
        ++argv;
    }
    if (argc < 7 || (argc - 3) % 2 != 0) {
        std::fprintf(stderr,
                     "usage: kelto_elevated_road_probe <rounds> <record file> <answers A> <command line A> "
                     "<answers B> <command line B> [...]\n");
        return 2;
    }
    const int rounds = std::max(1, _wtoi(argv[1]));
    const std::wstring record = argv[2];
    std::vector<Road> roads;
    for (int i = 3; i + 1 < argc; i += 2) roads.push_back({argv[i], argv[i + 1]});
    ::SetEnvironmentVariableW(L"KELTO_LAUNCH_RECORD", record.c_str());
    const size_t count = roads.size();
    try {
        if (!session.empty()) StoreAuthorizedSession(session);
        // One unmeasured road of each: the first start of a prefix loads fonts and DLLs.
        for (const auto& road : roads) TimeOfRoad(road, record, pause);
        std::vector<std::vector<double>> times(count);
        for (int round = 0; round < rounds; ++round) {
            for (size_t k = 0; k < count; ++k) {
                const size_t which = (static_cast<size_t>(round) + k) % count;
                const double ms = TimeOfRoad(roads[which], record, pause);
                times[which].push_back(ms);
                std::printf("round %2d %c %8.1f ms\n", round + 1, static_cast<char>('A' + which), ms);
                std::fflush(stdout);
            }
        }
        kelto::bench::PrintRoundsReport(times);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "elevated road probe: %s\n", e.what());
        return 1;
    }
    return 0;
}

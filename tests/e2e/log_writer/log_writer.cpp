// Writes numbered lines to the activity log through the helper's own WriteLog and the real
// Windows layer, as a helper process would:
//   kelto_log_writer <count> <tag> [<start event name> [<report file>]]
// The lines are "<tag> <n>" with n from 1 to count, four digits. With a start event, the
// writer first releases the semaphore "<start event name>-ready" once and then waits for the
// event, so that two writers can be released at the same moment. The
// report file receives "<longest call in ms> <all calls in ms>".
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "intake/activity_log.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const int count = _wtoi(argv[1]);
    const std::string tag = kelto::platform::win32::Narrow(argv[2]);
    if (argc > 3 && argv[3][0] != L'\0') {
        // Tell the starter this writer is at the gate (semaphore "<name>-ready"), then wait.
        HANDLE start = ::OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
        HANDLE ready =
            ::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, (std::wstring(argv[3]) + L"-ready").c_str());
        if (start == nullptr || ready == nullptr) return 3;
        ::ReleaseSemaphore(ready, 1, nullptr);
        ::CloseHandle(ready);
        ::WaitForSingleObject(start, 30000);
        ::CloseHandle(start);
    }

    kelto::platform::win32::Win32System win32;
    using Clock = std::chrono::steady_clock;
    Clock::duration longest{};
    const auto begin = Clock::now();
    for (int i = 1; i <= count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%04d", i);
        const auto before = Clock::now();
        kelto::intake::WriteLog(win32.system, tag + " " + number);
        longest = std::max(longest, Clock::now() - before);
    }
    const auto all = Clock::now() - begin;

    if (argc > 4) {
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        const std::string report = std::to_string(duration_cast<milliseconds>(longest).count()) + " " +
                                   std::to_string(duration_cast<milliseconds>(all).count());
        HANDLE file = ::CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 4;
        DWORD written = 0;
        ::WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    return 0;
}

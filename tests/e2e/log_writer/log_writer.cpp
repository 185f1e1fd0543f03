// Writes numbered lines to the activity log through the helper's own WriteLog and the real
// Windows layer, as a helper process would:
//   kelto_log_writer <count> <tag> [<start event name> [<report file>]]
// The lines are "<tag> <n>" with n from 1 to count, four digits. With a start event, the
// writer first releases the semaphore "<start event name>-ready" once and then waits for the
// event, so that two writers can be released at the same moment; when the event
// "<start event name>-waiting" exists, the writer sets it the first time WriteLog waits for a
// busy file. The report file receives "<longest call in ms> <all calls in ms> <waits>", where
// waits counts the pauses WriteLog took between attempts.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "intake/activity_log.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace {

// The Windows clock, counting the pauses taken through it.
class CountingClock : public kelto::platform::Clock {
public:
    explicit CountingClock(kelto::platform::Clock& inner) : inner_(inner) {}
    ~CountingClock() override {
        if (firstWait_ != nullptr) ::CloseHandle(firstWait_);
    }
    void SignalFirstWait(HANDLE event) { firstWait_ = event; }
    int Waits() const { return waits_; }

    kelto::platform::DateTime UtcNow() override { return inner_.UtcNow(); }
    kelto::platform::DateTime LocalNow() override { return inner_.LocalNow(); }
    void Sleep(int milliseconds) override {
        if (waits_++ == 0 && firstWait_ != nullptr) ::SetEvent(firstWait_);
        inner_.Sleep(milliseconds);
    }

private:
    kelto::platform::Clock& inner_;
    HANDLE firstWait_ = nullptr;
    int waits_ = 0;
};

}  // namespace

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
    CountingClock clock(win32.clock);
    if (argc > 3 && argv[3][0] != L'\0')
        clock.SignalFirstWait(
            ::OpenEventW(EVENT_MODIFY_STATE, FALSE, (std::wstring(argv[3]) + L"-waiting").c_str()));
    kelto::platform::System counted{
        win32.registry, win32.shell,         clock,      win32.environment, win32.files,      win32.process,
        win32.children, win32.systemRestore, win32.http, win32.dialogs,     win32.restoreLock, win32.boot};
    using Clock = std::chrono::steady_clock;
    Clock::duration longest{};
    const auto begin = Clock::now();
    for (int i = 1; i <= count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%04d", i);
        const auto before = Clock::now();
        kelto::intake::WriteLog(counted, tag + " " + number);
        longest = std::max(longest, Clock::now() - before);
    }
    const auto all = Clock::now() - begin;

    if (argc > 4) {
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        const std::string report = std::to_string(duration_cast<milliseconds>(longest).count()) + " " +
                                   std::to_string(duration_cast<milliseconds>(all).count()) + " " +
                                   std::to_string(clock.Waits());
        HANDLE file = ::CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 4;
        DWORD written = 0;
        ::WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    return 0;
}

// Waiting on a thread that owns windows without freezing them. Windows takes a window whose
// thread has not read its messages for five seconds for hung ("Not Responding"), holds up the
// end of the session for it and queues the customer's clicks and keys for afterwards. So a
// wait of the helper runs the thread's messages while it waits: painting, moves, sent
// messages (WM_NULL, WM_QUERYENDSESSION) are answered; the thread's windows take no input
// meanwhile, and input that arrives anyway is dropped, never run later.
//
// The rules live here; the Windows layer supplies the thread (MsgWaitForMultipleObjectsEx
// over the awaited handles and the thread's queue), the tests a scripted one.
#pragma once

#include <cstdint>

namespace kelto::platform {

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// What one sleep of the waiting thread ended with.
enum class Woken {
    Done,       // an awaited object was signalled
    Abandoned,  // an awaited mutex whose holder ended without releasing it
    Messages,   // messages arrived for the thread
    TimeUp,
    Failed,     // the system could not wait; `error` says why
};

// The waiting thread as a wait drives it.
class WaitingThread {
public:
    virtual ~WaitingThread() = default;
    // Takes input away from the thread's windows for the length of the wait.
    virtual void HoldInput() = 0;
    // Sleeps until an awaited object is signalled, messages arrive or `ms` milliseconds pass
    // (kWaitForever: no limit). On Failed, `error` holds the system's error.
    virtual Woken Sleep(std::uint32_t ms, std::uint32_t& error) = 0;
    // Runs the messages queued now; keyboard and mouse input is dropped, and a request to end
    // the program is kept for after the wait.
    virtual void RunMessages() = 0;
    // Drops the input that came meanwhile, gives the windows their input back and passes a
    // kept request to end the program on.
    virtual void ReleaseInput() = 0;
    // A steady clock, in milliseconds.
    virtual std::uint64_t NowMs() = 0;
};

struct WaitEnd {
    enum class Kind {
        Done,
        Abandoned,
        TimeUp,
        Failed,   // `error` holds the system's error
        Refused,  // the thread was already waiting: nothing was waited for
    };
    Kind kind = Kind::Failed;
    std::uint32_t error = 0;
    bool Signalled() const { return kind == Kind::Done || kind == Kind::Abandoned; }
};

// Waits at most `timeoutMs` (kWaitForever: until an object is signalled or the wait fails),
// running the thread's messages meanwhile. Refused, with the thread untouched, when the
// calling thread is waiting already: whatever a message run from inside a wait would start
// is not started.
WaitEnd WaitAlive(WaitingThread& thread, std::uint32_t timeoutMs);

// True while a wait runs on the calling thread, or a ThreadBusy of it lives: the thread's
// windows then ignore commands and requests to close.
bool IsThreadBusy();

// Marks the calling thread busy for its lifetime, for a call into the system that may run
// the thread's messages itself (the shell's start, with the elevation prompt).
class ThreadBusy {
public:
    ThreadBusy();
    ~ThreadBusy();
    ThreadBusy(const ThreadBusy&) = delete;
    ThreadBusy& operator=(const ThreadBusy&) = delete;
};

}  // namespace kelto::platform

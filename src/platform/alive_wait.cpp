#include "platform/alive_wait.h"

namespace kelto::platform {

namespace {
thread_local int busyDepth = 0;

// Input held for as long as it lives, so that it is given back on every way out.
class HeldInput {
public:
    explicit HeldInput(WaitingThread& thread) : thread_(thread) { thread_.HoldInput(); }
    ~HeldInput() { thread_.ReleaseInput(); }
    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

private:
    WaitingThread& thread_;
};

std::uint32_t Remaining(WaitingThread& thread, std::uint64_t start, std::uint32_t timeoutMs) {
    if (timeoutMs == kWaitForever) return kWaitForever;
    const std::uint64_t elapsed = thread.NowMs() - start;
    return elapsed >= timeoutMs ? 0 : static_cast<std::uint32_t>(timeoutMs - elapsed);
}
}  // namespace

ThreadBusy::ThreadBusy() { ++busyDepth; }
ThreadBusy::~ThreadBusy() { --busyDepth; }

bool IsThreadBusy() { return busyDepth > 0; }

WaitEnd WaitAlive(WaitingThread& thread, std::uint32_t timeoutMs) {
    if (IsThreadBusy()) return {WaitEnd::Kind::Refused, 0};
    const ThreadBusy busy;
    const HeldInput held(thread);
    const std::uint64_t start = thread.NowMs();
    for (;;) {
        const std::uint32_t remaining = Remaining(thread, start, timeoutMs);
        std::uint32_t error = 0;
        const Woken woken = thread.Sleep(remaining, error);
        switch (woken) {
            case Woken::Done:
                return {WaitEnd::Kind::Done, 0};
            case Woken::Abandoned:
                return {WaitEnd::Kind::Abandoned, 0};
            case Woken::TimeUp:
                return {WaitEnd::Kind::TimeUp, 0};
            case Woken::Failed:
                return {WaitEnd::Kind::Failed, error};
            case Woken::Messages:
                thread.RunMessages();
                // A thread that never runs out of messages still has its time limit.
                if (remaining == 0) return {WaitEnd::Kind::TimeUp, 0};
                break;
        }
    }
}

}  // namespace kelto::platform

// The rules of a wait that keeps the thread's windows alive, against a scripted thread.
#include "platform/alive_wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelto {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using platform::WaitEnd;
using platform::Woken;

// Each sleep takes the next scripted wake and moves the clock on by its span; what the wait
// asked of the thread is recorded in order.
class ScriptedThread : public platform::WaitingThread {
public:
    struct Wake {
        Woken woken;
        std::uint64_t afterMs = 0;
        std::uint32_t error = 0;
    };

    void HoldInput() override { calls.push_back("hold"); }
    Woken Sleep(std::uint32_t ms, std::uint32_t& error) override {
        calls.push_back(ms == platform::kWaitForever ? "sleep forever" : "sleep " + std::to_string(ms));
        if (wakes.empty()) throw std::logic_error("unscripted sleep");
        const Wake wake = wakes.front();
        wakes.pop_front();
        now += wake.afterMs;
        error = wake.error;
        return wake.woken;
    }
    void RunMessages() override {
        calls.push_back("run");
        if (onRun) onRun();
    }
    void ReleaseInput() override { calls.push_back("release"); }
    std::uint64_t NowMs() override { return now; }

    std::deque<Wake> wakes;
    std::vector<std::string> calls;
    std::function<void()> onRun;
    std::uint64_t now = 5000;
};

TEST(AliveWait, MessagesRunUntilTheObjectIsSignalledAndInputIsHeldThroughout) {
    ScriptedThread thread;
    thread.wakes = {{Woken::Messages}, {Woken::Messages}, {Woken::Done}};
    const WaitEnd end = platform::WaitAlive(thread, platform::kWaitForever);
    EXPECT_EQ(end.kind, WaitEnd::Kind::Done);
    EXPECT_TRUE(end.Signalled());
    EXPECT_THAT(thread.calls, ElementsAre("hold", "sleep forever", "run", "sleep forever", "run",
                                          "sleep forever", "release"));
}

struct EndCase {
    const char* name;
    Woken woken;
    WaitEnd::Kind kind;
    std::uint32_t error;
};

class AliveWaitEnds : public ::testing::TestWithParam<EndCase> {};

// However the wait ends, input is given back; a failed wait carries the system's error and
// never reads as signalled.
TEST_P(AliveWaitEnds, EachEndGivesInputBack) {
    const EndCase& c = GetParam();
    ScriptedThread thread;
    thread.wakes = {{Woken::Messages}, {c.woken, 0, c.error}};
    const WaitEnd end = platform::WaitAlive(thread, 60000);
    EXPECT_EQ(end.kind, c.kind);
    EXPECT_EQ(end.error, c.error);
    EXPECT_EQ(end.Signalled(), c.kind == WaitEnd::Kind::Done || c.kind == WaitEnd::Kind::Abandoned);
    EXPECT_EQ(thread.calls.back(), "release");
    EXPECT_FALSE(platform::IsThreadBusy());
}

INSTANTIATE_TEST_SUITE_P(Wakes, AliveWaitEnds,
                         ::testing::Values(EndCase{"Done", Woken::Done, WaitEnd::Kind::Done, 0},
                                           EndCase{"Abandoned", Woken::Abandoned, WaitEnd::Kind::Abandoned, 0},
                                           EndCase{"TimeUp", Woken::TimeUp, WaitEnd::Kind::TimeUp, 0},
                                           EndCase{"InvalidHandle", Woken::Failed, WaitEnd::Kind::Failed, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

// The time limit holds across the message runs: each sleep is told what is left, and a thread
// that still has messages when nothing is left ends the wait with its time up.
TEST(AliveWait, EverySleepGetsWhatIsLeftOfTheLimit) {
    ScriptedThread thread;
    thread.wakes = {{Woken::Messages, 600}, {Woken::Messages, 400}, {Woken::Messages, 0}};
    const WaitEnd end = platform::WaitAlive(thread, 1000);
    EXPECT_EQ(end.kind, WaitEnd::Kind::TimeUp);
    EXPECT_THAT(thread.calls,
                ElementsAre("hold", "sleep 1000", "run", "sleep 400", "run", "sleep 0", "run", "release"));
}

// A message run inside the wait that asks for a second wait (a click that would start another
// download, another check) starts nothing: the second wait is refused without touching its
// thread, and the first goes on to its end.
TEST(AliveWait, ASecondWaitAskedForFromInsideAWaitIsRefused) {
    ScriptedThread outer;
    ScriptedThread inner;
    inner.wakes = {{Woken::Done}};
    std::vector<WaitEnd::Kind> innerEnds;
    outer.onRun = [&] {
        EXPECT_TRUE(platform::IsThreadBusy());
        innerEnds.push_back(platform::WaitAlive(inner, platform::kWaitForever).kind);
    };
    outer.wakes = {{Woken::Messages}, {Woken::Done}};
    EXPECT_FALSE(platform::IsThreadBusy());
    EXPECT_EQ(platform::WaitAlive(outer, platform::kWaitForever).kind, WaitEnd::Kind::Done);
    EXPECT_THAT(innerEnds, ElementsAre(WaitEnd::Kind::Refused));
    EXPECT_THAT(inner.calls, IsEmpty());
    EXPECT_FALSE(platform::IsThreadBusy());
    // After the first wait a new one runs again.
    EXPECT_EQ(platform::WaitAlive(inner, platform::kWaitForever).kind, WaitEnd::Kind::Done);
}

// A call into the system that runs messages itself marks the thread busy: no wait starts
// from inside it either.
TEST(AliveWait, NoWaitStartsWhileTheThreadIsMarkedBusy) {
    ScriptedThread thread;
    {
        const platform::ThreadBusy busy;
        EXPECT_TRUE(platform::IsThreadBusy());
        EXPECT_EQ(platform::WaitAlive(thread, 100).kind, WaitEnd::Kind::Refused);
    }
    EXPECT_THAT(thread.calls, IsEmpty());
    EXPECT_FALSE(platform::IsThreadBusy());
}

// Whatever a message run throws, the windows get their input back and the thread is free.
TEST(AliveWait, InputComesBackWhenAMessageRunThrows) {
    ScriptedThread thread;
    thread.wakes = {{Woken::Messages}};
    thread.onRun = [] { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(platform::WaitAlive(thread, platform::kWaitForever), std::runtime_error);
    EXPECT_THAT(thread.calls, ElementsAre("hold", "sleep forever", "run", "release"));
    EXPECT_FALSE(platform::IsThreadBusy());
}

}  // namespace
}  // namespace kelto

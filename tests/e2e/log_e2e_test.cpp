// The activity log written by the helper's own WriteLog through the real Windows layer, by
// several processes at once, and where it cannot be written.
#include <cstdio>
#include <map>

#include "harness.h"

namespace kelto::e2e {
namespace {

class LogTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        if (Programs().logWriter.empty())
            GTEST_SKIP() << "the log writer's path was not given (--log-writer=)";
    }

    // A copy of the writer in `folder`: it logs beside itself, as the helper does.
    std::wstring WriterIn(const std::wstring& folder) { return CopyInto(Programs().logWriter, folder); }

    Process StartWriter(const std::wstring& writer, int count, const std::wstring& tag,
                        const std::wstring& gate = {}, const std::wstring& report = {}) {
        std::wstring line = L"\"" + writer + L"\" " + std::to_wstring(count) + L" " + tag;
        if (!gate.empty() || !report.empty()) line += L" \"" + gate + L"\"";
        if (!report.empty()) line += L" \"" + report + L"\"";
        return StartRaw(line);
    }

    // The pauses WriteLog took between attempts, as the writer reported them.
    int ReadWaits(const std::wstring& path) {
        UniqueHandle file(
            ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) throw DriverError("the writer left no report");
        char text[64] = {};
        DWORD read = 0;
        ::ReadFile(file.get(), text, sizeof text - 1, &read, nullptr);
        int longest = -1;
        int all = -1;
        int waits = -1;
        if (std::sscanf(text, "%d %d %d", &longest, &all, &waits) != 3)
            throw DriverError("the writer's report is incomplete");
        return waits;
    }

    // A start gate for writers: an event they wait for, a semaphore each releases once it is
    // waiting, and an event a writer sets when WriteLog first waits for a busy file.
    struct Gate {
        std::wstring name;
        UniqueHandle open;
        UniqueHandle ready;
        UniqueHandle firstWait;
    };
    Gate MakeGate() {
        Gate gate;
        gate.name =
            L"kelto-e2e-gate-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++gates_);
        gate.open.reset(::CreateEventW(nullptr, TRUE, FALSE, gate.name.c_str()));
        gate.ready.reset(::CreateSemaphoreW(nullptr, 0, 16, (gate.name + L"-ready").c_str()));
        gate.firstWait.reset(::CreateEventW(nullptr, TRUE, FALSE, (gate.name + L"-waiting").c_str()));
        if (!gate.open || !gate.ready || !gate.firstWait) throw DriverError("cannot create the start gate");
        return gate;
    }
    // Waits until `writers` processes stand at the gate, then opens it for all at once.
    void OpenWhenReady(const Gate& gate, int writers) {
        for (int i = 0; i < writers; ++i) {
            if (::WaitForSingleObject(gate.ready.get(), static_cast<DWORD>(kDefaultWait.count())) !=
                WAIT_OBJECT_0) {
                throw DriverError("a writer never reached the start gate");
            }
        }
        ::SetEvent(gate.open.get());
    }

private:
    int gates_ = 0;
};

TEST_F(LogTest, TwoProcessesWritingAtOnceLoseNoLineAndTearNone) {
    constexpr int kLines = 500;
    const std::wstring writer = WriterIn(Folder());
    const Gate gate = MakeGate();
    auto a = StartWriter(writer, kLines, L"A", gate.name);
    auto b = StartWriter(writer, kLines, L"B", gate.name);
    OpenWhenReady(gate, 2);
    EXPECT_EQ(WaitForExit(a, milliseconds(120000)), 0u);
    EXPECT_EQ(WaitForExit(b, milliseconds(120000)), 0u);

    // LogLines() checks that every line is whole: timestamp, space, message, CR LF.
    const auto messages = LogMessages();
    std::map<char, int> next{{'A', 1}, {'B', 1}};
    int switches = 0;
    char previous = 0;
    for (const auto& m : messages) {
        char number[8];
        std::snprintf(number, sizeof number, "%04d", m.empty() ? 0 : next[m[0]]);
        ASSERT_TRUE(m.size() == 6 && (m[0] == 'A' || m[0] == 'B') && m.substr(1) == std::string(" ") + number)
            << "unexpected line \"" << m << "\" (next A " << next['A'] << ", next B " << next['B'] << ")";
        ++next[m[0]];
        if (previous != 0 && previous != m[0]) ++switches;
        previous = m[0];
    }
    EXPECT_EQ(next['A'], kLines + 1);
    EXPECT_EQ(next['B'], kLines + 1);
    // How finely the two interleaved depends on the scheduler; kept for the record.
    RecordProperty("switches", switches);
}

TEST_F(LogTest, ALineWaitsForAShortHoldOfTheFile) {
    const std::wstring writer = WriterIn(Folder());
    const Gate gate = MakeGate();
    UniqueHandle held(::CreateFileW((Folder() + L"\\KeltoClientHelper.log").c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held);
    const std::wstring report = Folder() + L"\\report.txt";
    auto w = StartWriter(writer, 1, L"held", gate.name, report);
    OpenWhenReady(gate, 1);
    // The file is let go as soon as the writer has found it busy once.
    ASSERT_EQ(::WaitForSingleObject(gate.firstWait.get(), static_cast<DWORD>(kDefaultWait.count())),
              WAIT_OBJECT_0)
        << "the writer never waited for the held file";
    held.reset();
    EXPECT_EQ(WaitForExit(w), 0u);
    EXPECT_THAT(LogMessages(), ::testing::ElementsAre("held 0001"));
    EXPECT_GE(ReadWaits(report), 1);
}

TEST_F(LogTest, ALineGivesUpWhileTheFileStaysHeld) {
    const std::wstring writer = WriterIn(Folder());
    UniqueHandle held(::CreateFileW((Folder() + L"\\KeltoClientHelper.log").c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held);
    const std::wstring report = Folder() + L"\\report.txt";
    auto w = StartWriter(writer, 1, L"held", L"", report);
    // The writer returns while the file is still held: the wait is bounded.
    EXPECT_EQ(WaitForExit(w), 0u);
    held.reset();
    EXPECT_EQ(LogBytes(), "");
    EXPECT_GE(ReadWaits(report), 1) << "the writer gave up without waiting for the busy file";
}

// Under Wine every process runs as root, and root may write into a folder whatever its
// permission bits: a folder that cannot be written is made by putting a folder where the log
// file would go. Windows answers both with ERROR_ACCESS_DENIED.
TEST_F(LogTest, AnUnwritableLogReturnsAtOnceAndQuietly) {
    constexpr int kCalls = 20;
    const std::wstring locked = MakeFolder(L"locked");
    ASSERT_TRUE(::CreateDirectoryW((locked + L"\\KeltoClientHelper.log").c_str(), nullptr));
    const std::wstring writer = WriterIn(locked);
    const std::wstring report = Folder() + L"\\report.txt";
    auto w = StartWriter(writer, kCalls, L"lost", L"", report);
    EXPECT_EQ(WaitForExit(w), 0u);
    EXPECT_EQ(ReadWaits(report), 0) << "a call waited for a file that can never be opened";
    EXPECT_EQ(::GetFileAttributesW((locked + L"\\KeltoClientHelper.log").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace
}  // namespace kelto::e2e

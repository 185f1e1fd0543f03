// The prefix the suite runs in: what later tests rely on when they observe the programs the
// helper starts, the clock it logs and the code page it writes.
#include "harness.h"
// After <windows.h>, which the harness brings.
#include <shellapi.h>

namespace kelto::e2e {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::SizeIs;

class PrefixTest : public HelperTest {
protected:
    static std::string Lower(std::string s) {
        for (auto& c : s) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
        return s;
    }
};

TEST_F(PrefixTest, TheCommandInterpreterIsAStandInThatRecordsItsCommandLine) {
    auto cmd = StartRaw(L"cmd.exe /K ipconfig /all");
    EXPECT_EQ(WaitForExit(cmd), 0u);
    const auto launches = WaitForLaunches(1);
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_THAT(Lower(launches[0].program), EndsWith("\\cmd.exe"));
    EXPECT_EQ(launches[0].commandLine, "cmd.exe /K ipconfig /all");
}

struct ShellCase {
    const char* name;
    const wchar_t* verb;
    const wchar_t* file;
    const wchar_t* parameters;
    const char* program;      // how the recorded program path ends
    const char* commandPart;  // a part of the recorded command line
    friend void PrintTo(const ShellCase& c, std::ostream* os) { *os << c.name; }
};

class ShellStartTest : public PrefixTest, public ::testing::WithParamInterface<ShellCase> {};

// ShellExecute as the helper calls it: the class entries of the prefix lead to stand-ins.
TEST_P(ShellStartTest, ReachesAStandIn) {
    const auto& c = GetParam();
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, c.verb, c.file, c.parameters, nullptr, SW_SHOWNORMAL));
    EXPECT_GT(result, 32) << "ShellExecute failed";
    const auto launches = WaitForLaunches(1);
    ASSERT_THAT(launches, SizeIs(1));
    EXPECT_THAT(Lower(launches[0].program), EndsWith(c.program));
    EXPECT_THAT(launches[0].commandLine, HasSubstr(c.commandPart));
}

INSTANTIATE_TEST_SUITE_P(
    Classes, ShellStartTest,
    ::testing::Values(
        ShellCase{"SettingsPage", L"open", L"ms-settings:network-status", nullptr, "\\systemsettings.exe",
                  "ms-settings:network-status"},
        ShellCase{"ManagementConsole", L"open", L"devmgmt.msc", nullptr, "\\mmc.exe", "devmgmt.msc"},
        // Everything runs elevated under Wine: "runas" starts the program without a prompt.
        ShellCase{"RunAs", L"runas", L"cmd.exe", L"/K echo elevated", "\\cmd.exe", "/K echo elevated"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrefixTest, RunsInATimeZoneOtherThanUtcAndAWesternCodePage) {
    TIME_ZONE_INFORMATION zone;
    ::GetTimeZoneInformation(&zone);
    // Local time differs from UTC, so a log written in UTC would show.
    EXPECT_NE(zone.Bias, 0);
    EXPECT_EQ(::GetACP(), 1252u);
}

}  // namespace
}  // namespace kelto::e2e

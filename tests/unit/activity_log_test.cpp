#include "intake/activity_log.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace kelto {
namespace {

using testing::FakeSystem;

TEST(ActivityLog, WritesOneTimestampedLineBesideTheExecutable) {
    FakeSystem f;
    f.clock.local = {2026, 12, 7, 7, 11, 51};
    intake::WriteLog(f.system, "Parsed tool: [ipconfig]");
    f.clock.local = {2026, 1, 2, 23, 5, 9};
    intake::WriteLog(f.system, "");
    const auto& content = f.files.entries.at("C:\\Program Files\\Kelto\\KeltoClientHelper.log").second;
    EXPECT_EQ(content, "2026-12-07 07:11:51 Parsed tool: [ipconfig]\r\n2026-01-02 23:05:09 \r\n");
}

TEST(ActivityLog, FallsBackToTheCommandLineProgramPath) {
    FakeSystem f;
    f.process.moduleFileName = "";
    f.process.commandLine = "\"D:\\Tools Dir\\KeltoClientHelper.exe\" \"kelto:ipconfig\"";
    intake::WriteLog(f.system, "x");
    EXPECT_TRUE(f.files.entries.count("D:\\Tools Dir\\KeltoClientHelper.log"));
}

TEST(ActivityLog, TextOutsideTheCodePageBecomesQuestionMarks) {
    FakeSystem f;
    intake::WriteLog(f.system, "Command: [שלום]");
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Command: [????]"});
}

// One call, one line: a command line typed by hand may carry CR, LF or other control
// characters, which must not start a line of their own that reads like the helper's.
TEST(ActivityLog, ControlCharactersOtherThanTabBecomeTheReplacementCharacter) {
    struct Case {
        std::string message;
        std::string logged;
    };
    const Case cases[] = {
        {"Command: [kelto:ipconfig\r\n2026-01-01 00:00:00 Forged]",
         "Command: [kelto:ipconfig??2026-01-01 00:00:00 Forged]"},
        {"a\tb", "a\tb"},
        {std::string("nul\0here", 8), "nul?here"},
        {"\x01\x1f\x7f\x20~", "??? ~"},
        {"\x1b[31mred", "?[31mred"},
    };
    for (const auto& c : cases) {
        FakeSystem f;
        intake::WriteLog(f.system, c.message);
        const auto& content = f.files.entries.at("C:\\Program Files\\Kelto\\KeltoClientHelper.log").second;
        EXPECT_EQ(content.substr(20), c.logged + "\r\n") << c.logged;
    }
}

TEST(ActivityLog, WaitsABoundedMomentForABusyFileAndGivesUpQuietly) {
    FakeSystem f;
    f.files.busyAppends = 5;
    intake::WriteLog(f.system, "kept");
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"kept"});
    EXPECT_EQ(f.files.appendCalls, 6);

    FakeSystem stuck;
    stuck.files.busyAppends = 1000000;
    intake::WriteLog(stuck.system, "lost");
    EXPECT_TRUE(stuck.LogMessages().empty());
    EXPECT_GE(stuck.clock.sleptMs, 900);
    EXPECT_LE(stuck.clock.sleptMs, 1100);
}

// Another program keeps the log open for a long stretch of the run: the run waits two seconds
// in all, not a second a line; once the log can be written again, the first line that reaches it
// says how many were lost.
TEST(ActivityLog, AHeldLogCostsTheRunTwoSecondsAtMostAndTheLossIsNoted) {
    FakeSystem f;
    f.files.busyAppends = 1000000;
    for (int i = 0; i < 10; ++i) intake::WriteLog(f.system, "lost " + std::to_string(i));
    EXPECT_EQ(f.clock.sleptMs, 2000);
    EXPECT_TRUE(f.LogMessages().empty());
    const int callsWhileHeld = f.files.appendCalls;
    intake::WriteLog(f.system, "lost 10");
    EXPECT_EQ(f.files.appendCalls, callsWhileHeld + 1) << "a spent run does not wait again";
    f.files.busyAppends = 0;
    intake::WriteLog(f.system, "kept");
    intake::WriteLog(f.system, "kept too");
    EXPECT_EQ(f.LogMessages(), (std::vector<std::string>{"Log lines lost while another program held the log: 11",
                                                          "kept", "kept too"}));
}

TEST(ActivityLog, AnUnwritableFolderReturnsAtOnce) {
    FakeSystem f;
    f.files.readOnlyFolders.insert("C:\\Program Files\\Kelto");
    intake::WriteLog(f.system, "lost");
    EXPECT_EQ(f.files.appendCalls, 1);
    EXPECT_EQ(f.clock.sleptMs, 0);
    EXPECT_TRUE(f.LogMessages().empty());
}

}  // namespace
}  // namespace kelto

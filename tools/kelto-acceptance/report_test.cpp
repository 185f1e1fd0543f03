#include "report.h"

#include <gtest/gtest.h>

#include "options.h"
#include "zip_store.h"

namespace kelto::acceptance {
namespace {

TEST(AcceptanceReport, TsvFieldsNeverBreakTheirLineOrColumn) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"a\tb", "a\\tb"},
        {"line 1\r\nline 2", "line 1\\r\\nline 2"},
        {"C:\\Windows\\System32\\cmd.exe", "C:\\\\Windows\\\\System32\\\\cmd.exe"},
        {"\\t is not a tab", "\\\\t is not a tab"},
        {std::string("nul\0inside", 10), std::string("nul\0inside", 10)},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeTsvField(c.in), c.out) << c.in;
}

TEST(AcceptanceReport, TsvHasAHeaderAndOneLinePerCheck) {
    const std::vector<Check> checks = {
        {"registration", Status::Pass, "command: \"C:\\K.exe\" \"%1\"", {}},
        {"elevation prompt", Status::NotUnderWine, "Wine starts \"runas\" directly\nwithout a prompt", {}},
        {"working folder", Status::NotHere, "", {}},
        {"taskbar", Status::Fail, "owner\thidden", {}},
        {"screenshot", Status::NeedsPerson, "look", {"box.bmp"}},
    };
    EXPECT_EQ(
        TsvReport(checks),
        "check\tstatus\tevidence\n"
        "registration\tpass\tcommand: \"C:\\\\K.exe\" \"%1\"\n"
        "elevation prompt\tnot checkable under Wine\tWine starts \"runas\" directly\\nwithout a prompt\n"
        "working folder\tnot checkable here\t\n"
        "taskbar\tfail\towner\\thidden\n"
        "screenshot\tneeds a person\tlook\n");
    EXPECT_TRUE(AnyFailed(checks));
    EXPECT_FALSE(AnyFailed({checks[0], checks[1], checks[2], checks[4]}));
}

TEST(AcceptanceReport, HtmlEscapesEveryTextAndNamesThePictures) {
    EXPECT_EQ(EscapeHtml("<b a=\"1\" c='2'>&</b>"), "&lt;b a=&quot;1&quot; c=&#39;2&#39;&gt;&amp;&lt;/b&gt;");
    const std::string page = HtmlReport("Kit <1>", {{"Windows", "10.0 & more"}},
                                        {{"box <x>", Status::Fail, "</pre><script>", {"box-1.bmp"}}});
    EXPECT_NE(page.find("<title>Kit &lt;1&gt;</title>"), std::string::npos);
    EXPECT_NE(page.find("<td>10.0 &amp; more</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>box &lt;x&gt;</td><td>fail</td><td><pre>&lt;/pre&gt;&lt;script&gt;</pre>"),
              std::string::npos);
    EXPECT_NE(page.find("<img src=\"box-1.bmp\""), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
}

TEST(AcceptanceOptions, ReadsTheFlags) {
    const auto parsed = ParseOptions(
        {"--i-have-a-snapshot", "--standard-user", "Dana", "--report-dir=C:\\r", "--with-restart", "--safe-mode"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.options.haveSnapshot);
    EXPECT_TRUE(parsed.options.withRestart);
    EXPECT_TRUE(parsed.options.safeMode);
    EXPECT_EQ(parsed.options.standardUser, "Dana");
    EXPECT_EQ(parsed.options.reportDir, "C:\\r");

    const auto bare = ParseOptions({});
    ASSERT_TRUE(bare.ok);
    EXPECT_FALSE(bare.options.haveSnapshot);
    EXPECT_FALSE(bare.options.withRestart);
    EXPECT_FALSE(bare.options.safeMode);
    EXPECT_EQ(ParseOptions({"--standard-user=Avi"}).options.standardUser, "Avi");
}

TEST(AcceptanceOptions, RefusesWhatItCannotTrust) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--standard-user"}, "--standard-user needs an account name"},
        {{"--standard-user", "--with-restart"}, "--standard-user needs an account name"},
        {{"--standard-user=a", "--standard-user=b"}, "--standard-user given twice"},
        {{"--report-dir="}, "--report-dir needs a folder"},
        {{"--password=hunter2"}, "a password is never taken from the command line: the kit asks for it"},
        {{"--frobnicate=secret"}, "unknown argument: --frobnicate"},
        {{"--i-have-a-snapshot", "extra"}, "unknown argument: extra"},
        {{"--evil\nline=x"}, "unknown argument: --evil?line"},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseOptions(c.args);
        EXPECT_FALSE(parsed.ok) << c.error;
        EXPECT_EQ(parsed.error, c.error);
    }
}

// Each refusal, in the order the kit checks them, and the one case that runs.
TEST(AcceptanceOptions, RefusesAMachineItShouldNotChange) {
    Options snapshot;
    snapshot.haveSnapshot = true;
    const Options none;
    Preconditions ready;
    ready.elevatedAdministrator = true;
    Preconditions missing = ready;
    missing.helperBeside = false;
    Preconditions plain = ready;
    plain.elevatedAdministrator = false;
    Preconditions other = ready;
    other.registeredHandler = "C:\\Other\\Helper.exe";
    Preconditions ours = ready;
    ours.registeredHandler = "C:\\kit\\KeltoClientHelper.exe";
    ours.handlerIsTheHelper = true;
    struct Case {
        const Options& options;
        const Preconditions& found;
        std::string refusal;
    };
    const Case cases[] = {
        {snapshot, missing, "refused: KeltoClientHelper.exe is not beside the kit"},
        {snapshot, plain, "refused: run it from an administrator's console (this one is not elevated)"},
        {none, plain, "refused: run it from an administrator's console (this one is not elevated)"},
        {none, ready,
         "refused: it changes this machine: take a snapshot first, then run it with --i-have-a-snapshot"},
        {snapshot, other,
         "refused: the kelto: handler here is C:\\Other\\Helper.exe, not the helper beside the kit"},
        {snapshot, ours, ""},
        {snapshot, ready, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RefusalOf(c.options, c.found), c.refusal);
}

TEST(AcceptanceZip, Crc32OfTheStandardCheckString) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
}

// The archive byte by byte: local header, data, central directory, end record.
TEST(AcceptanceZip, StoredArchiveOfOneFile) {
    const std::string zip = StoredZip({{"a/b.exe", "hi"}});
    const std::string expected(
        // local header: signature, version 1.0, flags, stored, time, date 2024-01-01
        "PK\x03\x04"
        "\x0a\x00"
        "\x00\x00"
        "\x00\x00"
        "\x00\x00"
        "\x21\x58"
        // CRC-32 of "hi" (0xD8932AAC), sizes 2 and 2, name length 7, no extra field
        "\xac\x2a\x93\xd8"
        "\x02\x00\x00\x00"
        "\x02\x00\x00\x00"
        "\x07\x00"
        "\x00\x00"
        "a/b.exe"
        "hi"
        // central directory: made by 2.0, needs 1.0, flags, stored, time, date
        "PK\x01\x02"
        "\x14\x00"
        "\x0a\x00"
        "\x00\x00"
        "\x00\x00"
        "\x00\x00"
        "\x21\x58"
        "\xac\x2a\x93\xd8"
        "\x02\x00\x00\x00"
        "\x02\x00\x00\x00"
        "\x07\x00"
        // extra, comment, disk, internal and external attributes, offset 0
        "\x00\x00"
        "\x00\x00"
        "\x00\x00"
        "\x00\x00"
        "\x00\x00\x00\x00"
        "\x00\x00\x00\x00"
        "a/b.exe"
        // end record: one entry, directory of 53 bytes at offset 39, no comment
        "PK\x05\x06"
        "\x00\x00"
        "\x00\x00"
        "\x01\x00"
        "\x01\x00"
        "\x35\x00\x00\x00"
        "\x27\x00\x00\x00"
        "\x00\x00",
        114);
    EXPECT_EQ(zip, expected);
}

}  // namespace
}  // namespace kelto::acceptance

#include "actions/composite.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/fakes.h"

namespace kelto {
namespace {

using actions::ActionInfo;
using testing::FakeSystem;

struct CompositeCase {
    std::string name;
    std::function<void(FakeSystem&, ActionInfo&)> build;
    std::vector<std::pair<std::string, std::string>> variables;
    std::vector<std::string> files;
    ActionInfo expected;  // Verb stays as the caller left it
};

void PrintTo(const CompositeCase& c, std::ostream* os) { *os << c.name; }

class CompositeCommands : public ::testing::TestWithParam<CompositeCase> {};

// Each builder overwrites all four texts, whatever the caller had in them, and never the verb.
TEST_P(CompositeCommands, BuildTheWholeCommandLine) {
    const CompositeCase& c = GetParam();
    FakeSystem f;
    for (const auto& [name, value] : c.variables) f.environment.variables[name] = value;
    for (const auto& path : c.files) f.files.AddFile(path);
    ActionInfo info{"old title", "old description", "caller verb", "old file", "old arguments"};
    c.build(f, info);
    EXPECT_EQ(info.Title, c.expected.Title);
    EXPECT_EQ(info.Description, c.expected.Description);
    EXPECT_EQ(info.File, c.expected.File);
    EXPECT_EQ(info.Arguments, c.expected.Arguments);
    EXPECT_EQ(info.launchRefusal, c.expected.launchRefusal);
    EXPECT_EQ(info.Verb, "caller verb");
}

void Ping(FakeSystem&, ActionInfo& info) { actions::BuildConsoleCommand("בדיקת Ping", "ping 8.8.8.8", info); }
void Reinstall(FakeSystem& f, ActionInfo& info) {
    actions::BuildReinstallNetworkCommand(f.environment, f.files, info);
}
void Spooler(FakeSystem& f, ActionInfo& info) { actions::BuildSpoolerResetCommand(f.environment, info); }
void SafeMode(FakeSystem&, ActionInfo& info) { actions::BuildSafeModeCommand(info); }
void NormalBoot(FakeSystem&, ActionInfo& info) { actions::BuildNormalBootCommand(info); }
void FullReset(FakeSystem& f, ActionInfo& info) {
    actions::BuildFullNetworkResetCommand(f.environment, info);
}

const char kReinstallTitle[] = "התקנה מחדש של כרטיסי הרשת";
const char kReinstallDescription[] =
    "מתאמי הרשת הפיזיים יופעלו מחדש ותבוצע סריקת חומרה. מנהל ההתקן לא יימחק.";
const char kReinstallArguments[] =
    R"(-NoProfile -ExecutionPolicy Bypass -Command "Get-NetAdapter -Physical -ErrorAction SilentlyContinue | Restart-NetAdapter -Confirm:$false; pnputil.exe /scan-devices")";
const char kSpoolerTitle[] = "איפוס תור ההדפסה";
const char kSpoolerDescription[] = "עבודות הדפסה ממתינות יימחקו והשירות יופעל מחדש.";
const char kFullResetTitle[] = "איפוס מלא של רכיבי הרשת";
const char kFullResetDescription[] =
    "הגדרות חומת האש יגובו לקובץ זמני, ולאחר מכן יאופסו Firewall, Winsock ו-TCP/IP.";

INSTANTIATE_TEST_SUITE_P(
    Cases, CompositeCommands,
    ::testing::Values(
        CompositeCase{"ConsolePing",
                      Ping,
                      {},
                      {},
                      {"בדיקת Ping", "תופעל הפקודה: ping 8.8.8.8", "", "cmd.exe", "/K ping 8.8.8.8"}},
        CompositeCase{"ReinstallNetworkNativePowerShellUnderBlanks",
                      Reinstall,
                      {{"SystemRoot", R"(C:\Program Files\Win Dir)"}},
                      {R"(C:\Program Files\Win Dir\Sysnative\WindowsPowerShell\v1.0\powershell.exe)",
                       R"(C:\Program Files\Win Dir\System32\WindowsPowerShell\v1.0\powershell.exe)"},
                      {kReinstallTitle, kReinstallDescription, "",
                       R"(C:\Program Files\Win Dir\Sysnative\WindowsPowerShell\v1.0\powershell.exe)",
                       kReinstallArguments}},
        CompositeCase{"ReinstallNetworkSystem32PowerShell",
                      Reinstall,
                      {{"SystemRoot", R"(C:\Windows)"}},
                      {R"(C:\Windows\System32\WindowsPowerShell\v1.0\powershell.exe)"},
                      {kReinstallTitle, kReinstallDescription, "",
                       R"(C:\Windows\System32\WindowsPowerShell\v1.0\powershell.exe)", kReinstallArguments}},
        CompositeCase{"ReinstallNetworkNoRootNoPowerShell",
                      Reinstall,
                      {},
                      {},
                      {kReinstallTitle, kReinstallDescription, "", R"(WindowsPowerShell\v1.0\powershell.exe)",
                       kReinstallArguments}},
        CompositeCase{
            "SpoolerRootWithBlanks",
            Spooler,
            {{"SystemRoot", R"(D:\My Windows)"}},
            {},
            {kSpoolerTitle, kSpoolerDescription, "", "cmd.exe",
             R"(/K net stop spooler & del /Q /F "D:\My Windows\System32\spool\PRINTERS\*.*" & net start spooler)"}},
        // Only SystemRoot counts here: without it the queue path starts at the drive root.
        CompositeCase{
            "SpoolerRootUnset",
            Spooler,
            {{"WinDir", R"(C:\Windows)"}},
            {},
            {kSpoolerTitle, kSpoolerDescription, "", "cmd.exe",
             R"(/K net stop spooler & del /Q /F "\System32\spool\PRINTERS\*.*" & net start spooler)"}},
        // SystemRoot is read from the environment as TEMP is, under the same rule.
        CompositeCase{"SpoolerRootWithAQuote",
                      Spooler,
                      {{"SystemRoot", R"(C:\Windows" & calc & ")"}},
                      {},
                      {kSpoolerTitle, kSpoolerDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"SpoolerRootWithPercentSigns",
                      Spooler,
                      {{"SystemRoot", R"(C:\%COMSPEC%)"}},
                      {},
                      {kSpoolerTitle, kSpoolerDescription, "", "cmd.exe", "", 2}},
        CompositeCase{
            "SafeModeRestartsOnlyAfterTheBootSetting",
            SafeMode,
            {{"SystemRoot", R"(C:\Windows)"}, {"TEMP", R"(C:\Temp)"}},
            {},
            {"אתחול במצב בטוח עם רשת",
             "המחשב יוגדר ל-Safe Mode with Networking ויופעל מחדש. כדי לחזור, הפעל חזרה לאתחול רגיל.", "",
             "cmd.exe",
             R"(/K bcdedit /set {current} safeboot network && shutdown /r /t 15 /c "Kelto Safe Mode with Networking")"}},
        CompositeCase{
            "NormalBootRestartsEitherWay",
            NormalBoot,
            {},
            {},
            {"חזרה לאתחול רגיל", "הגדרת Safe Mode תבוטל והמחשב יופעל מחדש.", "", "cmd.exe",
             R"(/K bcdedit /deletevalue {current} safeboot & shutdown /r /t 15 /c "Kelto Return to Normal Boot")"}},
        CompositeCase{
            "FullResetTempWithBlanks",
            FullReset,
            {{"TEMP", R"(C:\Users\Dana Levi\AppData\Local\Temp)"}},
            {},
            {kFullResetTitle, kFullResetDescription, "", "cmd.exe",
             R"(/K if exist "C:\Users\Dana Levi\AppData\Local\Temp\KeltoFirewallBackup.wfw" del /q "C:\Users\Dana Levi\AppData\Local\Temp\KeltoFirewallBackup.wfw")"
             R"( & netsh advfirewall export "C:\Users\Dana Levi\AppData\Local\Temp\KeltoFirewallBackup.wfw")"
             R"( && netsh advfirewall reset && netsh winsock reset)"
             R"( && netsh int ip reset "C:\Users\Dana Levi\AppData\Local\Temp\Kelto-IP-Reset.log")"
             R"( && ipconfig /flushdns && echo. && echo Restart the computer to finish.)"}},
        CompositeCase{"FullResetTempUnset",
                      FullReset,
                      {{"TMP", R"(C:\Tmp)"}, {"SystemRoot", R"(C:\Windows)"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe",
                       R"(/K if exist "\KeltoFirewallBackup.wfw" del /q "\KeltoFirewallBackup.wfw")"
                       R"( & netsh advfirewall export "\KeltoFirewallBackup.wfw")"
                       R"( && netsh advfirewall reset && netsh winsock reset)"
                       R"( && netsh int ip reset "\Kelto-IP-Reset.log")"
                       R"( && ipconfig /flushdns && echo. && echo Restart the computer to finish.)"}},
        // Inside quotes cmd takes & ^ ( ) < > and any non-ASCII letter literally.
        CompositeCase{"FullResetTempWithShellSignsInsideItsQuotes",
                      FullReset,
                      {{"TEMP", "C:\\Users\\דנה (R&D) ^<x>\\Temp"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe",
                       R"(/K if exist "C:\Users\דנה (R&D) ^<x>\Temp\KeltoFirewallBackup.wfw")"
                       R"( del /q "C:\Users\דנה (R&D) ^<x>\Temp\KeltoFirewallBackup.wfw")"
                       R"( & netsh advfirewall export "C:\Users\דנה (R&D) ^<x>\Temp\KeltoFirewallBackup.wfw")"
                       R"( && netsh advfirewall reset && netsh winsock reset)"
                       R"( && netsh int ip reset "C:\Users\דנה (R&D) ^<x>\Temp\Kelto-IP-Reset.log")"
                       R"( && ipconfig /flushdns && echo. && echo Restart the computer to finish.)"}},
        // A quote would end the quoted path and run what follows; cmd expands %...% even
        // inside quotes; a control character may end or split the line. No command line at
        // all, and the launch fails as for a file not found (code 2).
        CompositeCase{"FullResetTempWithAQuote",
                      FullReset,
                      {{"TEMP", R"(C:\Temp" & calc & ")"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"FullResetTempWithPercentSigns",
                      FullReset,
                      {{"TEMP", R"(C:\%COMSPEC%\Temp)"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"FullResetTempWithALonePercentSign",
                      FullReset,
                      {{"TEMP", R"(C:\100%)"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"FullResetTempWithALineFeed",
                      FullReset,
                      {{"TEMP", "C:\\Temp\ncalc"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"FullResetTempWithACarriageReturn",
                      FullReset,
                      {{"TEMP", "C:\\Temp\r"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"FullResetTempWithATab",
                      FullReset,
                      {{"TEMP", "C:\\Te\tmp"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}},
        CompositeCase{"FullResetTempWithAnEscapeAndDelete",
                      FullReset,
                      {{"TEMP", "C:\\T\x1b\x7f"}},
                      {},
                      {kFullResetTitle, kFullResetDescription, "", "cmd.exe", "", 2}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kelto

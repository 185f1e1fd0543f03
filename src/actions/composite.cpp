#include "actions/composite.h"

#include <string>

#include "base/command_line.h"
#include "intake/system_folders.h"

namespace kelto::actions {

namespace {

constexpr std::string_view kQuote = "\"";

std::string Quoted(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 2);
    result.append(kQuote).append(text).append(kQuote);
    return result;
}

// Every repair but the adapter restart runs in a command window that stays open, so the
// customer and the technician can read what the commands printed.
void FillConsole(std::string_view title, std::string_view description, std::string_view command,
                 ActionInfo& info) {
    info.Title = title;
    info.Description = description;
    info.File = "cmd.exe";
    info.Arguments = std::string("/K ").append(command);
}

// A value from the environment that cannot stand inside the line's quotes gives no command
// line at all: the launch fails as for a file not found.
void RefuseConsole(std::string_view title, std::string_view description, ActionInfo& info) {
    FillConsole(title, description, "", info);
    info.Arguments.clear();
    info.launchRefusal = intake::kFileNotFound;
}

}  // namespace

void BuildConsoleCommand(std::string_view title, std::string_view command, ActionInfo& info) {
    FillConsole(title, std::string("תופעל הפקודה: ").append(command), command, info);
}

void BuildReinstallNetworkCommand(platform::Environment& environment, platform::FileSystem& files,
                                  ActionInfo& info) {
    const std::string script = std::string("Get-NetAdapter -Physical ") + "-ErrorAction SilentlyContinue" +
                               " | Restart-NetAdapter -Confirm:$false" + "; pnputil.exe /scan-devices";
    info.Title = "התקנה מחדש של כרטיסי הרשת";
    info.Description =
        std::string("מתאמי הרשת הפיזיים יופעלו מחדש ") + "ותבוצע סריקת חומרה. " + "מנהל ההתקן לא יימחק.";
    info.File = intake::ResolveSystemFile(environment, files, "WindowsPowerShell\\v1.0\\powershell.exe");
    info.Arguments = "-NoProfile -ExecutionPolicy Bypass -Command " + Quoted(script);
}

void BuildSpoolerResetCommand(platform::Environment& environment, ActionInfo& info) {
    constexpr std::string_view kTitle = "איפוס תור ההדפסה";
    constexpr std::string_view kDescription = "עבודות הדפסה ממתינות יימחקו והשירות יופעל מחדש.";
    const std::string root = environment.Get("SystemRoot");
    // SystemRoot comes from the environment too: the same rule as for TEMP below.
    if (!base::FitsInsideCmdQuotes(root)) {
        RefuseConsole(kTitle, kDescription, info);
        return;
    }
    const std::string queue = Quoted(root + "\\System32\\spool\\PRINTERS\\*.*");
    // Plain "&": the queue is emptied and the spooler started even when stopping it failed.
    const std::string command = "net stop spooler & del /Q /F " + queue + " & net start spooler";
    FillConsole(kTitle, kDescription, command, info);
}

void BuildSafeModeCommand(ActionInfo& info) {
    // "&&": never restart into an unchanged boot configuration.
    const std::string command = "bcdedit /set {current} safeboot network && shutdown /r /t 15 /c " +
                                Quoted("Kelto Safe Mode with Networking");
    FillConsole("אתחול במצב בטוח עם רשת",
                std::string("המחשב יוגדר ל-Safe Mode with Networking ויופעל מחדש. ") +
                    "כדי לחזור, הפעל חזרה לאתחול רגיל.",
                command, info);
}

void BuildNormalBootCommand(ActionInfo& info) {
    // "&": the restart is scheduled even when there was no safe-mode value to delete.
    const std::string command = "bcdedit /deletevalue {current} safeboot & shutdown /r /t 15 /c " +
                                Quoted("Kelto Return to Normal Boot");
    FillConsole("חזרה לאתחול רגיל", "הגדרת Safe Mode תבוטל והמחשב יופעל מחדש.", command, info);
}

void BuildFullNetworkResetCommand(platform::Environment& environment, ActionInfo& info) {
    constexpr std::string_view kTitle = "איפוס מלא של רכיבי הרשת";
    const std::string description =
        std::string("הגדרות חומת האש יגובו לקובץ זמני, ולאחר מכן ") + "יאופסו Firewall, Winsock ו-TCP/IP.";
    const std::string temp = environment.Get("TEMP");
    // The elevated instance may run in the customer's own account, whose programs set TEMP:
    // such a TEMP must never become part of an administrator's command line.
    if (!base::FitsInsideCmdQuotes(temp)) {
        RefuseConsole(kTitle, description, info);
        return;
    }
    const std::string backup = Quoted(temp + "\\KeltoFirewallBackup.wfw");
    const std::string log = Quoted(temp + "\\Kelto-IP-Reset.log");
    // The old backup goes first whatever happens; from the export on, each step runs only when
    // the one before it succeeded, so the firewall is never reset without a fresh backup.
    std::string command = "if exist " + backup + " del /q " + backup;
    command += " & netsh advfirewall export " + backup;
    command += " && netsh advfirewall reset";
    command += " && netsh winsock reset";
    command += " && netsh int ip reset " + log;
    command += " && ipconfig /flushdns";
    command += " && echo.";
    command += " && echo Restart the computer to finish.";
    FillConsole(kTitle, description, command, info);
}

}  // namespace kelto::actions

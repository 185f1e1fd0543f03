#include "actions/catalogue.h"

#include <array>
#include <iterator>
#include <optional>

#include "actions/composite.h"
#include "base/text.h"
#include "intake/account.h"
#include "intake/system_folders.h"

namespace kelto::actions {

namespace {

// How a row fills the record. Everything but Plain reads the system at lookup time.
enum class Fill {
    Plain,             // constants only
    TempFolder,        // `Arguments` = TEMP
    DownloadsFolder,   // `Arguments` = USERPROFILE + "\Downloads"
    SystemProgram,     // `File` = the resolved full path of the row's file name
    Console,           // BuildConsoleCommand with the row's title and command
    ReinstallNetwork,  // the repair builders fill all four texts
    SpoolerReset,
    SafeMode,
    NormalBoot,
    FullNetworkReset,
};

enum class VerbRule { Preset, Runas };
constexpr VerbRule kPreset = VerbRule::Preset;  // the caller's "open" stays
constexpr VerbRule kRunas = VerbRule::Runas;    // the action needs administrator rights

struct Row {
    std::string_view key;
    Fill fill = Fill::Plain;
    bool runas = false;
    std::string_view title;
    std::string_view description;
    std::optional<std::string_view> file;       // none: the row leaves the caller's value
    std::optional<std::string_view> arguments;  // none: the row leaves the caller's value
    std::string_view command;                   // Console rows only
    ActionTraits traits;
};

// The same row with a second confirmation.
constexpr Row Confirmed(Row row, Confirmation confirmation) {
    row.traits.confirmation = confirmation;
    return row;
}

// The same row carried out by the elevated instance itself, without the restore question.
constexpr Row PerformedBy(Row row, Performer performer) {
    row.traits.performer = performer;
    row.traits.asksRestorePoint = false;
    return row;
}

// A row with constant texts; file and arguments only where the row names them.
constexpr Row Entry(std::string_view key, VerbRule verb, std::string_view title, std::string_view description,
                    std::optional<std::string_view> file = std::nullopt,
                    std::optional<std::string_view> arguments = std::nullopt) {
    Row row;
    row.key = key;
    row.runas = verb == VerbRule::Runas;
    row.title = title;
    row.description = description;
    row.file = file;
    row.arguments = arguments;
    return row;
}

// A Windows tool or settings page: none of them asks for administrator rights.
constexpr Row Tool(std::string_view key, std::string_view title, std::string_view description,
                   std::string_view file, std::optional<std::string_view> arguments = std::nullopt) {
    return Entry(key, kPreset, title, description, file, arguments);
}

// A tool whose file or arguments come from the system at lookup time.
constexpr Row Computed(std::string_view key, Fill fill, std::string_view title, std::string_view description,
                       std::string_view file) {
    Row row = Tool(key, title, description, file);
    row.fill = fill;
    return row;
}

constexpr Row Console(std::string_view key, std::string_view title, std::string_view command,
                      VerbRule verb = kPreset) {
    Row row;
    row.key = key;
    row.fill = Fill::Console;
    row.runas = verb == VerbRule::Runas;
    row.title = title;
    row.command = command;
    return row;
}

// The repairs change system settings: always "runas", texts from their builders.
constexpr Row Composite(std::string_view key, Fill fill) {
    Row row;
    row.key = key;
    row.fill = fill;
    row.runas = true;
    return row;
}

constexpr Row kCatalogue[] = {
    // Windows tools and settings pages.
    Tool("cmd", "פתיחת שורת פקודה CMD", "ייפתח חלון פקודה רגיל וגלוי.", "cmd.exe"),
    Tool("control", "פתיחת לוח הבקרה", "ייפתח לוח הבקרה הקלאסי.", "control.exe"),
    Tool("network", "פתיחת חיבורי רשת", "ייפתח חלון מתאמי הרשת.", "control.exe", "ncpa.cpl"),
    Tool("airplanemode", "ביטול מצב טיסה", "ייפתח מסך מצב טיסה. כבה את המתג הראשי.",
         "ms-settings:network-airplanemode"),
    Tool("devices", "פתיחת מנהל ההתקנים", "ייפתח Device Manager.", "mmc.exe", "devmgmt.msc"),
    Tool("services", "פתיחת שירותי Windows", "ייפתח חלון השירותים.", "mmc.exe", "services.msc"),
    Tool("events", "פתיחת מציג האירועים", "ייפתח Event Viewer.", "eventvwr.msc"),
    Tool("taskmgr", "פתיחת מנהל המשימות", "ייפתח Task Manager.", "taskmgr.exe"),
    Tool("computer", "פתיחת ניהול מחשב", "ייפתח Computer Management.", "compmgmt.msc"),
    Tool("diskmgmt", "פתיחת ניהול דיסקים", "ייפתח Disk Management.", "diskmgmt.msc"),
    Tool("programs", "פתיחת תוכניות ותכונות", "תוצג רשימת התוכנות המותקנות.", "control.exe", "appwiz.cpl"),
    // The word "printers" itself is the control panel's name for the printers folder.
    Tool("printers", "פתיחת מדפסות והתקנים", "ייפתח חלון המדפסות.", "control.exe", "printers"),
    Tool("system", "פתיחת מאפייני מערכת", "ייפתח חלון מאפייני המערכת.", "control.exe", "sysdm.cpl"),
    Tool("power", "פתיחת אפשרויות צריכת חשמל", "ייפתח Power Options.", "control.exe", "powercfg.cpl"),
    Tool("firewall", "פתיחת חומת האש", "ייפתח Windows Defender Firewall.", "control.exe",
         "/name Microsoft.WindowsFirewall"),
    Tool("windowsupdate", "פתיחת Windows Update", "ייפתח מסך העדכונים.", "ms-settings:windowsupdate"),
    Tool("security", "פתיחת אבטחת Windows", "ייפתח Windows Security.", "ms-settings:windowsdefender"),
    Computed("temp", Fill::TempFolder, "פתיחת תיקיית קבצים זמניים", "תיפתח תיקיית TEMP.", "explorer.exe"),
    Computed("downloads", Fill::DownloadsFolder, "פתיחת תיקיית הורדות", "תיפתח תיקיית Downloads.",
             "explorer.exe"),
    Tool("msinfo", "פתיחת מידע מערכת", "ייפתח System Information.", "msinfo32.exe"),
    Tool("resmon", "פתיחת צג המשאבים", "ייפתח Resource Monitor.", "resmon.exe"),
    Tool("reliability", "פתיחת צג המהימנות", "ייפתח Reliability Monitor.", "perfmon.exe", "/rel"),
    Tool("cleanmgr", "פתיחת ניקוי דיסק", "ייפתח Disk Cleanup.", "cleanmgr.exe"),
    Tool("dxdiag", "פתיחת כלי האבחון DirectX", "ייפתח dxdiag.", "dxdiag.exe"),
    Tool("sound", "פתיחת הגדרות קול", "ייפתח חלון התקני השמע.", "control.exe", "mmsys.cpl"),
    Tool("internetoptions", "פתיחת אפשרויות אינטרנט", "ייפתח Internet Options.", "control.exe",
         "inetcpl.cpl"),
    Tool("rdpsettings", "פתיחת הגדרות שולחן עבודה מרוחק", "ייפתח מסך Remote Desktop.",
         "ms-settings:remotedesktop"),
    Tool("quickassist", "פתיחת סיוע מהיר", "ייפתח Windows Quick Assist.", "quickassist.exe"),
    // A 32-bit process would otherwise be redirected to a copy that 64-bit Windows lacks.
    Computed("msconfig", Fill::SystemProgram, "פתיחת תצורת המערכת", "ייפתח כלי MSConfig.", "msconfig.exe"),
    Tool("taskschd", "פתיחת מתזמן משימות", "ייפתח Task Scheduler.", "mmc.exe", "taskschd.msc"),
    Tool("perfmon", "פתיחת צג ביצועים", "ייפתח Performance Monitor.", "perfmon.exe"),
    Tool("startupapps", "פתיחת אפליקציות אתחול", "ייפתח מסך Startup Apps.", "ms-settings:startupapps"),
    Tool("troubleshoot", "פתיחת פתרון בעיות", "ייפתח מסך Troubleshoot.", "ms-settings:troubleshoot"),
    Tool("optionalfeatures", "פתיחת תכונות Windows", "ייפתח Windows Features.", "optionalfeatures.exe"),
    Tool("systemprotection", "פתיחת הגנת מערכת", "ייפתח System Protection.",
         "SystemPropertiesProtection.exe"),
    Tool("credentialmanager", "פתיחת מנהל אישורים", "ייפתח Credential Manager.", "control.exe",
         "/name Microsoft.CredentialManager"),
    Tool("firewalladvanced", "פתיחת חומת אש מתקדמת", "ייפתח Windows Firewall המתקדם.", "wf.msc"),
    Tool("recoverysettings", "פתיחת אפשרויות שחזור", "ייפתח מסך Recovery.", "ms-settings:recovery"),

    // Console commands, in a command window that stays open.
    Console("ipconfig", "הצגת הגדרות IP", "ipconfig /all"),
    Console("flushdns", "ניקוי מטמון DNS", "ipconfig /flushdns"),
    Console("ping", "בדיקת Ping", "ping 8.8.8.8"),
    Console("wifistatus", "הצגת מצב Wi-Fi", "netsh wlan show interfaces & netsh wlan show networks"),
    Console("dhcprenew", "חידוש כתובת IP", "ipconfig /release & ipconfig /renew", kRunas),
    Console("proxyreset", "איפוס הגדרות Proxy", "netsh winhttp reset proxy", kRunas),
    Console("netstat", "הצגת חיבורים פעילים", "netstat -ano"),
    Console("route", "הצגת טבלת ניתוב", "route print"),
    Console("arp", "הצגת טבלת ARP", "arp -a"),
    Console("systeminfo", "הצגת מידע מערכת מלא", "systeminfo"),
    Console("driverquery", "הצגת מנהלי התקנים", "driverquery /v"),
    Console("gpresult", "הצגת תוצאת מדיניות", "gpresult /r"),
    Console("nslookup", "בדיקת DNS", "nslookup www.microsoft.com"),
    Console("tracert", "בדיקת מסלול תקשורת", "tracert 8.8.8.8"),
    Console("gpupdate", "עדכון מדיניות", "gpupdate /force"),
    Console("winsockreset", "איפוס Winsock", "netsh winsock reset", kRunas),
    Console("ipreset", "איפוס TCP/IP", "netsh int ip reset", kRunas),
    Console("sfc", "בדיקת קבצי מערכת", "sfc /scannow", kRunas),
    Console("dism", "בדיקת DISM", "DISM /Online /Cleanup-Image /ScanHealth", kRunas),
    Console("chkdsk", "בדיקת דיסק מקוונת", "chkdsk C: /scan", kRunas),

    // Composite repairs.
    Composite("fullnetworkreset", Fill::FullNetworkReset),
    Confirmed(Composite("reinstallnetwork", Fill::ReinstallNetwork), Confirmation::NetworkReinstall),
    Composite("spoolerreset", Fill::SpoolerReset),

    // Restart, boot and special entries. "restorelastkelto" and "virtualiso" carry only the
    // consent texts: the elevated instance carries them out itself.
    Entry("cancelrestart", kPreset, "ביטול אתחול מתוזמן", "תבוטל הפעלה מחדש שטרם החלה.", "shutdown.exe",
          "/a"),
    Confirmed(Entry("restartnormal", kRunas, "אתחול רגיל של המחשב", "המחשב יופעל מחדש בעוד 15 שניות.",
                    "shutdown.exe", "/r /t 15 /c \"Kelto Remote Restart\""),
              Confirmation::Restart),
    Confirmed(Composite("safemodenetwork", Fill::SafeMode), Confirmation::SafeModeRestart),
    Confirmed(Composite("normalboot", Fill::NormalBoot), Confirmation::NormalBootRestart),
    PerformedBy(Entry("restorelastkelto", kPreset, "שחזור לנקודת Kelto האחרונה", "המחשב ישוחזר ויופעל מחדש."),
                Performer::Rollback),
    PerformedBy(Confirmed(Entry("virtualiso", kRunas, "הפעלת ISO ב-QEMU Portable",
                                "QEMU.zip וה-ISO יורדו, יחולצו ויופעלו."),
                          Confirmation::RescueVm),
                Performer::RescueVm),
};

// Keys are the allow-list: lower-case ASCII letters only, each one once.
constexpr bool KeysAreWellFormed() {
    for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
        const std::string_view key = kCatalogue[i].key;
        if (key.empty()) return false;
        for (const char c : key) {
            if (!text::IsAsciiLowerLetter(c)) return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (kCatalogue[j].key == key) return false;
        }
    }
    return true;
}
static_assert(std::size(kCatalogue) == 67);
static_assert(KeysAreWellFormed());

constexpr auto kKeys = [] {
    std::array<std::string_view, std::size(kCatalogue)> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = kCatalogue[i].key;
    return keys;
}();

void FillFromRow(platform::System& system, const Row& row, ActionInfo& info,
                 const intake::CustomerAccount& customer) {
    if (row.runas) info.Verb = "runas";
    switch (row.fill) {
        case Fill::Console:
            BuildConsoleCommand(row.title, row.command, info);
            return;
        case Fill::ReinstallNetwork:
            BuildReinstallNetworkCommand(system.environment, system.files, info);
            return;
        case Fill::SpoolerReset:
            BuildSpoolerResetCommand(system.environment, info);
            return;
        case Fill::SafeMode:
            BuildSafeModeCommand(info);
            return;
        case Fill::NormalBoot:
            BuildNormalBootCommand(info);
            return;
        case Fill::FullNetworkReset:
            BuildFullNetworkResetCommand(system.environment, info);
            return;
        case Fill::Plain:
        case Fill::TempFolder:
        case Fill::DownloadsFolder:
        case Fill::SystemProgram:
            break;
    }
    info.Title = row.title;
    info.Description = row.description;
    if (row.file) info.File = *row.file;
    if (row.arguments) info.Arguments = *row.arguments;
    // An unset variable gives an empty piece; the entry is still found.
    switch (row.fill) {
        case Fill::TempFolder:
            info.Arguments = intake::CustomerTempFolder(system, customer);
            break;
        case Fill::DownloadsFolder:
            info.Arguments = intake::CustomerProfileFolder(system, customer) + "\\Downloads";
            break;
        case Fill::SystemProgram:
            info.File = intake::ResolveSystemFile(system.environment, system.files, std::string(*row.file));
            break;
        default:
            break;
    }
}

}  // namespace

bool GetActionInfo(platform::System& system, std::string_view key, ActionInfo& info,
                   const intake::CustomerAccount& customer) {
    for (const Row& row : kCatalogue) {
        if (row.key == key) {
            FillFromRow(system, row, info, customer);
            return true;
        }
    }
    return false;
}

std::optional<ActionTraits> GetActionTraits(std::string_view key) {
    for (const Row& row : kCatalogue) {
        if (row.key == key) return row.traits;
    }
    return std::nullopt;
}

std::span<const std::string_view> CatalogueKeys() { return kKeys; }

}  // namespace kelto::actions

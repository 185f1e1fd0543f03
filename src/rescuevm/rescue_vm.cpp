#include "rescuevm/rescue_vm.h"

#include "base/command_line.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/protocol_parse.h"
#include "rescuevm/vm_files.h"

namespace kelto::rescuevm {

namespace {

using namespace platform::mb;

constexpr const char* kCrLf = "\r\n";
constexpr const char* kTitle = "Kelto Remote";
constexpr const char* kUnpackFailed = "חילוץ QEMU.zip נכשל.";

void Box(intake::Context& context, const std::string& text, unsigned icon) {
    intake::ShowBox(context, text, kTitle, kOk | icon);
}

void Warn(intake::Context& context, const std::string& text) { Box(context, text, kIconExclamation); }

bool HasServerAddress(const intake::RequestState& request) {
    return intake::IsValidHost(request.ServerHost) && request.ServerPort >= 1 &&
           request.ServerPort <= intake::kMaxPort;
}

struct LocalPaths {
    std::string archive;
    std::string iso;
    std::string unpacked;
};

// The archive and the ISO are downloaded into the run folder and the archive is unpacked
// there: it holds nothing but what this run put there.
LocalPaths LocalPathsIn(const std::string& runFolder) {
    return {runFolder + "\\QEMU.zip", runFolder + "\\Kelto-Rescue.iso", runFolder};
}

std::string QemuFolderBeside(const std::string& programFolder) { return programFolder + "\\QEMU"; }

// Everything after the address check; failures that are not a refusal of their own
// travel out as RescueVmFailure.
void DownloadUnpackAndBoot(intake::Context& context, const std::string& customerSid) {
    const std::string base = ServerBaseUrl(context.request);
    const std::string& sid = context.request.CurrentSessionId;
    const std::string qemuFolder = QemuFolderBeside(base::GetOwnFolder(context.system.process));

    EnsureFolder(context, qemuFolder);
    // The customer's account controls the QEMU folder. Held open from here on, it cannot be
    // swapped for a link; a link standing there already is never followed.
    platform::PathFacts qemuFacts;
    std::unique_ptr<platform::HeldPath> qemuHeld;
    const platform::Outcome opened = context.system.files.OpenNoFollow(qemuFolder, qemuFacts, qemuHeld);
    if (!opened.Ok())
        throw RescueVmFailure("Cannot open folder " + qemuFolder + " (error " + std::to_string(opened.error) +
                              ")");
    if (!qemuFacts.folder || qemuFacts.nameSurrogate) {
        Warn(context, kUnpackFailed);
        return;
    }
    RemoveEarlierRunFolders(context, qemuFolder);
    const std::string customer = customerSid.empty() ? context.system.process.UserSid() : customerSid;
    // Held until the emulator has started, so that what runs is what this run unpacked.
    const std::optional<RunFolder> run = CreateRunFolder(context, qemuFolder, customer);
    if (!run) {
        Warn(context, kUnpackFailed);
        return;
    }
    const LocalPaths paths = LocalPathsIn(run->path);

    // Each step below holds the thread for up to minutes: the main window is on screen as its
    // status display, saying what runs.
    intake::ShowStatusWindow(context, "מוריד את QEMU.zip לתיקיית הממשק...");
    if (!DownloadFile(context, base + "/vm/qemu.zip?sid=" + sid, paths.archive)) {
        Warn(context, std::string("הורדת QEMU.zip נכשלה.") + kCrLf + "ודא שהקובץ QEMU.zip נמצא בתיקיית vm.");
        return;
    }
    intake::ShowStatusWindow(context, "מוריד את קובץ ה-ISO. ההורדה עשויה להימשך...");
    if (!DownloadFile(context, base + "/vm/kelto-rescue.iso?sid=" + sid, paths.iso)) {
        Warn(context,
             std::string("הורדת קובץ ה-ISO נכשלה.") + kCrLf + "ודא שהקובץ Kelto-Rescue.iso נמצא בתיקיית vm.");
        return;
    }
    intake::ShowStatusWindow(context, "מחלץ את QEMU.zip לתיקיית QEMU...");
    if (!ExtractZip(context, paths.archive, paths.unpacked)) {
        Warn(context, kUnpackFailed);
        return;
    }
    const std::string qemu = FindQemuExecutable(context, paths.unpacked);
    if (qemu.empty()) {
        Warn(context, "הקובץ qemu-system-x86_64.exe לא נמצא ב-ZIP.");
        return;
    }

    intake::ShowStatusWindow(context, "מפעיל את קובץ ה-ISO ב-QEMU Portable...");
    // File and folder go to the shell as fields of their own, unquoted even with blanks;
    // only the ISO path inside the arguments needs its quotes. QEMU outlives the helper.
    const int result = context.system.shell.Execute(context.window.Owner(), "open", qemu,
                                                    QemuArguments(paths.iso), GetParentFolder(qemu),
                                                    platform::kShowNormal, platform::ShellFailureBox::Caller);
    if (!platform::ShellSucceeded(result)) {
        Warn(context,
             std::string("QEMU לא הצליחה להפעיל את ה-ISO.") + kCrLf + "קוד שגיאה: " + std::to_string(result));
        return;
    }
    intake::WriteLog(context.system, "Virtual ISO started: " + paths.iso);
    Box(context, "QEMU Portable הופעלה עם קובץ ה-ISO.", kIconInformation);
}

}  // namespace

std::string ServerBaseUrl(const intake::RequestState& request) {
    return std::string(request.ServerUseTls ? "https://" : "http://") + request.ServerHost + ":" +
           std::to_string(request.ServerPort);
}

std::string QemuArguments(const std::string& isoPath) {
    return "-name " + QuoteArgument("Kelto Rescue") + " -machine accel=whpx:tcg" + " -m 3072 -smp 2" +
           " -boot order=d,menu=on" + " -cdrom " + QuoteArgument(isoPath) + " -device qemu-xhci" +
           " -device usb-tablet" + " -nic user,model=e1000 -no-reboot";
}

void LaunchRescueVm(intake::Context& context, const std::string& customerSid) {
    // The address came from a URL that any web page can open: refuse what cannot be a server.
    if (!HasServerAddress(context.request)) {
        Warn(context, "כתובת שרת Kelto אינה תקינה.");
        return;
    }
    try {
        DownloadUnpackAndBoot(context, customerSid);
    } catch (const RescueVmFailure& failure) {
        const std::string description = failure.what();
        intake::WriteLog(context.system, "Virtual ISO failed: " + description);
        Warn(context, std::string("הפעלת המכונה הווירטואלית נכשלה.") + kCrLf + description);
    }
}

}  // namespace kelto::rescuevm

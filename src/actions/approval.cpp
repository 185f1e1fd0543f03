#include "actions/approval.h"

#include "actions/catalogue.h"
#include "actions/elevated_line.h"
#include "base/command_line.h"
#include "base/text.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/session_store.h"
#include "rescuevm/rescue_vm.h"
#include "restore/restore_points.h"
#include "token/token.h"

namespace kelto::actions {

namespace {
using namespace platform::mb;

constexpr const char* kCrLf = "\r\n";

using intake::ShowBox;

// A token typed in an authorized session is not checked; it must still never reach the
// elevated command line with a character that would shift its fields.
bool CanTravelInCommandLine(const std::string& token) {
    return token.find(':') == std::string::npos && token.find('"') == std::string::npos;
}

void RefuseToken(intake::Context& context, const std::string& actionKey) {
    intake::WriteLog(context.system, "Invalid or expired token for tool: " + actionKey);
    ShowBox(context, std::string("קוד הטוקן שגוי או שפג תוקפו.") + kCrLf + "בקש מהנציג ליצור טוקן חדש.",
            "Kelto", kOk | kIconExclamation);
}
}  // namespace

void PromptTokenAndRequest(intake::Context& context, const std::string& actionKey) {
    if (intake::IsSessionAuthorized(context.system, context.request.CurrentSessionId)) {
        RequestAction(context, actionKey, "");
        return;
    }
    const std::string typed = context.system.dialogs.InputBox(
        context.window.Owner(), "הזן קוד טוקן בן 6 ספרות שקיבלת מהנציג.", "אישור פעולה - Kelto");
    if (typed.empty()) return;
    RequestAction(context, actionKey, typed);
}

bool RequestAction(intake::Context& context, const std::string& actionKey, std::string token) {
    auto& system = context.system;
    ActionInfo info;
    info.Verb = "open";
    if (!GetActionInfo(system, actionKey, info)) {
        ShowBox(context, kNotInCatalogueText, "Kelto", kOk | kIconExclamation);
        return false;
    }

    if (!intake::IsSessionAuthorized(system, context.request.CurrentSessionId)) {
        token = text::TrimSpaces(token);
        if (token.empty()) {
            ShowBox(context, "יש להזין תחילה טוקן שקיבלת מהנציג.", "Kelto", kOk | kIconInformation);
            return false;
        }
        if (!token::IsTokenValid(system.clock, token)) {
            RefuseToken(context, actionKey);
            return false;
        }
        intake::AuthorizeSession(system, context.request.CurrentSessionId);
    } else if (!token.empty() && !CanTravelInCommandLine(token)) {
        RefuseToken(context, actionKey);
        return false;
    }

    // The customer reads the consent box (and the restore question) before the elevation
    // prompt can come: time enough to ready its owner and the shell.
    context.window.PrepareSystemPrompt();
    const BoxText consent = ConsentBox(info);
    if (ShowBox(context, consent.text, consent.title, kYesNo | kIconQuestion) != kIdYes) return false;

    const ActionTraits traits = GetActionTraits(actionKey).value_or(ActionTraits{});
    if (!Confirm(context, traits.confirmation)) return false;

    bool createRestorePoint = false;
    if (traits.asksRestorePoint && system.boot.SafeMode()) {
        // Windows makes no restore point in Safe Mode: the question's default answer would
        // only cancel the action, "normalboot" included, and the PC would stay there.
        intake::WriteLog(system, restore::kSkippedInSafeModeLog);
    } else if (traits.asksRestorePoint) {
        const int answer = ShowBox(context, "האם ליצור נקודת שחזור לפני ביצוע הפעולה?", "Kelto - נקודת שחזור",
                                   kYesNoCancel | kIconQuestion | kDefButton1);
        if (answer == kIdCancel) return false;
        createRestorePoint = answer == kIdYes;
    }

    intake::WriteLog(system, "Approved offline tool: " + actionKey);
    const bool started = RelaunchElevated(context, actionKey, token, createRestorePoint);
    if (started) context.request.ActionLaunched = true;
    return started;
}

bool IsBootAction(const std::string& actionKey) {
    switch (GetActionTraits(actionKey).value_or(ActionTraits{}).confirmation) {
        case Confirmation::Restart:
        case Confirmation::SafeModeRestart:
        case Confirmation::NormalBootRestart:
            return true;
        default:
            return false;
    }
}

BoxText ConsentBox(const ActionInfo& info) {
    return {"בקשת פעולה מ-Kelto", std::string("הנציג מבקש לבצע את הפעולה:") + kCrLf + kCrLf + info.Title +
                                      kCrLf + info.Description + kCrLf + kCrLf + "לאשר את הפעולה?"};
}

namespace {
BoxText BootChangeBox(Confirmation confirmation) {
    std::string text;
    if (confirmation == Confirmation::SafeModeRestart) {
        text = std::string("המחשב יופעל מחדש במצב בטוח עם רשת.") + kCrLf +
               "הצ'אט והתמיכה מרחוק עשויים להתנתק." + kCrLf + "לאחר הבדיקה יש להפעיל חזרה לאתחול רגיל." +
               kCrLf + "אם BitLocker פעיל, ודא שמפתח השחזור זמין.";
    } else if (confirmation == Confirmation::NormalBootRestart) {
        text = "הגדרת מצב בטוח תבוטל והמחשב יופעל מחדש.";
    } else {
        text = "המחשב יופעל מחדש בעוד 15 שניות.";
    }
    return {"Kelto Remote - אתחול", text + kCrLf + kCrLf + "האם להמשיך?"};
}

BoxText NetworkReinstallBox() {
    return {"Kelto Remote - כרטיס רשת", std::string("כל מתאמי הרשת הפיזיים יופעלו מחדש.") + kCrLf +
                                            "הצ'אט והתמיכה מרחוק יתנתקו לזמן קצר." + kCrLf +
                                            "חבילת מנהל ההתקן לא תימחק מהמחשב." + kCrLf + kCrLf +
                                            "האם להמשיך?"};
}

BoxText RescueVmBox(const intake::RequestState& request) {
    if (IsRefusal(Confirmation::RescueVm, request)) {
        return {"Kelto Remote", "כתובת שרת Kelto לא התקבלה ולכן ההורדה בוטלה."};
    }
    return {"Kelto Remote - מכונה וירטואלית",
            std::string("הפעולה תוריד את QEMU.zip ואת קובץ ה-ISO.") + kCrLf +
                "ה-ZIP יחולץ לתיקיית QEMU ליד כלי העזר." + kCrLf +
                "QEMU לא תותקן ב-Windows ולא יימחקו קבצים אחרים." + kCrLf +
                // The elevated instance runs what this server sends: name it.
                "שרת ההורדה: " + rescuevm::ServerBaseUrl(request) + kCrLf + kCrLf + "להמשיך בהורדה ובהפעלה?"};
}

// A Yes/No confirmation; true only for Yes.
bool AskYesNo(intake::Context& context, const BoxText& box) {
    return ShowBox(context, box.text, box.title, kYesNo | kIconExclamation) == kIdYes;
}
}  // namespace

bool IsRefusal(Confirmation confirmation, const intake::RequestState& request) {
    return confirmation == Confirmation::RescueVm && (request.ServerHost.empty() || request.ServerPort == 0);
}

std::optional<BoxText> ConfirmationBox(Confirmation confirmation, const intake::RequestState& request) {
    switch (confirmation) {
        case Confirmation::None:
            return std::nullopt;
        case Confirmation::Restart:
        case Confirmation::SafeModeRestart:
        case Confirmation::NormalBootRestart:
            return BootChangeBox(confirmation);
        case Confirmation::NetworkReinstall:
            return NetworkReinstallBox();
        case Confirmation::RescueVm:
            return RescueVmBox(request);
    }
    return std::nullopt;
}

bool ConfirmBootChange(intake::Context& context, Confirmation confirmation) {
    return AskYesNo(context, BootChangeBox(confirmation));
}

bool Confirm(intake::Context& context, Confirmation confirmation) {
    switch (confirmation) {
        case Confirmation::None:
            return true;
        case Confirmation::Restart:
        case Confirmation::SafeModeRestart:
        case Confirmation::NormalBootRestart:
            return ConfirmBootChange(context, confirmation);
        case Confirmation::NetworkReinstall:
            return ConfirmNetworkReinstall(context);
        case Confirmation::RescueVm:
            return ConfirmRescueVm(context);
    }
    return false;
}

bool ConfirmNetworkReinstall(intake::Context& context) { return AskYesNo(context, NetworkReinstallBox()); }

bool ConfirmRescueVm(intake::Context& context) {
    const BoxText box = RescueVmBox(context.request);
    if (IsRefusal(Confirmation::RescueVm, context.request)) {
        ShowBox(context, box.text, box.title, kOk | kIconExclamation);
        return false;
    }
    return AskYesNo(context, box);
}

bool RelaunchElevated(intake::Context& context, const std::string& actionKey, const std::string& token,
                      bool createRestorePoint) {
    auto& system = context.system;
    const std::string commandLine = BuildElevatedCommandLine(actionKey, token, createRestorePoint,
                                                             context.request, system.process.UserSid());
    // Windows brings the elevation prompt to the front only for an owner window in the
    // foreground; for a hidden or background one it waits minimised on the taskbar.
    const platform::WindowHandle owner = context.window.BeginSystemPrompt(kWaitingForElevation);
    const int result = system.shell.Execute(owner, "runas", base::GetOwnExePath(system.process), commandLine,
                                            base::GetOwnFolder(system.process), platform::kShowNormal,
                                            platform::ShellFailureBox::Caller);
    context.window.EndSystemPrompt();
    if (platform::ShellSucceeded(result)) return true;
    ShowBox(context, "הפעולה בוטלה או שאישור UAC לא התקבל.", "Kelto", kOk | kIconExclamation);
    return false;
}

}  // namespace kelto::actions

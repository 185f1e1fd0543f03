#include "actions/elevated.h"

#include "actions/catalogue.h"
#include "actions/elevated_line.h"
#include "intake/account.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/session_store.h"
#include "intake/system_folders.h"
#include "rescuevm/rescue_vm.h"
#include "restore/restore_points.h"
#include "token/token.h"

namespace kelto::actions {

namespace {
using namespace platform::mb;
constexpr const char* kCrLf = "\r\n";

void Warn(intake::Context& context, const std::string& text) {
    intake::ShowBox(context, text, "Kelto", kOk | kIconExclamation);
}

Performer PerformerOf(const std::string& actionKey) {
    return GetActionTraits(actionKey).value_or(ActionTraits{}).performer;
}
}  // namespace

std::string ShellErrorText(std::int32_t code) {
    switch (code) {
        case 2:
            return "הקובץ לא נמצא.";
        case 3:
            return "הנתיב לא נמצא.";
        case 5:
            return "הגישה נדחתה.";
        case 8:
            return "אין מספיק זיכרון.";
        case 26:
            return "הקובץ נמצא בשימוש.";
        case 27:
        case 31:
            return "לא נמצאה תוכנה מתאימה לפתיחה.";
        case 28:
            return "הפעולה חרגה מזמן ההמתנה.";
        case 32:
            return "קובץ מערכת נדרש לא נמצא.";
        default:
            return "Windows לא הצליח לפתוח את הפעולה.";
    }
}

void HandleElevatedRequest(intake::Context& context, const std::string& commandLine) {
    const auto request = ParseElevatedCommandLine(commandLine);
    if (!request) {
        Warn(context, "בקשת ההפעלה המוגבהת אינה תקינה.");
        return;
    }
    ApplyToRequestState(*request, context.request);
    context.request.Customer = intake::ResolveCustomerAccount(context.system, request->accountSid);

    // Both are evaluated: an expired session is cleared even when the token is good.
    const bool tokenValid = token::IsTokenValid(context.system.clock, request->token);
    const bool sessionAuthorized = intake::IsSessionAuthorized(
        context.system, context.request.CurrentSessionId, context.request.Customer);
    if (!tokenValid && !sessionAuthorized) {
        Warn(context, std::string("קוד הטוקן פג לפני אישור UAC.") + kCrLf + "בקש מהנציג ליצור טוקן חדש.");
        return;
    }

    if (PerformerOf(request->actionKey) == Performer::Rollback) {
        intake::ShowStatusWindow(context, "מכין שחזור לנקודת Kelto האחרונה...");
        restore::RollBackToLastPoint(context);
        return;
    }

    if (request->createRestorePoint && context.system.boot.SafeMode()) {
        // Asked for before a restart into Safe Mode, or on a line made by hand: Windows makes no
        // restore point here, and the action goes ahead without one.
        intake::WriteLog(context.system, restore::kSkippedInSafeModeLog);
    } else if (request->createRestorePoint) {
        intake::ShowStatusWindow(context, "יוצר נקודת שחזור לפני הפעולה...");
        if (!restore::CreateActionRestorePoint(context, request->actionKey)) {
            Warn(context, std::string("לא נוצרה נקודת שחזור ולכן הפעולה בוטלה.") + kCrLf +
                              "בדוק שהגנת המערכת פעילה " + "ושיש מקום פנוי בדיסק.");
            return;
        }
        context.window.ShowStatus("נקודת השחזור נוצרה. מפעיל את הפעולה...");
    }

    LaunchAction(context, request->actionKey);
}

void LaunchAction(intake::Context& context, const std::string& actionKey) {
    if (PerformerOf(actionKey) == Performer::RescueVm) {
        // The customer may read what the run unpacks: the account that asked, or this one.
        rescuevm::LaunchRescueVm(context, context.request.Customer.sid);
        return;
    }
    ActionInfo info;
    info.Verb = "open";
    if (!GetActionInfo(context.system, actionKey, info, context.request.Customer)) return;
    // This instance already holds administrator rights.
    if (info.Verb == "runas") info.Verb = "open";

    // The shell gets a full path and the system folder as working folder, so that nothing
    // named like the program (or like a console file in the arguments) beside the helper is
    // ever started in its place; a name found nowhere fails as the shell would fail it.
    // A command line that could not be built safely never reaches the shell.
    int result = info.launchRefusal;
    if (result == 0) {
        const intake::LaunchTarget target = intake::ResolveLaunchTarget(context.system, info.File);
        result = target.found
                     ? context.system.shell.Execute(context.window.ShellOwner(), info.Verb, target.file,
                                                    info.Arguments, target.directory, platform::kShowNormal,
                                                    platform::ShellFailureBox::Caller)
                     : intake::kFileNotFound;
    }
    if (platform::ShellSucceeded(result)) return;

    // Support staff know the catalogue's file, not the path it was resolved to.
    intake::WriteLog(context.system, "Open failed. Tool: " + actionKey +
                                         " Result: " + std::to_string(result) + " File: " + info.File);
    Warn(context, std::string("לא ניתן לפתוח את הפעולה:") + kCrLf + info.Title + kCrLf + kCrLf +
                      ShellErrorText(result) + kCrLf + "קוד שגיאה: " + std::to_string(result) + kCrLf +
                      "נתיב: " + info.File);
}

}  // namespace kelto::actions

#include "actions/elevated.h"

#include "actions/catalogue.h"
#include "actions/elevated_line.h"
#include "app/context.h"
#include "intake/activity_log.h"
#include "intake/session_store.h"
#include "rescuevm/rescue_vm.h"
#include "restore/restore_points.h"
#include "token/token.h"
#include "ui/main_window.h"

namespace kelto::actions {

namespace {
using namespace platform::mb;
constexpr const char* kCrLf = "\r\n";
constexpr int kShowNormal = 1;

void Warn(app::Context& context, const std::string& text) {
    context.system.dialogs.MessageBox(context.mainWindow.Handle(), text, "Kelto", kOk | kIconExclamation);
}

void ShowStatus(app::Context& context, const std::string& text) {
    context.mainWindow.SetControlText(ui::kLblStatus, text);
    context.mainWindow.PumpMessages();
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

void HandleElevatedRequest(app::Context& context, const std::string& commandLine) {
    const auto request = ParseElevatedCommandLine(commandLine);
    if (!request) {
        Warn(context, "בקשת ההפעלה המוגבהת אינה תקינה.");
        return;
    }
    ApplyToRequestState(*request, context.request);

    // Both are evaluated: an expired session is cleared even when the token is good.
    const bool tokenValid = token::IsTokenValid(context.system.clock, request->token);
    const bool sessionAuthorized = intake::IsSessionAuthorized(context.system, context.request.CurrentSessionId);
    if (!tokenValid && !sessionAuthorized) {
        Warn(context, std::string("קוד הטוקן פג לפני אישור UAC.") + kCrLf + "בקש מהנציג ליצור טוקן חדש.");
        return;
    }

    if (request->actionKey == "restorelastkelto") {
        context.mainWindow.Show();
        ShowStatus(context, "מכין שחזור לנקודת Kelto האחרונה...");
        restore::RollBackToLastPoint(context);
        return;
    }

    if (request->createRestorePoint) {
        context.mainWindow.Show();
        ShowStatus(context, "יוצר נקודת שחזור לפני הפעולה...");
        if (!restore::CreateActionRestorePoint(context, request->actionKey)) {
            Warn(context, std::string("לא נוצרה נקודת שחזור ולכן הפעולה בוטלה.") + kCrLf + "בדוק שהגנת המערכת פעילה " +
                              "ושיש מקום פנוי בדיסק.");
            return;
        }
        ShowStatus(context, "נקודת השחזור נוצרה. מפעיל את הפעולה...");
    }

    LaunchAction(context, request->actionKey);
}

void LaunchAction(app::Context& context, const std::string& actionKey) {
    if (actionKey == "virtualiso") {
        rescuevm::LaunchRescueVm(context);
        return;
    }
    ActionInfo info;
    info.Verb = "open";
    if (!GetActionInfo(context.system, actionKey, info)) return;
    // This instance already holds administrator rights.
    if (info.Verb == "runas") info.Verb = "open";

    const int result =
        context.system.shell.Execute(context.mainWindow.Handle(), info.Verb, info.File, info.Arguments, "", kShowNormal);
    if (result > 32) return;

    intake::WriteLog(context.system, "Open failed. Tool: " + actionKey + " Result: " + std::to_string(result) +
                                         " File: " + info.File);
    Warn(context, std::string("לא ניתן לפתוח את הפעולה:") + kCrLf + info.Title + kCrLf + kCrLf + ShellErrorText(result) +
                      kCrLf + "קוד שגיאה: " + std::to_string(result) + kCrLf + "נתיב: " + info.File);
}

}  // namespace kelto::actions

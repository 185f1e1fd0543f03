#include "actions/approval.h"

#include "actions/catalogue.h"
#include "actions/elevated_line.h"
#include "app/context.h"
#include "intake/activity_log.h"
#include "intake/session_store.h"
#include "intake/system_folders.h"
#include "intake/text.h"
#include "token/token.h"

namespace kelto::actions {

namespace {
using namespace platform::mb;

constexpr const char* kCrLf = "\r\n";
constexpr int kShowNormal = 1;

int Box(app::Context& context, const std::string& text, const std::string& title, unsigned flags) {
    return context.system.dialogs.MessageBox(context.mainWindow.Handle(), text, title, flags);
}

bool AskYesNo(app::Context& context, const std::string& text, const std::string& title) {
    return Box(context, text, title, kYesNo | kIconExclamation) == kIdYes;
}

// A token typed in an authorized session is not checked; it must still never reach the
// elevated command line with a character that would shift its fields.
bool CanTravelInCommandLine(const std::string& token) {
    return token.find(':') == std::string::npos && token.find('"') == std::string::npos;
}

void RefuseToken(app::Context& context, const std::string& actionKey) {
    intake::WriteLog(context.system, "Invalid or expired token for tool: " + actionKey);
    Box(context, std::string("קוד הטוקן שגוי או שפג תוקפו.") + kCrLf + "בקש מהנציג ליצור טוקן חדש.", "Kelto",
        kOk | kIconExclamation);
}
}  // namespace

void PromptTokenAndRequest(app::Context& context, const std::string& actionKey) {
    if (intake::IsSessionAuthorized(context.system, context.request.CurrentSessionId)) {
        RequestAction(context, actionKey, "");
        return;
    }
    const std::string typed = context.system.dialogs.InputBox(
        context.mainWindow.Handle(), "הזן קוד טוקן בן 6 ספרות שקיבלת מהנציג.", "אישור פעולה - Kelto");
    if (typed.empty()) return;
    RequestAction(context, actionKey, typed);
}

bool RequestAction(app::Context& context, const std::string& actionKey, std::string token) {
    auto& system = context.system;
    ActionInfo info;
    info.Verb = "open";
    if (!GetActionInfo(system, actionKey, info)) {
        Box(context, "הפעולה אינה נמצאת ברשימת הפעולות המאושרות.", "Kelto", kOk | kIconExclamation);
        return false;
    }

    if (!intake::IsSessionAuthorized(system, context.request.CurrentSessionId)) {
        token = text::TrimSpaces(token);
        if (token.empty()) {
            Box(context, "יש להזין תחילה טוקן שקיבלת מהנציג.", "Kelto", kOk | kIconInformation);
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

    const std::string consent = std::string("הנציג מבקש לבצע את הפעולה:") + kCrLf + kCrLf + info.Title + kCrLf +
                                info.Description + kCrLf + kCrLf + "לאשר את הפעולה?";
    if (Box(context, consent, "בקשת פעולה מ-Kelto", kYesNo | kIconQuestion) != kIdYes) return false;

    if (IsBootAction(actionKey) && !ConfirmBootChange(context, actionKey)) return false;
    if (actionKey == "reinstallnetwork" && !ConfirmNetworkReinstall(context)) return false;
    if (actionKey == "virtualiso" && !ConfirmRescueVm(context)) return false;

    bool createRestorePoint = false;
    if (actionKey != "restorelastkelto" && actionKey != "virtualiso") {
        const int answer = Box(context, "האם ליצור נקודת שחזור לפני ביצוע הפעולה?", "Kelto - נקודת שחזור",
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
    return actionKey == "restartnormal" || actionKey == "safemodenetwork" || actionKey == "normalboot";
}

bool ConfirmBootChange(app::Context& context, const std::string& actionKey) {
    std::string text;
    if (actionKey == "safemodenetwork") {
        text = std::string("המחשב יופעל מחדש במצב בטוח עם רשת.") + kCrLf + "הצ'אט והתמיכה מרחוק עשויים להתנתק." + kCrLf +
               "לאחר הבדיקה יש להפעיל חזרה לאתחול רגיל." + kCrLf + "אם BitLocker פעיל, ודא שמפתח השחזור זמין.";
    } else if (actionKey == "normalboot") {
        text = "הגדרת מצב בטוח תבוטל והמחשב יופעל מחדש.";
    } else {
        text = "המחשב יופעל מחדש בעוד 15 שניות.";
    }
    return AskYesNo(context, text + kCrLf + kCrLf + "האם להמשיך?", "Kelto Remote - אתחול");
}

bool ConfirmNetworkReinstall(app::Context& context) {
    const std::string text = std::string("כל מתאמי הרשת הפיזיים יופעלו מחדש.") + kCrLf +
                             "הצ'אט והתמיכה מרחוק יתנתקו לזמן קצר." + kCrLf + "חבילת מנהל ההתקן לא תימחק מהמחשב." +
                             kCrLf + kCrLf + "האם להמשיך?";
    return AskYesNo(context, text, "Kelto Remote - כרטיס רשת");
}

bool ConfirmRescueVm(app::Context& context) {
    if (context.request.ServerHost.empty() || context.request.ServerPort == 0) {
        Box(context, "כתובת שרת Kelto לא התקבלה ולכן ההורדה בוטלה.", "Kelto Remote", kOk | kIconExclamation);
        return false;
    }
    const std::string text = std::string("הפעולה תוריד את QEMU.zip ואת קובץ ה-ISO.") + kCrLf +
                             "ה-ZIP יחולץ לתיקיית QEMU ליד כלי העזר." + kCrLf +
                             "QEMU לא תותקן ב-Windows ולא יימחקו קבצים אחרים." + kCrLf + kCrLf +
                             "להמשיך בהורדה ובהפעלה?";
    return AskYesNo(context, text, "Kelto Remote - מכונה וירטואלית");
}

bool RelaunchElevated(app::Context& context, const std::string& actionKey, const std::string& token,
                      bool createRestorePoint) {
    auto& system = context.system;
    const std::string commandLine = BuildElevatedCommandLine(actionKey, token, createRestorePoint, context.request);
    const int result = system.shell.Execute(context.mainWindow.Handle(), "runas", intake::GetOwnExePath(system.process),
                                            commandLine, intake::GetOwnFolder(system.process), kShowNormal);
    if (result > 32) return true;
    Box(context, "הפעולה בוטלה או שאישור UAC לא התקבל.", "Kelto", kOk | kIconExclamation);
    return false;
}

}  // namespace kelto::actions

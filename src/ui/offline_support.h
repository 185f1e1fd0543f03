// frmOfflineSupport: local diagnostics and repairs for a customer without internet, guided by
// the technician on the phone. Every action button travels the approval road of a protocol
// request; a visible activity list mirrors what was done into the activity log.
#pragma once

#include <array>
#include <string>

#include "intake/context.h"
#include "platform/system.h"
#include "ui/colour.h"
#include "ui/form_view.h"

namespace kelto::ui {

enum OfflineControl : int {
    kOffLblConnection = 2001,
    kOffFraToken,
    kOffTxtToken,
    kOffLblTokenStatus,
    kOffFraDiagnostics,
    kOffCmdIpInfo,
    kOffCmdPing,
    kOffCmdAdapters,
    kOffCmdWifi,
    kOffFraRepair,
    kOffCmdFlushDns,
    kOffCmdDhcpRenew,
    kOffCmdProxyReset,
    kOffCmdWinsock,
    kOffCmdIpReset,
    kOffCmdFullReset,
    kOffFraLog,
    kOffLstActivity,
    kOffCmdCheckInternet,
    kOffCmdClose,
    kOffCmdNormalBoot,
    kOffLblTokenTitle,
    kOffLblHeader,
    kOffLblHeaderSub,
    kOffCmdCancelRestart,
    kOffCmdAirplaneMode,
    kOffCmdReinstallNetwork,
};

inline constexpr const char* kOfflineCaption = "Kelto Remote - טיפול ללא אינטרנט";
inline constexpr int kOfflineClientWidthTwips = 10504;
inline constexpr int kOfflineClientHeightTwips = 8281;
inline constexpr const char* kOfflineFontFace = "Arial";
inline constexpr int kOfflineFontCentiPoints = 1000;
inline constexpr int kTokenMaxLength = 6;

inline constexpr Rgb kOfflineWindowBackground{255, 255, 255};
inline constexpr Rgb kHeaderBlue{0x0A, 0x47, 0xA8};
inline constexpr Rgb kSubtitleBrown{0x85, 0x71, 0x60};
inline constexpr Rgb kOfflineNoticeBack{0xFF, 0xF6, 0xF0};
inline constexpr Rgb kAcceptedBlue{0x00, 0x50, 0x80};
inline constexpr Rgb kPromptGrey{0x60, 0x60, 0x60};
inline constexpr Rgb kRefusedRed{0xC0, 0x40, 0x40};
inline constexpr Rgb kOnlineBack{0xF1, 0xF8, 0xEA};

inline constexpr const char* kTokenPrompt = "הזן טוקן בן 6 ספרות שקיבלת מהנציג בטלפון.";
inline constexpr const char* kTokenAlreadyAuthorized = "הטוקן כבר אושר לשיחת התמיכה הנוכחית.";
inline constexpr const char* kTokenReady = "הטוקן תקין ומוכן להפעלת פעולה.";
inline constexpr const char* kTokenNotValid = "הטוקן עדיין אינו תקין או שפג תוקפו.";

inline constexpr const char* kConnectionOffline =
    "מצב ללא אינטרנט - אפשר לבצע פעולות מקומיות בהנחיית הנציג בטלפון";
inline constexpr const char* kConnectionChecking = "בודק חיבור לאינטרנט...";
inline constexpr const char* kConnectionBack = "האינטרנט חזר. אפשר לחזור לאתר ולהמשיך בצ'אט.";
inline constexpr const char* kConnectionStillOffline = "עדיין אין גישה לאינטרנט. המשך לפי הנחיית הנציג.";

inline constexpr const char* kActivityOpened = "מצב טיפול ללא אינטרנט נפתח.";
inline constexpr const char* kActivityCheckSucceeded = "בדיקת חיבור הצליחה. האינטרנט חזר.";
inline constexpr const char* kActivityCheckFailed = "בדיקת חיבור נכשלה.";
inline constexpr const char* kActivitySent = "הפעולה נשלחה: ";
inline constexpr const char* kActivityNotSent = "הפעולה לא הופעלה: ";

// The window as designed, in tab order (labels and frames included).
inline constexpr std::array<ControlSpec, 27> kOfflineLayout = {{
    ControlSpec{kOffLblConnection, "lblConnection", ControlKind::Label, 240, 1050, 10020, 480, 0,
                kConnectionOffline}
        .Centred()
        .Text(kHeaderBlue)
        .Back(kOfflineNoticeBack),
    ControlSpec{kOffFraToken, "fraToken", ControlKind::Frame, 240, 1650, 10020, 990, 1, "אישור הנציג"},
    ControlSpec{kOffTxtToken, "txtToken", ControlKind::TextBox, 6600, 390, 1680, 390, 2, ""}
        .In(kOffFraToken)
        .Centred(),
    ControlSpec{kOffLblTokenStatus, "lblTokenStatus", ControlKind::Label, 300, 420, 6120, 360, 3,
                kTokenPrompt}
        .In(kOffFraToken),
    ControlSpec{kOffFraDiagnostics, "fraDiagnostics", ControlKind::Frame, 5280, 2760, 4980, 3360, 4,
                "בדיקות ופתיחת כלים"},
    ControlSpec{kOffCmdIpInfo, "cmdIpInfo", ControlKind::Button, 2580, 600, 2220, 570, 5, "הצג פרטי IP"}.In(
        kOffFraDiagnostics),
    ControlSpec{kOffCmdPing, "cmdPing", ControlKind::Button, 180, 600, 2220, 570, 6, "בדיקת Ping"}.In(
        kOffFraDiagnostics),
    ControlSpec{kOffCmdAdapters, "cmdAdapters", ControlKind::Button, 2580, 1260, 2220, 570, 7,
                "פתח מתאמי רשת"}
        .In(kOffFraDiagnostics),
    ControlSpec{kOffCmdWifi, "cmdWifi", ControlKind::Button, 180, 1260, 2220, 570, 8, "הצג מצב Wi-Fi"}.In(
        kOffFraDiagnostics),
    ControlSpec{kOffFraRepair, "fraRepair", ControlKind::Frame, 240, 2760, 4980, 3360, 9, "פעולות תיקון"},
    ControlSpec{kOffCmdFlushDns, "cmdFlushDns", ControlKind::Button, 3240, 600, 1560, 570, 10, "ניקוי DNS"}
        .In(kOffFraRepair),
    ControlSpec{kOffCmdDhcpRenew, "cmdDhcpRenew", ControlKind::Button, 1710, 600, 1440, 570, 11,
                "חידוש כתובת IP"}
        .In(kOffFraRepair),
    ControlSpec{kOffCmdProxyReset, "cmdProxyReset", ControlKind::Button, 180, 600, 1440, 570, 12,
                "איפוס Proxy"}
        .In(kOffFraRepair),
    ControlSpec{kOffCmdWinsock, "cmdWinsock", ControlKind::Button, 2580, 1260, 2220, 570, 13, "איפוס Winsock"}
        .In(kOffFraRepair),
    ControlSpec{kOffCmdIpReset, "cmdIpReset", ControlKind::Button, 180, 1260, 2220, 570, 14, "איפוס TCP/IP"}
        .In(kOffFraRepair),
    ControlSpec{kOffCmdFullReset, "cmdFullReset", ControlKind::Button, 180, 1920, 4620, 570, 15,
                "איפוס מלא: FW + Winsock + IP"}
        .In(kOffFraRepair),
    ControlSpec{kOffFraLog, "fraLog", ControlKind::Frame, 240, 6240, 10020, 1170, 16, "יומן טיפול מקומי"},
    ControlSpec{kOffLstActivity, "lstActivity", ControlKind::ListBox, 180, 360, 9660, 494, 17, ""}.In(
        kOffFraLog),
    ControlSpec{kOffCmdCheckInternet, "cmdCheckInternet", ControlKind::Button, 1800, 7560, 2460, 510, 18,
                "בדוק אם האינטרנט חזר"},
    ControlSpec{kOffCmdClose, "cmdClose", ControlKind::Button, 240, 7560, 1440, 510, 19, "סגור"},
    ControlSpec{kOffCmdNormalBoot, "cmdNormalBoot", ControlKind::Button, 2580, 1920, 2220, 570, 20,
                "חזרה לאתחול רגיל"}
        .In(kOffFraDiagnostics),
    ControlSpec{kOffLblTokenTitle, "lblTokenTitle", ControlKind::Label, 8400, 450, 1200, 300, 21, "קוד טוקן:"}
        .In(kOffFraToken),
    ControlSpec{kOffLblHeader, "lblHeader", ControlKind::Label, 240, 120, 10020, 510, 22, "אין לי אינטרנט"}
        .Font(2000, true)
        .Text(kHeaderBlue),
    ControlSpec{kOffLblHeaderSub, "lblHeaderSub", ControlKind::Label, 240, 600, 10020, 300, 23,
                "אבחון ותיקון רשת גם כאשר האתר והצ'אט אינם זמינים"}
        .Text(kSubtitleBrown),
    ControlSpec{kOffCmdCancelRestart, "cmdCancelRestart", ControlKind::Button, 180, 1920, 2220, 570, 24,
                "בטל אתחול מתוזמן"}
        .In(kOffFraDiagnostics),
    ControlSpec{kOffCmdAirplaneMode, "cmdAirplaneMode", ControlKind::Button, 180, 2580, 4620, 570, 25,
                "בטל מצב טיסה"}
        .In(kOffFraDiagnostics),
    ControlSpec{kOffCmdReinstallNetwork, "cmdReinstallNetwork", ControlKind::Button, 180, 2580, 4620, 570, 26,
                "התקן כרטיס רשת מחדש"}
        .In(kOffFraRepair),
}};

// One action button: the catalogue key it runs and the text the activity list shows for it
// (not always the button's caption).
struct OfflineAction {
    int control;
    const char* actionKey;
    const char* activityText;
};

inline constexpr std::array<OfflineAction, 14> kOfflineActions = {{
    {kOffCmdIpInfo, "ipconfig", "הצגת פרטי IP"},
    {kOffCmdPing, "ping", "בדיקת Ping"},
    {kOffCmdAdapters, "network", "פתיחת מתאמי רשת"},
    {kOffCmdWifi, "wifistatus", "הצגת מצב Wi-Fi"},
    {kOffCmdFlushDns, "flushdns", "ניקוי DNS"},
    {kOffCmdDhcpRenew, "dhcprenew", "חידוש כתובת IP"},
    {kOffCmdProxyReset, "proxyreset", "איפוס Proxy"},
    {kOffCmdWinsock, "winsockreset", "איפוס Winsock"},
    {kOffCmdIpReset, "ipreset", "איפוס TCP/IP"},
    {kOffCmdFullReset, "fullnetworkreset", "איפוס Firewall, Winsock ו-TCP/IP"},
    {kOffCmdNormalBoot, "normalboot", "חזרה לאתחול רגיל"},
    {kOffCmdCancelRestart, "cancelrestart", "ביטול אתחול מתוזמן"},
    {kOffCmdAirplaneMode, "airplanemode", "פתיחת ביטול מצב טיסה"},
    {kOffCmdReinstallNetwork, "reinstallnetwork", "רענון והתקנה מחדש של מתאמי הרשת"},
}};

// The window as its handlers drive it.
class OfflineSupportView : public FormView {
public:
    virtual void SetControlTextColour(int controlId, Rgb colour) = 0;
    virtual void SetControlBackground(int controlId, Rgb colour) = 0;
    // Appends a line at the end of the activity list and scrolls it into view.
    virtual void AppendActivityLine(const std::string& line) = 0;
    // Tells a screen reader that the connection notice now says something new, so that it
    // reads it out though the focus is elsewhere.
    virtual void AnnounceConnection() = 0;
};

struct TokenStatus {
    const char* text;
    Rgb colour;
    friend bool operator==(const TokenStatus&, const TokenStatus&) = default;
};

// "hh:nn:ss - " + text, the local time on a 24-hour clock.
std::string ActivityLine(const platform::DateTime& localTime, const std::string& text);

void ApplyWindowStyle(OfflineSupportView& view);
// One line in the list, and "Offline: " + text in the activity log.
void AddActivity(platform::System& system, OfflineSupportView& view, const std::string& text);
// What lblTokenStatus shows for the token box's text: the first case that applies.
TokenStatus TokenStatusFor(intake::Context& context, const std::string& typed);

void OnOfflineSupportLoad(intake::Context& context, OfflineSupportView& view);
void OnTokenChanged(intake::Context& context, OfflineSupportView& view);
// Runs one catalogue action through the approval flow with the typed token; true when it
// was sent for launching (the window then closes).
bool RunOfflineAction(intake::Context& context, OfflineSupportView& view, const std::string& actionKey,
                      const std::string& activityText);
// A click on one of the window's buttons (an action button, the internet check or close).
void OnOfflineButtonClicked(intake::Context& context, OfflineSupportView& view, int controlId);
void OnCheckInternetClicked(intake::Context& context, OfflineSupportView& view);

}  // namespace kelto::ui

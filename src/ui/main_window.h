// frmClientHelper: the start-up window. Shown only when the helper starts without
// arguments; the argument roads use it, hidden, as the owner of their boxes (the Windows view
// makes it when a road first needs it).
#pragma once

#include <array>
#include <string>

#include "intake/context.h"
#include "kelto/version.h"
#include "platform/system.h"
#include "ui/colour.h"

namespace kelto::ui {

enum MainControl : int {
    kLblInfo = 1001,
    kLblStatus = 1002,
    kCmdInstall = 1003,
    kCmdRemove = 1004,
    kCmdClose = 1005,
    kCmdOffline = 1006,
};

inline constexpr const char* kMainCaption = "Kelto Remote - כלי תמיכה ללקוח - גרסה " KELTO_VERSION_TEXT;
inline constexpr int kMainClientWidthTwips = 6552;
inline constexpr int kMainClientHeightTwips = 4381;
inline constexpr const char* kMainFontFace = "Arial";
// 9.82 points, in hundredths.
inline constexpr int kMainFontCentiPoints = 982;

inline constexpr std::array<ControlSpec, 6> kMainLayout = {{
    {kLblInfo,
     "lblInfo",
     ControlKind::Label,
     360,
     720,
     5820,
     1320,
     0,
     "כלי העזר פותח פעולות מערכת באישור שלך. כל פעולה תוצג לפני הפעלתה, ורק פעולות שאושרו מראש ניתנות "
     "להפעלה.",
     false,
     {}},
    {kLblStatus,
     "lblStatus",
     ControlKind::Label,
     240,
     2400,
     6060,
     480,
     1,
     "בודק מצב התקנה...",
     true,
     {255, 255, 255}},
    {kCmdInstall,
     "cmdInstall",
     ControlKind::ColouredButton,
     3720,
     3720,
     2580,
     480,
     2,
     "הפעל פעולות Kelto",
     true,
     {7, 104, 232}},
    {kCmdRemove, "cmdRemove", ControlKind::Button, 1740, 3720, 1860, 480, 3, "הסר את כלי העזר", false, {}},
    {kCmdClose, "cmdClose", ControlKind::Button, 240, 3720, 1380, 480, 4, "סגור", false, {}},
    {kCmdOffline,
     "cmdOffline",
     ControlKind::ColouredButton,
     240,
     3060,
     6060,
     480,
     5,
     "אין לי אינטרנט - פתח טיפול ללא חיבור",
     true,
     {255, 255, 255}},
}};

inline constexpr Rgb kWindowBackground{255, 255, 255};
inline constexpr Rgb kStatusBackground{254, 250, 248};
inline constexpr Rgb kInfoText{16, 51, 97};
inline constexpr Rgb kStatusActiveText{0, 80, 160};
inline constexpr Rgb kStatusInactiveText{192, 64, 64};

inline constexpr const char* kStatusActive = "כלי העזר פעיל ומוכן לקבל פעולות.";
inline constexpr const char* kStatusInactive = "כלי העזר עדיין אינו פעיל.";

// The real window as its own handlers drive it; the request roads see only the
// HostWindow part of it.
class MainWindowView : public intake::HostWindow {
public:
    virtual void SetWindowBackground(Rgb colour) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual void SetControlTextColour(int controlId, Rgb colour) = 0;
    virtual void SetControlBackground(int controlId, Rgb colour) = 0;
    // Shows the Ethernet cable guide modally, owned by this window (or by none).
    virtual void ShowEthernetGuide(bool owned) = 0;
};

void ApplyWindowStyle(MainWindowView& view);
void RefreshInstallStatus(platform::Registry& registry, MainWindowView& view);
bool IsProtocolHandlerInstalled(platform::Registry& registry);
bool InstallProtocolHandler(platform::Registry& registry, const std::string& exePath);
void RemoveProtocolHandler(platform::Registry& registry);

void OnInstallClicked(intake::Context& context, MainWindowView& view);
void OnRemoveClicked(intake::Context& context, MainWindowView& view);
void OnCloseClicked(MainWindowView& view);
void OnOfflineClicked(intake::Context& context, MainWindowView& view);

}  // namespace kelto::ui

// frmEthernetGuide: the first window of offline support. Asks the customer to try a network
// cable, shows how with a picture, tests whether the internet came back, and leads on to the
// offline support window when it did not.
#pragma once

#include <array>
#include <string>

#include "intake/context.h"
#include "platform/system.h"
#include "ui/colour.h"
#include "ui/form_view.h"
#include "ui/offline_support.h"

namespace kelto::ui {

enum GuideControl : int {
    kGuideLblTitle = 3001,
    kGuideLblSubtitle,
    kGuideLblTryFirst,
    kGuideLblStep1,
    kGuideLblStep2,
    kGuideCmdCableConnected,
    kGuideCmdContinue,
    kGuideCmdClose,
    kGuideImgGuide,
};

inline constexpr const char* kGuideCaption = "Kelto Remote - ניסיון חיבור באמצעות כבל רשת";
inline constexpr int kGuideClientWidthTwips = 10504;
inline constexpr int kGuideClientHeightTwips = 8281;
inline constexpr const char* kGuideFontFace = "Arial";
inline constexpr int kGuideFontCentiPoints = 1000;
// The picture: bitmap resource 101 of the executable, 900 by 494 pixels, 24 bits per pixel.
inline constexpr int kGuidePictureResource = 101;

inline constexpr Rgb kGuideWindowBackground{255, 255, 255};
inline constexpr Rgb kStepBrown{0x74, 0x53, 0x42};
inline constexpr Rgb kCableButtonBlue{0x07, 0x68, 0xE8};

inline constexpr const char* kTryFirst = "לפני שמבצעים איפוס, נסה לחבר כבל רשת ישירות למחשב.";
inline constexpr const char* kPictureMissingSuffix = " פעל לפי שני השלבים המוצגים למעלה.";
inline constexpr const char* kCableConnected = "חיברתי כבל - בדוק חיבור";
inline constexpr const char* kCableChecking = "בודק חיבור לאינטרנט...";
inline constexpr const char* kCableCheckAgain = "חיברתי כבל - בדוק שוב";

inline constexpr const char* kGuideBoxTitle = "Kelto Remote";
inline constexpr const char* kInternetBackText =
    "החיבור לאינטרנט חזר בהצלחה.\r\nאפשר לחזור לאתר ולהמשיך את הטיפול.";
inline constexpr const char* kStillOfflineQuestion =
    "עדיין אין גישה לאינטרנט.\r\nלעבור לפעולות התיקון הנוספות?";

inline constexpr const char* kLogGuideOpened = "Offline Ethernet cable guide opened.";
inline constexpr const char* kLogInternetRestored = "Internet restored after Ethernet cable guide.";
inline constexpr const char* kLogStillOffline = "Ethernet cable connected but internet still offline.";

// The window as designed, in tab order; the picture takes no focus and comes last.
inline constexpr std::array<ControlSpec, 9> kGuideLayout = {{
    ControlSpec{kGuideLblTitle, "lblTitle", ControlKind::Label, 240, 60, 10020, 420, 0,
                "נסה להתחבר באמצעות כבל רשת"}
        .Font(1800, true)
        .Text(kHeaderBlue),
    ControlSpec{kGuideLblSubtitle, "lblSubtitle", ControlKind::Label, 240, 480, 10020, 300, 1,
                "פעולה פשוטה זו עשויה להחזיר את החיבור ללא שינוי הגדרות במחשב."}
        .Text(kSubtitleBrown),
    ControlSpec{kGuideLblTryFirst, "lblTryFirst", ControlKind::Label, 240, 780, 10020, 480, 2, kTryFirst}
        .Text(kHeaderBlue)
        .Back(kOfflineNoticeBack),
    ControlSpec{kGuideLblStep1, "lblStep1", ControlKind::Label, 360, 1410, 9780, 360, 3,
                "1. חבר קצה אחד של כבל הרשת לשקע ה-LAN במחשב עד שנשמעת נקישה."}
        .Text(kStepBrown),
    ControlSpec{kGuideLblStep2, "lblStep2", ControlKind::Label, 360, 1830, 9780, 360, 4,
                "2. חבר את הקצה השני לשקע הרשת בקיר או לנתב. המתן כ-20 שניות."}
        .Text(kStepBrown),
    ControlSpec{kGuideCmdCableConnected, "cmdCableConnected", ControlKind::ColouredButton, 4920, 7560, 5340,
                510, 5, kCableConnected}
        .Back(kCableButtonBlue),
    ControlSpec{kGuideCmdContinue, "cmdContinue", ControlKind::Button, 1740, 7560, 3000, 510, 6,
                "לא עזר - המשך לפעולות תיקון"},
    ControlSpec{kGuideCmdClose, "cmdClose", ControlKind::Button, 240, 7560, 1320, 510, 7, "סגור"},
    ControlSpec{kGuideImgGuide, "imgGuide", ControlKind::Picture, 750, 2310, 9000, 4920, -1, ""},
}};

class EthernetGuideView : public FormView {
public:
    // Loads the picture into imgGuide; false when it could not be loaded.
    virtual bool LoadPicture() = 0;
    virtual void Hide() = 0;
    // Shows the offline support window modally, owned by the main window; returns when it
    // has closed.
    virtual void ShowOfflineSupport() = 0;
};

void ApplyWindowStyle(EthernetGuideView& view);
void OnEthernetGuideLoad(intake::Context& context, EthernetGuideView& view);
void OnCableConnectedClicked(intake::Context& context, EthernetGuideView& view);
// Hides the guide, shows the offline support window and, once that has closed, closes the guide.
void OpenRepairActions(EthernetGuideView& view);
void OnGuideButtonClicked(intake::Context& context, EthernetGuideView& view, int controlId);

}  // namespace kelto::ui

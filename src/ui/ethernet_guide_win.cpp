#include "ui/ethernet_guide_win.h"

#include "ui/offline_support_win.h"

namespace kelto::ui {

namespace {
constexpr FormDesign kDesign{L"KeltoClientHelperCableGuide",
                             kGuideCaption,
                             kGuideClientWidthTwips,
                             kGuideClientHeightTwips,
                             kGuideFontFace,
                             kGuideFontCentiPoints,
                             kGuideLayout};
}  // namespace

EthernetGuideWin::EthernetGuideWin(HINSTANCE instance, HWND owner, HWND mainWindow, intake::Context& context)
    : FormViewWin(instance, kDesign, owner, false),
      instance_(instance),
      mainWindow_(mainWindow),
      context_(context) {
    form_.SetCommandHandler([this](int id, int notification) {
        if (notification == BN_CLICKED) OnGuideButtonClicked(context_, *this, id);
    });
    form_.SetPictureHandler([this](const DRAWITEMSTRUCT& item) { DrawPicture(item); });
}

EthernetGuideWin::~EthernetGuideWin() {
    form_.Close();
    if (picture_) ::DeleteObject(picture_);
}

void EthernetGuideWin::Run() {
    OnEthernetGuideLoad(context_, *this);
    form_.RunModal();
}

bool EthernetGuideWin::LoadPicture() {
    // A DIB section keeps the picture's own colours whatever the screen's depth.
    picture_ = static_cast<HBITMAP>(::LoadImageW(instance_, MAKEINTRESOURCEW(kGuidePictureResource),
                                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ::InvalidateRect(form_.Control(kGuideImgGuide), nullptr, TRUE);
    return picture_ != nullptr;
}

void EthernetGuideWin::DrawPicture(const DRAWITEMSTRUCT& item) {
    ::FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (!picture_) return;
    BITMAP info{};
    ::GetObjectW(picture_, sizeof info, &info);
    HDC source = ::CreateCompatibleDC(item.hDC);
    const HGDIOBJ previous = ::SelectObject(source, picture_);
    // Scaled into the box (a bitmap static would resize itself to the picture). The window
    // is mirrored; the picture keeps its own orientation so that "1" and "2" read correctly.
    const DWORD layout = ::GetLayout(item.hDC);
    ::SetLayout(item.hDC, layout | LAYOUT_BITMAPORIENTATIONPRESERVED);
    ::SetStretchBltMode(item.hDC, HALFTONE);
    ::SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    ::StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                 item.rcItem.bottom - item.rcItem.top, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    ::SetLayout(item.hDC, layout);
    ::SelectObject(source, previous);
    ::DeleteDC(source);
}

void EthernetGuideWin::ShowOfflineSupport() {
    const bool ownerHidden = mainWindow_ == nullptr || !::IsWindowVisible(mainWindow_);
    OfflineSupportWin offline(instance_, mainWindow_, ownerHidden, context_);
    offline.Run();
}

}  // namespace kelto::ui

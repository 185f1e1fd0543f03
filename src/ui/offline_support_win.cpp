#include "ui/offline_support_win.h"

#include <algorithm>

#include "platform/win32/win32_util.h"

namespace kelto::ui {

namespace {
constexpr FormDesign kDesign{L"KeltoClientHelperOffline",
                             kOfflineCaption,
                             kOfflineClientWidthTwips,
                             kOfflineClientHeightTwips,
                             kOfflineFontFace,
                             kOfflineFontCentiPoints,
                             kOfflineLayout};
}  // namespace

OfflineSupportWin::OfflineSupportWin(HINSTANCE instance, HWND owner, bool appWindow, intake::Context& context)
    : FormViewWin(instance, kDesign, owner, appWindow),
      context_(context),
      connection_(form_.Control(kOffLblConnection)) {
    // At most six characters, typed or pasted.
    ::SendMessageW(form_.Control(kOffTxtToken), EM_SETLIMITTEXT, kTokenMaxLength, 0);
    form_.SetCommandHandler([this](int id, int notification) { OnCommand(id, notification); });
}

void OfflineSupportWin::Run() {
    OnOfflineSupportLoad(context_, *this);
    form_.RunModal();
}

void OfflineSupportWin::AppendActivityLine(const std::string& line) {
    HWND list = form_.Control(kOffLstActivity);
    const LRESULT index =
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(platform::win32::Widen(line).c_str()));
    if (index < 0) return;
    // Newest in view: scroll so that the last line is the bottom one shown.
    RECT client{};
    ::GetClientRect(list, &client);
    const LRESULT itemHeight = std::max<LRESULT>(1, ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    const LRESULT visible = std::max<LRESULT>(1, (client.bottom - client.top) / itemHeight);
    ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(0, index - visible + 1)), 0);
}

void OfflineSupportWin::OnCommand(int id, int notification) {
    if (id == kOffTxtToken) {
        if (notification == EN_CHANGE) OnTokenChanged(context_, *this);
        return;
    }
    if (notification == BN_CLICKED) OnOfflineButtonClicked(context_, *this, id);
}

}  // namespace kelto::ui

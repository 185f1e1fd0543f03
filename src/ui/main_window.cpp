#include "ui/main_window.h"

#include "app/context.h"
#include "intake/session_store.h"
#include "intake/system_folders.h"

namespace kelto::ui {

namespace {
const std::string kBase = kProtocolBaseKey;
constexpr const char* kOpenCommandKey = "HKCU\\Software\\Classes\\kelto\\shell\\open\\command\\";

constexpr unsigned kInfoBox = platform::mb::kOk | platform::mb::kIconInformation;
constexpr unsigned kWarningBox = platform::mb::kOk | platform::mb::kIconExclamation;
}  // namespace

void ApplyWindowStyle(MainWindowView& view) {
    view.SetWindowBackground(kWindowBackground);
    view.SetControlBackground(kLblStatus, kStatusBackground);
    view.SetControlTextColour(kLblInfo, kInfoText);
}

void RefreshInstallStatus(app::Context& context) {
    auto& view = context.mainWindow;
    if (IsProtocolHandlerInstalled(context.system.registry)) {
        view.SetControlText(kLblStatus, kStatusActive);
        view.SetControlTextColour(kLblStatus, kStatusActiveText);
    } else {
        view.SetControlText(kLblStatus, kStatusInactive);
        view.SetControlTextColour(kLblStatus, kStatusInactiveText);
    }
}

bool IsProtocolHandlerInstalled(platform::Registry& registry) {
    std::string command;
    return registry.ReadString(kOpenCommandKey, command) && !command.empty();
}

bool InstallProtocolHandler(platform::Registry& registry, const std::string& exePath) {
    RemoveProtocolHandler(registry);
    return registry.WriteString(kBase, "URL:Kelto Support Protocol") &&
           registry.WriteString(kBase + "URL Protocol", "") &&
           registry.WriteString(kBase + "DefaultIcon\\", exePath + ",0") &&
           registry.WriteString(kOpenCommandKey, "\"" + exePath + "\" \"%1\"");
}

void RemoveProtocolHandler(platform::Registry& registry) {
    // Deepest first: a key can only go once it has no subkeys. Every failure is ignored.
    registry.Delete(kBase + "shell\\open\\command\\");
    registry.Delete(kBase + "shell\\open\\");
    registry.Delete(kBase + "shell\\");
    registry.Delete(kBase + "DefaultIcon\\");
    registry.Delete(kBase + "URL Protocol");
    registry.Delete(kBase);
}

void OnInstallClicked(app::Context& context) {
    auto& system = context.system;
    const auto owner = context.mainWindow.Handle();
    if (InstallProtocolHandler(system.registry, intake::GetOwnExePath(system.process))) {
        system.dialogs.MessageBox(owner, "כלי העזר הופעל בהצלחה.", "Kelto", kInfoBox);
    } else {
        system.dialogs.MessageBox(owner, "לא ניתן להפעיל את כלי העזר.", "Kelto", kWarningBox);
    }
    RefreshInstallStatus(context);
}

void OnRemoveClicked(app::Context& context) {
    const int answer =
        context.system.dialogs.MessageBox(context.mainWindow.Handle(), "להסיר את כלי העזר?", "Kelto",
                                          platform::mb::kYesNo | platform::mb::kIconQuestion | platform::mb::kDefButton1);
    if (answer != platform::mb::kIdYes) return;
    RemoveProtocolHandler(context.system.registry);
    RefreshInstallStatus(context);
}

void OnCloseClicked(app::Context& context) { context.mainWindow.Unload(); }

void OnOfflineClicked(app::Context& context) {
    context.request.ActionLaunched = false;
    if (context.request.CurrentSessionId.empty()) {
        context.request.CurrentSessionId = intake::GetAuthorizedSessionId(context.system);
    }
    context.mainWindow.ShowEthernetGuide(true);
    if (context.request.ActionLaunched) context.mainWindow.Unload();
}

}  // namespace kelto::ui

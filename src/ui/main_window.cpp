#include "ui/main_window.h"

#include "base/command_line.h"
#include "intake/context.h"
#include "intake/registry_names.h"
#include "intake/session_store.h"

namespace kelto::ui {

namespace {
using namespace registry_names;

constexpr unsigned kInfoBox = platform::mb::kOk | platform::mb::kIconInformation;
constexpr unsigned kWarningBox = platform::mb::kOk | platform::mb::kIconExclamation;
}  // namespace

void ApplyWindowStyle(MainWindowView& view) {
    view.SetWindowBackground(kWindowBackground);
    view.SetControlBackground(kLblStatus, kStatusBackground);
    view.SetControlTextColour(kLblInfo, kInfoText);
}

void RefreshInstallStatus(platform::Registry& registry, MainWindowView& view) {
    if (IsProtocolHandlerInstalled(registry)) {
        view.SetControlText(kLblStatus, kStatusActive);
        view.SetControlTextColour(kLblStatus, kStatusActiveText);
    } else {
        view.SetControlText(kLblStatus, kStatusInactive);
        view.SetControlTextColour(kLblStatus, kStatusInactiveText);
    }
}

bool IsProtocolHandlerInstalled(platform::Registry& registry) {
    std::string command;
    return registry.ReadString(kProtocolOpenCommandKey, command) && !command.empty();
}

bool InstallProtocolHandler(platform::Registry& registry, const std::string& exePath) {
    RemoveProtocolHandler(registry);
    return registry.WriteString(kProtocolKey, "URL:Kelto Support Protocol") &&
           registry.WriteString(kProtocolUrlMarker, "") &&
           registry.WriteString(kProtocolIconKey, exePath + ",0") &&
           registry.WriteString(kProtocolOpenCommandKey, "\"" + exePath + "\" \"%1\"");
}

void RemoveProtocolHandler(platform::Registry& registry) {
    // Deepest first: a key can only go once it has no subkeys. Every failure is ignored.
    registry.Delete(kProtocolOpenCommandKey);
    registry.Delete(kProtocolOpenKey);
    registry.Delete(kProtocolShellKey);
    registry.Delete(kProtocolIconKey);
    registry.Delete(kProtocolUrlMarker);
    registry.Delete(kProtocolKey);
}

void OnInstallClicked(intake::Context& context, MainWindowView& view) {
    auto& system = context.system;
    const auto owner = view.Owner();
    if (InstallProtocolHandler(system.registry, base::GetOwnExePath(system.process))) {
        system.dialogs.MessageBox(owner, "כלי העזר הופעל בהצלחה.", "Kelto", kInfoBox);
    } else {
        system.dialogs.MessageBox(owner, "לא ניתן להפעיל את כלי העזר.", "Kelto", kWarningBox);
    }
    RefreshInstallStatus(system.registry, view);
}

void OnRemoveClicked(intake::Context& context, MainWindowView& view) {
    const int answer = context.system.dialogs.MessageBox(
        view.Owner(), "להסיר את כלי העזר?", "Kelto",
        platform::mb::kYesNo | platform::mb::kIconQuestion | platform::mb::kDefButton1);
    if (answer != platform::mb::kIdYes) return;
    RemoveProtocolHandler(context.system.registry);
    RefreshInstallStatus(context.system.registry, view);
}

void OnCloseClicked(MainWindowView& view) { view.Unload(); }

void OnOfflineClicked(intake::Context& context, MainWindowView& view) {
    context.request.ActionLaunched = false;
    if (context.request.CurrentSessionId.empty()) {
        context.request.CurrentSessionId = intake::GetAuthorizedSessionId(context.system);
    }
    view.ShowEthernetGuide(true);
    if (context.request.ActionLaunched) view.Unload();
}

}  // namespace kelto::ui

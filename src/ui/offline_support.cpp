#include "ui/offline_support.h"

#include <cstdio>

#include "actions/approval.h"
#include "base/text.h"
#include "intake/activity_log.h"
#include "intake/session_store.h"
#include "token/token.h"
#include "ui/connectivity.h"
#include "ui/owned_host.h"

namespace kelto::ui {

std::string ActivityLine(const platform::DateTime& localTime, const std::string& text) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", localTime.hour % 100, localTime.minute % 100,
                  localTime.second % 100);
    return std::string(stamp) + " - " + text;
}

void ApplyWindowStyle(OfflineSupportView& view) { view.SetWindowBackground(kOfflineWindowBackground); }

void AddActivity(platform::System& system, OfflineSupportView& view, const std::string& text) {
    view.AppendActivityLine(ActivityLine(system.clock.LocalNow(), text));
    intake::WriteLog(system, "Offline: " + text);
}

TokenStatus TokenStatusFor(intake::Context& context, const std::string& typed) {
    if (intake::IsSessionAuthorized(context.system, context.request.CurrentSessionId))
        return {kTokenAlreadyAuthorized, kAcceptedBlue};
    const std::string token = text::TrimSpaces(typed);
    if (token.empty()) return {kTokenPrompt, kPromptGrey};
    if (token::IsTokenValid(context.system.clock, token)) return {kTokenReady, kAcceptedBlue};
    return {kTokenNotValid, kRefusedRed};
}

void OnTokenChanged(intake::Context& context, OfflineSupportView& view) {
    const TokenStatus status = TokenStatusFor(context, view.ControlText(kOffTxtToken));
    view.SetControlText(kOffLblTokenStatus, status.text);
    view.SetControlTextColour(kOffLblTokenStatus, status.colour);
}

void OnOfflineSupportLoad(intake::Context& context, OfflineSupportView& view) {
    ApplyWindowStyle(view);
    AddActivity(context.system, view, kActivityOpened);
    view.SetControlText(kOffTxtToken, "");
    OnTokenChanged(context, view);
    if (intake::IsSessionAuthorized(context.system, context.request.CurrentSessionId)) {
        // Authorized earlier in this support session: the actions need no token.
        view.EnableControl(kOffTxtToken, false);
        view.SetControlText(kOffLblTokenStatus, kTokenAlreadyAuthorized);
        view.SetControlTextColour(kOffLblTokenStatus, kAcceptedBlue);
    }
}

bool RunOfflineAction(intake::Context& context, OfflineSupportView& view, const std::string& actionKey,
                      const std::string& activityText) {
    const std::string token = text::TrimSpaces(view.ControlText(kOffTxtToken));
    OwnedHostWindow owner(context.window, view.Handle());
    intake::Context actionContext{context.system, context.request, owner};
    if (actions::RequestAction(actionContext, actionKey, token)) {
        AddActivity(context.system, view, kActivitySent + activityText);
        view.Close();
        return true;
    }
    AddActivity(context.system, view, kActivityNotSent + activityText);
    if (!intake::IsSessionAuthorized(context.system, context.request.CurrentSessionId)) {
        // The support session ran out while the window was open: the token box takes a token
        // again.
        view.EnableControl(kOffTxtToken, true);
        OnTokenChanged(context, view);
    }
    return false;
}

void OnCheckInternetClicked(intake::Context& context, OfflineSupportView& view) {
    view.EnableControl(kOffCmdCheckInternet, false);
    view.SetControlText(kOffLblConnection, kConnectionChecking);
    view.PumpMessages();
    if (IsInternetAvailable(context.system.http)) {
        view.SetControlText(kOffLblConnection, kConnectionBack);
        view.SetControlBackground(kOffLblConnection, kOnlineBack);
        view.SetControlTextColour(kOffLblConnection, kAcceptedBlue);
        AddActivity(context.system, view, kActivityCheckSucceeded);
    } else {
        view.SetControlText(kOffLblConnection, kConnectionStillOffline);
        view.SetControlBackground(kOffLblConnection, kOfflineNoticeBack);
        view.SetControlTextColour(kOffLblConnection, kHeaderBlue);
        AddActivity(context.system, view, kActivityCheckFailed);
    }
    // The outcome is a text in a label: read out, not only shown.
    view.AnnounceConnection();
    // The window stays open either way.
    view.EnableControl(kOffCmdCheckInternet, true);
}

void OnOfflineButtonClicked(intake::Context& context, OfflineSupportView& view, int controlId) {
    for (const auto& action : kOfflineActions) {
        if (action.control == controlId) {
            RunOfflineAction(context, view, action.actionKey, action.activityText);
            return;
        }
    }
    if (controlId == kOffCmdCheckInternet) {
        OnCheckInternetClicked(context, view);
    } else if (controlId == kOffCmdClose) {
        view.Close();
    }
}

}  // namespace kelto::ui

// The main window as the request roads see it, but with another window as the owner of the
// boxes they show: a box raised from the offline window or the cable guide belongs to the
// window the customer is looking at, so that it is modal to that window.
#pragma once

#include <string>

#include "intake/context.h"

namespace kelto::ui {

class OwnedHostWindow : public intake::HostWindow {
public:
    OwnedHostWindow(intake::HostWindow& host, platform::WindowHandle owner) : host_(host), owner_(owner) {}
    platform::WindowHandle Owner() override { return owner_; }
    platform::WindowHandle ShellOwner() override { return owner_; }
    void Show() override { host_.Show(); }
    void Hide() override { host_.Hide(); }
    void ShowStatus(const std::string& text) override { host_.ShowStatus(text); }
    // The owning window is the one the customer is looking at: the button that asked is its
    // own, and it became active again when the last box it owned closed.
    platform::WindowHandle BeginSystemPrompt(const std::string&) override { return owner_; }
    void EndSystemPrompt() override {}
    // The prompt's owner is on screen already; the shell readies itself on its first start.
    void PrepareSystemPrompt() override {}
    void Unload() override { host_.Unload(); }

private:
    intake::HostWindow& host_;
    platform::WindowHandle owner_;
};

}  // namespace kelto::ui

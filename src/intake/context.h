// What one process's handlers work with: the system, the request being handled and the
// window the roads show their boxes and status texts over.
#pragma once

#include <string>

#include "intake/request_state.h"
#include "platform/system.h"

namespace kelto::intake {

// The main window as the request roads see it: by what they mean, never by its controls.
// Every process loads it; it is visible only on the no-argument road and, in the elevated
// instance, while a status text is shown.
class HostWindow {
public:
    virtual ~HostWindow() = default;
    // The owner window for message boxes, the input box and the shell.
    virtual platform::WindowHandle Owner() = 0;
    // The owner for a start through the shell that shows no window of its own: the window when
    // it is on screen, else none (0). Nothing is made for it: a hidden owner would only hide
    // what the shell might still show.
    virtual platform::WindowHandle ShellOwner() = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Shows a status text: sets it and repaints it, so that it is on screen before the next
    // long step. It does not show the window. From then on the window is a status display:
    // input queued for it meanwhile is dropped, never run.
    virtual void ShowStatus(const std::string& text) = 0;
    // The owner for a prompt of the system's own (the elevation prompt), which Windows puts in
    // front only for a visible owner in the foreground: the window the boxes belong to, brought
    // to the front; when that is the hidden main window, it is shown with `text` as a one-line
    // status. EndSystemPrompt hides again what this showed.
    virtual platform::WindowHandle BeginSystemPrompt(const std::string& text) = 0;
    // Readies, while the customer reads the box that comes next, what BeginSystemPrompt and
    // the shell's start will take, so that the prompt follows the last answer without that
    // wait. Nothing is shown.
    virtual void PrepareSystemPrompt() = 0;
    virtual void EndSystemPrompt() = 0;
    // Unloads the window; with no window left the process ends.
    virtual void Unload() = 0;
};

struct Context {
    platform::System& system;
    RequestState& request;
    HostWindow& window;
};

// A message box owned by the host window; the button pressed (platform::mb::kId...).
inline int ShowBox(Context& context, const std::string& text, const std::string& title, unsigned flags) {
    return context.system.dialogs.MessageBox(context.window.Owner(), text, title, flags);
}

// The main window on screen as the status display of a long step, with this text: the
// customer sees what runs while the step holds the thread.
inline void ShowStatusWindow(Context& context, const std::string& text) {
    context.window.Show();
    context.window.ShowStatus(text);
}

}  // namespace kelto::intake

// What the handlers of the offline support window and the cable guide ask of either window:
// both are built from a layout table, and their handlers drive them by control id within ui/.
#pragma once

#include <string>

#include "platform/system.h"
#include "ui/colour.h"

namespace kelto::ui {

class FormView {
public:
    virtual ~FormView() = default;
    // This window, as the owner of its boxes.
    virtual platform::WindowHandle Handle() = 0;
    virtual void SetWindowBackground(Rgb colour) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual std::string ControlText(int controlId) = 0;
    virtual void EnableControl(int controlId, bool enabled) = 0;
    // Lets pending window messages run once, so that a new text is painted.
    virtual void PumpMessages() = 0;
    virtual void Close() = 0;
};

}  // namespace kelto::ui

// The Win32 side shared by the offline support window and the cable guide: a fixed-size,
// right-to-left window built from a layout table, with per-row fonts and colours, shown
// modally over its owner.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <span>
#include <string>
#include <utility>

#include "platform/system.h"
#include "platform/win32/win32_util.h"
#include "ui/colour.h"
#include "ui/input_win.h"
#include "ui/paint_win.h"

namespace kelto::ui {

struct FormDesign {
    const wchar_t* className;
    const char* caption;
    int clientWidthTwips;
    int clientHeightTwips;
    const char* fontFace;
    int fontCentiPoints;
    std::span<const ControlSpec> layout;
};

class FormWin {
public:
    // A click (BN_CLICKED) or a text change (EN_CHANGE) of a control.
    using CommandHandler = std::function<void(int controlId, int notification)>;
    // Paints an owner-drawn picture control.
    using PictureHandler = std::function<void(const DRAWITEMSTRUCT& item)>;

    // `owner` may be null. `appWindow`: a taskbar button of its own even though owned.
    FormWin(HINSTANCE instance, const FormDesign& design, HWND owner, bool appWindow);
    ~FormWin();
    FormWin(const FormWin&) = delete;
    FormWin& operator=(const FormWin&) = delete;

    HWND Window() const { return window_; }
    HWND Control(int id) const;
    void SetCommandHandler(CommandHandler handler) { onCommand_ = std::move(handler); }
    void SetPictureHandler(PictureHandler handler) { onPicture_ = std::move(handler); }

    void SetWindowBackground(Rgb colour);
    void SetControlText(int id, const std::string& text);
    std::string ControlText(int id) const;
    void SetControlTextColour(int id, Rgb colour);
    void SetControlBackground(int id, Rgb colour);
    void EnableControl(int id, bool enabled);
    // Drops queued keyboard and mouse input, lets the other pending messages run once and
    // paints what changed.
    void PumpMessages();
    void Hide();
    // Shows the window, disables the owner and runs the window's messages until it closes.
    void RunModal();
    // Re-enables the owner, then destroys the window. Safe to call more than once.
    void Close();
    bool Closed() const { return closed_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControl(const ControlSpec& spec);
    void ApplyLayout();
    void LayoutControls(UINT dpi);
    HFONT FontFor(int centiPoints, bool bold);

    HINSTANCE instance_;
    FormDesign design_;
    HWND owner_;
    HWND window_ = nullptr;
    UINT dpi_ = 96;
    bool closed_ = false;
    FocusKeeper focus_;
    HWND focusBeforeDisable_ = nullptr;
    CommandHandler onCommand_;
    PictureHandler onPicture_;
    std::map<int, HWND> controls_;
    std::map<int, const ControlSpec*> specs_;
    ControlColours colours_;
    std::map<std::pair<int, bool>, platform::win32::UniqueHfont> fonts_;
};

// A window's view (`View` extends FormView) over its FormWin: what every such window does
// alike; the window adds its own calls.
template <class View>
class FormViewWin : public View {
public:
    FormViewWin(HINSTANCE instance, const FormDesign& design, HWND owner, bool appWindow)
        : form_(instance, design, owner, appWindow) {}

    platform::WindowHandle Handle() override {
        return reinterpret_cast<platform::WindowHandle>(form_.Window());
    }
    void SetWindowBackground(Rgb colour) override { form_.SetWindowBackground(colour); }
    void SetControlText(int id, const std::string& text) override { form_.SetControlText(id, text); }
    std::string ControlText(int id) override { return form_.ControlText(id); }
    void EnableControl(int id, bool enabled) override { form_.EnableControl(id, enabled); }
    void PumpMessages() override { form_.PumpMessages(); }
    void Close() override { form_.Close(); }

protected:
    FormWin form_;
};

}  // namespace kelto::ui

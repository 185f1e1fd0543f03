#pragma once

#include <windows.h>

#include <map>

#include "platform/win32/win32_util.h"
#include "ui/input_win.h"
#include "ui/main_window.h"
#include "ui/paint_win.h"

namespace kelto::ui {

// The Win32 frmClientHelper: a fixed-size window mirrored for right-to-left reading.
class MainWindowWin : public MainWindowView {
public:
    explicit MainWindowWin(HINSTANCE instance);
    ~MainWindowWin() override;
    MainWindowWin(const MainWindowWin&) = delete;
    MainWindowWin& operator=(const MainWindowWin&) = delete;

    // 0 unless making the window or its controls failed: then the Windows error number, and
    // the object holds no window.
    DWORD CreateError() const { return createError_; }
    void Attach(intake::Context& context) { context_ = &context; }
    // Runs until WM_QUIT and returns its exit code.
    int RunMessageLoop();

    platform::WindowHandle Owner() override;
    platform::WindowHandle ShellOwner() override;
    void Show() override;
    void Hide() override;
    void SetWindowBackground(Rgb colour) override;
    void SetControlText(int controlId, const std::string& text) override;
    void SetControlTextColour(int controlId, Rgb colour) override;
    void SetControlBackground(int controlId, Rgb colour) override;
    void ShowStatus(const std::string& text) override;
    platform::WindowHandle BeginSystemPrompt(const std::string& text) override;
    void EndSystemPrompt() override;
    void PrepareSystemPrompt() override;
    void Unload() override;
    void ShowEthernetGuide(bool owned) override;

private:
    // Paints what is pending so that a new status text is on screen; drops queued input.
    void PumpMessages();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool EnsureWindow();
    bool EnsureControls();
    DWORD MakeControls();
    HWND Control(int controlId) const;
    bool CreateControl(const ControlSpec& spec);
    void ApplyLayout();
    void ApplyFont(UINT dpi);
    void LayoutControls();
    void OnCommand(int id);
    void OnEnter();
    void OnPrepareTimer();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    bool windowMade_ = false;  // made once (or tried); after Unload it stays gone
    bool shownForPrompt_ = false;
    DWORD createError_ = 0;
    FocusKeeper focus_;
    UINT dpi_ = 96;
    intake::Context* context_ = nullptr;
    platform::win32::UniqueHfont font_;
    std::map<int, HWND> controls_;
    ControlColours colours_;
};

}  // namespace kelto::ui

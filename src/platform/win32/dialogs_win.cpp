// Message boxes and the token input box, both laid out for right-to-left reading.
#include <windows.h>

#include <vector>

#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
constexpr int kPromptId = 100;
constexpr int kEditId = 101;
// MB_RTLREADING reads right to left only on Hebrew and Arabic systems; a text that begins with
// two RIGHT-TO-LEFT MARKs reads so on every Windows, an English one with a Hebrew keyboard too.
constexpr wchar_t kRightToLeftMarks[] = L"\u200F\u200F";

// Builds an in-memory DLGTEMPLATEEX, so that the input box gets the dialog manager's own
// keyboard handling: Enter presses OK, Escape presses Cancel, Tab moves between controls.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, DWORD exStyle, short cx, short cy, const std::wstring& title) {
        Word(1);       // dlgVer
        Word(0xFFFF);  // signature
        Dword(0);      // helpID
        Dword(exStyle);
        Dword(style);
        countOffset_ = buffer_.size();
        Word(0);  // cDlgItems, patched as items are added
        Word(0);
        Word(0);  // x, y: centred by DS_CENTER
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(0);  // no menu
        Word(0);  // standard class
        String(title);
        Word(9);    // point size
        Word(400);  // weight
        Byte(0);    // italic
        Byte(1);    // DEFAULT_CHARSET
        String(L"Segoe UI");
    }

    void Add(WORD atomClass, int id, DWORD style, short x, short y, short cx, short cy,
             const std::wstring& text) {
        Align();
        Dword(0);  // helpID
        Dword(0);  // exStyle
        Dword(style | WS_CHILD | WS_VISIBLE);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Dword(static_cast<DWORD>(id));
        Word(0xFFFF);
        Word(atomClass);
        String(text);
        Word(0);  // no creation data
        auto* count = reinterpret_cast<WORD*>(&buffer_[countOffset_]);
        ++*count;
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(buffer_.data()); }

private:
    void Byte(BYTE b) { buffer_.push_back(b); }
    void Word(WORD w) {
        Byte(static_cast<BYTE>(w & 0xFF));
        Byte(static_cast<BYTE>(w >> 8));
    }
    void Dword(DWORD d) {
        Word(static_cast<WORD>(d & 0xFFFF));
        Word(static_cast<WORD>(d >> 16));
    }
    void String(const std::wstring& s) {
        for (wchar_t c : s) Word(static_cast<WORD>(c));
        Word(0);
    }
    void Align() {
        while (buffer_.size() % 4 != 0) Byte(0);
    }
    std::vector<BYTE> buffer_;
    std::size_t countOffset_ = 0;
};

struct InputBoxState {
    std::wstring prompt;
    std::wstring text;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* state = reinterpret_cast<InputBoxState*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            ::SetDlgItemTextW(dialog, kPromptId, state->prompt.c_str());
            ::SetForegroundWindow(dialog);
            ::SetFocus(::GetDlgItem(dialog, kEditId));
            return FALSE;  // focus set by hand
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                auto* state = reinterpret_cast<InputBoxState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
                if (id == IDOK) {
                    const HWND edit = ::GetDlgItem(dialog, kEditId);
                    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
                    text.resize(static_cast<std::size_t>(
                        ::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
                    state->text = text;
                }
                ::EndDialog(dialog, id);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

bool HasTaskbarButton(HWND window) {
    if (!window || !::IsWindowVisible(window)) return false;
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    if (exStyle & WS_EX_APPWINDOW) return true;
    return !(exStyle & WS_EX_TOOLWINDOW) && !::GetWindow(window, GW_OWNER);
}

HWND BoxOwner(HWND owner) {
    // A visible window whose own button, or whose owner's, the customer can click.
    for (HWND w = owner; w; w = ::GetWindow(w, GW_OWNER)) {
        if (!::IsWindowVisible(w)) return nullptr;
        if (HasTaskbarButton(w)) return owner;
    }
    return nullptr;
}

std::wstring RightToLeftText(const std::string& text) {
    return std::wstring(kRightToLeftMarks) + Widen(text);
}
}  // namespace

int Win32Dialogs::MessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                             unsigned flags) {
    const HWND boxOwner = BoxOwner(reinterpret_cast<HWND>(owner));
    UINT style = flags | MB_RTLREADING | MB_RIGHT;
    // A box owned by a window without a taskbar button (the hidden main window of the URL and
    // elevated roads) has none either: behind the browser it could be found only with Alt+Tab.
    // Unowned, it has a button of its own; task-modal, it still disables the thread's windows.
    // It asks for the foreground, for it comes up over the browser that started the helper.
    if (!boxOwner) style |= MB_TASKMODAL | MB_SETFOREGROUND;
    return ::MessageBoxW(boxOwner, RightToLeftText(text).c_str(), Widen(title).c_str(), style);
}

std::string Win32Dialogs::InputBox(WindowHandle owner, const std::string& prompt, const std::string& title) {
    // Laid out like the classic Windows input box (prompt at the top, OK and Cancel beside
    // it, the entry field along the bottom), mirrored for right-to-left reading.
    // Owned by a window without a taskbar button, the box takes a button of its own.
    const HWND hwndOwner = reinterpret_cast<HWND>(owner);
    const DWORD taskbar = BoxOwner(hwndOwner) ? 0 : WS_EX_APPWINDOW;
    DialogTemplate dialog(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                          WS_EX_LAYOUTRTL | WS_EX_DLGMODALFRAME | taskbar, 250, 90, Widen(title));
    dialog.Add(0x0082, kPromptId, SS_LEFT, 7, 7, 172, 50, L"");
    dialog.Add(0x0080, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 187, 7, 56, 14, L"אישור");
    dialog.Add(0x0080, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 187, 25, 56, 14, L"ביטול");
    dialog.Add(0x0081, kEditId, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 66, 236, 14, L"");
    InputBoxState state{Widen(prompt), {}};
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.get(), hwndOwner,
                                                     InputBoxProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return {};
    return Narrow(state.text);
}

}  // namespace kelto::platform::win32

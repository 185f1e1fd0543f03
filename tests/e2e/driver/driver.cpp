#include "driver/driver.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace kelto::e2e {

namespace {

constexpr UINT kMessageTimeoutMs = 3000;
// Wine's message box gives its icon this control id; any static with SS_ICON is accepted.
constexpr int kMessageBoxTextId = 0xFFFF;

std::string Win32ErrorText(const char* what) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s failed (error %lu)", what, ::GetLastError());
    return buffer;
}

struct EnumState {
    DWORD processId;
    bool visibleOnly;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == state->processId && (!state->visibleOnly || ::IsWindowVisible(window))) {
        state->windows.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> TopLevel(DWORD processId, bool visibleOnly) {
    EnumState state{processId, visibleOnly, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.windows;
}

bool IsDialogClass(HWND window) { return ClassNameOf(window) == "#32770"; }

bool IsPushButton(const ControlInfo& c) {
    if (c.className != "Button") return false;
    const LONG type = c.style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW;
}

HWND IconControlOf(const WindowSnapshot& snapshot) {
    for (const auto& c : snapshot.controls) {
        if (c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON) return c.hwnd;
    }
    return nullptr;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        worst = std::max(worst, d);
    }
    return worst;
}

// Share of pixels that differ visibly between two images of the same size.
double MismatchShare(const Image& a, const Image& b, bool mirrorB) {
    int differing = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const int bx = mirrorB ? a.width - 1 - x : x;
            if (ChannelDistance(a.At(x, y), b.At(bx, y)) > 40) ++differing;
        }
    }
    return static_cast<double>(differing) / (a.width * a.height);
}

}  // namespace

// ---- Text ----

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr,
                          nullptr);
    return utf8;
}

// ---- Start-up of a program that drives windows ----

std::wstring ToWindowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') {
        for (auto& c : path) {
            if (c == L'/') c = L'\\';
        }
        path = L"Z:" + path;
    }
    return path;
}

void BecomeDpiAware() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const auto setContext = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (setContext == nullptr || !setContext(reinterpret_cast<HANDLE>(-4) /* per monitor v2 */)) {
        ::SetProcessDPIAware();
    }
}

// ---- Files ----

std::string ReadWholeFile(const std::wstring& path) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

void RemoveFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
                RemoveFolderTree(path);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(path.c_str());
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// ---- Processes ----

Process StartProcess(const std::wstring& commandLine, const std::wstring& workingDirectory, HANDLE job) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Wine's 64-bit side now and then fails a creation under load with ERROR_INTERNAL_ERROR
    // before the program has run at all; the next try starts it. A start that cannot work
    // fails every time, and any other error at once.
    for (int attempt = 1;; ++attempt) {
        std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
        if (::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info))
            break;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
            throw DriverError(Win32ErrorText("CreateProcessW") + " for: " + Narrow(commandLine));
        ::Sleep(100);
    }
    UniqueHandle thread(info.hThread);
    Process process{UniqueHandle(info.hProcess), info.dwProcessId, commandLine};
    if (job != nullptr && !::AssignProcessToJobObject(job, info.hProcess)) {
        const std::string error = Win32ErrorText("AssignProcessToJobObject");
        ::TerminateProcess(info.hProcess, 1);
        throw DriverError(error);
    }
    ::ResumeThread(thread.get());
    return process;
}

bool IsRunning(const Process& process) {
    return ::WaitForSingleObject(process.handle.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> WaitForExit(const Process& process, Deadline deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline.at - SteadyClock::now()).count();
    if (::WaitForSingleObject(process.handle.get(), static_cast<DWORD>(std::max<long long>(left, 0))) !=
        WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.handle.get(), &code);
    return code;
}

std::string ImagePathOf(DWORD processId) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return "?";
    wchar_t path[MAX_PATH * 2];
    DWORD size = static_cast<DWORD>(std::size(path));
    if (!::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return "?";
    return Narrow(std::wstring_view(path, size));
}

std::vector<JobMember> RunningJobMembers(HANDLE job) {
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR room[255];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 256;
    std::vector<JobMember> members;
    if (!::QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return members;
    const ULONG_PTR* pids = ids.list.ProcessIdList;
    for (ULONG i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        const auto pid = static_cast<DWORD>(pids[i]);
        members.push_back({pid, ImagePathOf(pid)});
    }
    return members;
}

// ---- Windows ----

const char* ToString(IconKind kind) {
    switch (kind) {
        case IconKind::None:
            return "none";
        case IconKind::Error:
            return "error";
        case IconKind::Question:
            return "question";
        case IconKind::Exclamation:
            return "exclamation";
        case IconKind::Information:
            return "information";
        case IconKind::Unknown:
            break;
    }
    return "unknown";
}

std::string ClassNameOf(HWND window) {
    wchar_t name[256];
    const int n = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return n > 0 ? Narrow(std::wstring_view(name, static_cast<size_t>(n))) : std::string();
}

std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                               &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        return {};
    }
    text.resize(std::min<size_t>(copied, length));
    return Narrow(text);
}

std::vector<HWND> VisibleTopLevelWindows(DWORD processId) { return TopLevel(processId, true); }
std::vector<HWND> AllTopLevelWindows(DWORD processId) { return TopLevel(processId, false); }

std::string DescribeWindows(DWORD processId) {
    std::string out;
    for (HWND w : AllTopLevelWindows(processId)) {
        if (!out.empty()) out += "; ";
        out += "[" + ClassNameOf(w) + "] \"" + TextOf(w) + "\"" + (::IsWindowVisible(w) ? "" : " (hidden)");
    }
    return out.empty() ? "no windows" : out;
}

const ControlInfo* WindowSnapshot::ControlWithText(std::string_view caption) const {
    for (const auto& c : controls) {
        if (c.text == caption) return &c;
    }
    return nullptr;
}

const ControlInfo& WindowSnapshot::ControlCaptioned(std::string_view caption) const {
    if (const ControlInfo* control = ControlWithText(caption)) return *control;
    throw DriverError("no control \"" + std::string(caption) + "\" in \"" + title + "\"");
}

const ControlInfo* WindowSnapshot::ControlWithId(int id) const {
    for (const auto& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

std::vector<int> WindowSnapshot::ButtonIds() const {
    std::vector<int> ids;
    for (const auto& b : buttons) ids.push_back(b.id);
    return ids;
}

std::vector<std::string> WindowSnapshot::ButtonCaptions() const {
    std::vector<std::string> captions;
    for (const auto& b : buttons) captions.push_back(b.text);
    return captions;
}

WindowSnapshot Snapshot(HWND window) {
    WindowSnapshot s;
    s.hwnd = window;
    ::GetWindowThreadProcessId(window, &s.processId);
    s.className = ClassNameOf(window);
    s.title = TextOf(window);
    s.style = ::GetWindowLongW(window, GWL_STYLE);
    s.exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    s.owner = ::GetWindow(window, GW_OWNER);
    // Direct children in creation order (GW_CHILD is the top of the z-order, which is the
    // first created unless a control was moved on purpose).
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ControlInfo c;
        c.hwnd = child;
        c.id = ::GetDlgCtrlID(child);
        c.className = ClassNameOf(child);
        c.text = TextOf(child);
        ::GetWindowRect(child, &c.screenRect);
        c.style = ::GetWindowLongW(child, GWL_STYLE);
        c.exStyle = ::GetWindowLongW(child, GWL_EXSTYLE);
        c.visible = ::IsWindowVisible(child) != FALSE;
        c.enabled = ::IsWindowEnabled(child) != FALSE;
        s.controls.push_back(c);
        if (IsPushButton(c)) s.buttons.push_back(c);
        if (c.id == kMessageBoxTextId && c.className == "Static") {
            s.text = c.text;
            static constexpr std::string_view kMark = "\xE2\x80\x8F";  // U+200F in UTF-8
            while (s.text.starts_with(kMark)) {
                s.text.erase(0, kMark.size());
                ++s.leadingRightToLeftMarks;
            }
        }
    }
    HWND icon = IconControlOf(s);
    if (icon == nullptr) {
        s.icon = IconKind::None;
    } else {
        s.icon = IconKindOnScreen(icon);
    }
    return s;
}

HWND FindWindowOfJob(HANDLE job, Deadline deadline, const std::function<bool(HWND)>& wanted,
                     milliseconds interval) {
    HWND found = nullptr;
    PollUntil(
        deadline,
        [&] {
            for (const auto& member : RunningJobMembers(job)) {
                for (HWND w : VisibleTopLevelWindows(member.id)) {
                    if (wanted(w)) {
                        found = w;
                        return true;
                    }
                }
            }
            return false;
        },
        interval);
    return found;
}

WindowSnapshot WaitForDialog(DWORD processId, Deadline deadline) {
    HWND dialog = nullptr;
    PollUntil(deadline, [&] {
        for (HWND w : VisibleTopLevelWindows(processId)) {
            if (IsDialogClass(w)) {
                dialog = w;
                return true;
            }
        }
        return false;
    });
    if (dialog == nullptr) {
        throw DriverError("no dialog of process " + std::to_string(processId) +
                          " appeared in time; its windows: " + DescribeWindows(processId));
    }
    WindowSnapshot snapshot = Snapshot(dialog);
    // Where pixels exist, give the icon a moment to be drawn.
    if (snapshot.icon == IconKind::Unknown && ScreenIsReadable()) {
        const Deadline iconDeadline = Deadline::In(milliseconds(3000));
        PollUntil(iconDeadline, [&] {
            snapshot = Snapshot(dialog);
            return snapshot.icon != IconKind::Unknown;
        });
    }
    return snapshot;
}

WindowSnapshot WaitForMainWindow(DWORD processId, Deadline deadline) {
    HWND main = nullptr;
    PollUntil(deadline, [&] {
        for (HWND w : VisibleTopLevelWindows(processId)) {
            if (!IsDialogClass(w)) {
                main = w;
                return true;
            }
        }
        return false;
    });
    if (main == nullptr) {
        throw DriverError("no main window of process " + std::to_string(processId) +
                          " appeared in time; its windows: " + DescribeWindows(processId));
    }
    return Snapshot(main);
}

void WaitUntilGone(HWND window, Deadline deadline) {
    if (!PollUntil(deadline, [&] { return !::IsWindow(window) || !::IsWindowVisible(window); })) {
        throw DriverError("window \"" + TextOf(window) + "\" is still shown");
    }
}

void PressControl(HWND control) {
    if (!::PostMessageW(control, BM_CLICK, 0, 0)) throw DriverError(Win32ErrorText("PostMessageW(BM_CLICK)"));
}

void Press(HWND window, int buttonId) {
    HWND button = ::GetDlgItem(window, buttonId);
    if (button == nullptr) {
        throw DriverError("window \"" + TextOf(window) + "\" has no button " + std::to_string(buttonId));
    }
    PressControl(button);
}

void SetEditText(HWND window, int controlId, std::string_view text) {
    HWND edit = ::GetDlgItem(window, controlId);
    if (edit == nullptr) throw DriverError("no control " + std::to_string(controlId));
    const std::wstring wide = Widen(text);
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG,
                               kMessageTimeoutMs, &result) ||
        !result) {
        throw DriverError(Win32ErrorText("WM_SETTEXT"));
    }
}

void PressKey(HWND control, UINT virtualKey) {
    const UINT scanCode = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    const LPARAM up = down | static_cast<LPARAM>(0xC0000000u);  // previous state down, transition up
    if (!::PostMessageW(control, WM_KEYDOWN, virtualKey, down))
        throw DriverError(Win32ErrorText("PostMessageW(WM_KEYDOWN)"));
    // The key press itself may already have closed the window (Escape, Enter): then there is
    // nobody left to release the key to.
    if (!::PostMessageW(control, WM_KEYUP, virtualKey, up) && ::GetLastError() != ERROR_INVALID_WINDOW_HANDLE)
        throw DriverError(Win32ErrorText("PostMessageW(WM_KEYUP)"));
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

bool WaitForFocus(HWND window, HWND control, Deadline deadline) {
    return PollUntil(deadline, [&] { return FocusOf(window) == control; });
}

void TypeKey(HWND window, UINT virtualKey, Deadline deadline) {
    // Keyboard input goes to the foreground window, which changes asynchronously after a
    // window is shown or a dialog closes: typing earlier would reach the window before.
    if (!PollUntil(deadline, [&] { return ::GetForegroundWindow() == window; })) {
        const HWND foreground = ::GetForegroundWindow();
        throw DriverError("window \"" + TextOf(window) + "\" is not in the foreground; \"" +
                          (foreground ? TextOf(foreground) : std::string()) + "\" is");
    }
    INPUT keys[2] = {};
    for (auto& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(virtualKey);
        key.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    if (::SendInput(2, keys, sizeof(INPUT)) != 2) throw DriverError(Win32ErrorText("SendInput"));
}

// ---- Pixels ----

bool ScreenIsReadable() {
    static const bool readable = [] {
        const RECT probe{0, 0, 1, 1};
        return CaptureScreen(probe).has_value();
    }();
    return readable;
}

std::optional<Image> CaptureScreen(const RECT& r) {
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return std::nullopt;
    Canvas canvas(width, height);
    if (!canvas.ok()) return std::nullopt;
    HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return std::nullopt;
    const BOOL copied = ::BitBlt(canvas.dc(), 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    if (!copied) return std::nullopt;
    return canvas.ToImage();
}

std::optional<Image> CaptureWindow(HWND window) {
    RECT r;
    if (!::GetWindowRect(window, &r)) return std::nullopt;
    return CaptureScreen(r);
}

bool WriteBmp(const std::wstring& path, const Image& image) {
    const int rowBytes = (image.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height;  // bottom row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(rowBytes * image.height);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string data(reinterpret_cast<const char*>(&file), sizeof file);
    data.append(reinterpret_cast<const char*>(&info), sizeof info);
    std::string row(static_cast<size_t>(rowBytes), '\0');
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.At(x, y);
            row[x * 3 + 0] = static_cast<char>(p & 0xFF);
            row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        data += row;
    }
    UniqueHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out) return false;
    DWORD written = 0;
    return ::WriteFile(out.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
}

IconKind IconKindOnScreen(HWND iconControl) {
    RECT r;
    if (!::GetWindowRect(iconControl, &r)) return IconKind::Unknown;
    // One pixel of margin: the corner outside the control is the dialog's background.
    const RECT withMargin{r.left - 1, r.top - 1, r.right, r.bottom};
    const auto captured = CaptureScreen(withMargin);
    if (!captured) return IconKind::Unknown;
    const std::uint32_t background = captured->At(0, 0);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    Image shown{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) shown.pixels.push_back(captured->At(x + 1, y + 1));
    }

    static const std::pair<IconKind, LPCWSTR> kStandard[] = {
        {IconKind::Error, IDI_HAND},
        {IconKind::Question, IDI_QUESTION},
        {IconKind::Exclamation, IDI_EXCLAMATION},
        {IconKind::Information, IDI_ASTERISK},
    };
    IconKind best = IconKind::Unknown;
    double bestShare = 1.0;
    for (const auto& [kind, id] : kStandard) {
        Canvas reference(width, height);
        if (!reference.ok()) return IconKind::Unknown;
        reference.Fill(background);
        ::DrawIconEx(reference.dc(), 0, 0, ::LoadIconW(nullptr, id), width, height, 0, nullptr, DI_NORMAL);
        const Image drawn = reference.ToImage();
        // A mirrored (right-to-left) dialog shows its icon flipped.
        for (bool mirrored : {false, true}) {
            const double share = MismatchShare(shown, drawn, mirrored);
            if (share < bestShare) {
                bestShare = share;
                best = kind;
            }
        }
    }
    return bestShare <= 0.03 ? best : IconKind::Unknown;
}

int CountColour(const Image& image, std::uint32_t colour) {
    return static_cast<int>(std::count(image.pixels.begin(), image.pixels.end(), colour));
}

std::uint32_t DominantColour(const Image& image) {
    std::map<std::uint32_t, int> counts;
    for (auto p : image.pixels) ++counts[p];
    std::uint32_t best = 0;
    int bestCount = -1;
    for (const auto& [colour, count] : counts) {
        if (count > bestCount) {
            best = colour;
            bestCount = count;
        }
    }
    return best;
}

// ---- Geometry ----

RECT ClientRectOnScreen(HWND window) {
    // GetWindowInfo gives the client area in plain screen coordinates, also for a window
    // mirrored for right-to-left reading (whose own x runs from its right edge).
    WINDOWINFO info{};
    info.cbSize = sizeof info;
    if (!::GetWindowInfo(window, &info)) throw DriverError("GetWindowInfo failed");
    return info.rcClient;
}

POINT ClientOriginOnScreen(HWND window) {
    const RECT r = ClientRectOnScreen(window);
    return {r.left, r.top};
}

UINT DpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    HDC dc = ::GetDC(window);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(window, dc);
    return static_cast<UINT>(dpi);
}

// ---- Accessibility ----

namespace {
struct LiveRegionEvent {
    HWND hwnd;
    LONG object;
    LONG child;
};
std::vector<LiveRegionEvent>& LiveRegionSeen() {
    static std::vector<LiveRegionEvent> seen;
    return seen;
}
void CALLBACK LiveRegionReceived(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    LiveRegionSeen().push_back({hwnd, object, child});
}
}  // namespace

LiveRegionEvents::LiveRegionEvents(DWORD processId) {
    LiveRegionSeen().clear();
    hook_ = ::SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                              &LiveRegionReceived, processId, 0, WINEVENT_OUTOFCONTEXT);
}

LiveRegionEvents::~LiveRegionEvents() {
    if (hook_) ::UnhookWinEvent(hook_);
}

bool LiveRegionEvents::Announced(HWND control) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    for (const auto& e : LiveRegionSeen())
        if (e.hwnd == control && e.object == OBJID_CLIENT && e.child == CHILDID_SELF) return true;
    return false;
}

}  // namespace kelto::e2e

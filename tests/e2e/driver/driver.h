// The UI driver of the end-to-end suite: starts programs, finds their windows and dialogs,
// reads titles, texts, icon kinds, buttons and captions, types into edit boxes, presses
// buttons and reads pixels off the screen. It runs inside the same Wine prefix as the
// programs it drives and talks to them with the ordinary Win32 calls, so what it sees is
// what a user (or an accessibility tool) would see.
//
// Every wait is a poll against a deadline. A wait that runs out throws DriverError with a
// description of what was there instead; GoogleTest reports it as a failure of the test.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelto::e2e {

class DriverError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Text ----
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// ---- Time ----
using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How many times slower than on a plain machine the programs under test run: 1, unless they
// run under an emulator. Every deadline stretches by it, also the spans a check waits to see
// that nothing happens, since a slow program does late what it would do.
inline int& Slowness() {
    static int factor = 1;
    return factor;
}

struct Deadline {
    SteadyClock::time_point at;
    static Deadline In(milliseconds span) { return {SteadyClock::now() + span * Slowness()}; }
    bool Passed() const { return SteadyClock::now() >= at; }
};

// Calls `ready` until it returns true or the deadline passes; true when it became ready.
// The last call happens after the deadline, so a condition met just in time still counts.
template <typename F>
bool PollUntil(Deadline deadline, F&& ready, milliseconds interval = milliseconds(10)) {
    for (;;) {
        const bool last = deadline.Passed();
        if (ready()) return true;
        if (last) return false;
        ::Sleep(static_cast<DWORD>(interval.count()));
    }
}

// ---- Owned handles ----
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE h = nullptr) {
        if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

// ---- Start-up of a program that drives windows ----
// A path of the Linux side ("/...") as Wine's Z: drive shows it; any other path unchanged.
std::wstring ToWindowsPath(std::wstring path);
// Window coordinates in device pixels, whatever DPI the driven program runs at.
void BecomeDpiAware();

// ---- Files ----
// A file's whole content (shared with writers and deleters); empty when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
// Removes a folder and everything in it; a link inside (junction, symbolic link) is removed
// itself, never followed.
void RemoveFolderTree(const std::wstring& folder);

// ---- Processes ----
struct Process {
    UniqueHandle handle;
    DWORD id = 0;
    std::wstring commandLine;
};

// Starts a program with exactly this command line (CreateProcessW, no inherited handles).
// With a job, the process is put into it before its first instruction runs, so everything
// it starts in turn belongs to the job too.
Process StartProcess(const std::wstring& commandLine, const std::wstring& workingDirectory, HANDLE job);
bool IsRunning(const Process& process);
// The exit code, or nothing when the process is still running at the deadline.
std::optional<DWORD> WaitForExit(const Process& process, Deadline deadline);

// Processes of a job that are still running, with their image paths.
struct JobMember {
    DWORD id = 0;
    std::string image;
};
std::vector<JobMember> RunningJobMembers(HANDLE job);
std::string ImagePathOf(DWORD processId);

// ---- Windows ----
enum class IconKind { None, Error, Question, Exclamation, Information, Unknown };
const char* ToString(IconKind kind);
inline void PrintTo(IconKind kind, std::ostream* os) { *os << ToString(kind); }

struct ControlInfo {
    HWND hwnd = nullptr;
    int id = 0;
    std::string className;
    std::string text;
    RECT screenRect{};
    LONG style = 0;
    LONG exStyle = 0;
    bool visible = false;
    bool enabled = false;
};

struct WindowSnapshot {
    HWND hwnd = nullptr;
    DWORD processId = 0;
    std::string className;
    std::string title;
    // A message box's text: the static control with id 0xFFFF (empty when there is none),
    // without the RIGHT-TO-LEFT MARKs (U+200F) it begins with; those are counted apart.
    std::string text;
    int leadingRightToLeftMarks = 0;
    // The owner window (GW_OWNER), nullptr for an unowned one.
    HWND owner = nullptr;
    // Told from the pixels on screen; Unknown where nothing is drawn (the null driver).
    IconKind icon = IconKind::Unknown;
    // Push buttons in creation order, and every child control in creation order.
    std::vector<ControlInfo> buttons;
    std::vector<ControlInfo> controls;
    LONG style = 0;
    LONG exStyle = 0;

    // The child with this caption, or nullptr.
    const ControlInfo* ControlWithText(std::string_view caption) const;
    // The control with this caption; throws DriverError when the window has none.
    const ControlInfo& ControlCaptioned(std::string_view caption) const;
    const ControlInfo* ControlWithId(int id) const;
    std::vector<int> ButtonIds() const;
    std::vector<std::string> ButtonCaptions() const;
};

std::string ClassNameOf(HWND window);
std::string TextOf(HWND window);
// Visible top-level windows of a process, in z-order (topmost first).
std::vector<HWND> VisibleTopLevelWindows(DWORD processId);
// Every top-level window of a process, shown or hidden.
std::vector<HWND> AllTopLevelWindows(DWORD processId);
// A one-line description of a process's windows, for failure messages.
std::string DescribeWindows(DWORD processId);

WindowSnapshot Snapshot(HWND window);

// The first visible dialog (window class "#32770") of the process, once its text is set and
// (where pixels can be read) its icon has been drawn.
WindowSnapshot WaitForDialog(DWORD processId, Deadline deadline);
// The first visible top-level window of a running process of the job that `wanted` accepts,
// looked for every `interval` until the deadline; nullptr when none came.
HWND FindWindowOfJob(HANDLE job, Deadline deadline, const std::function<bool(HWND)>& wanted,
                     milliseconds interval = milliseconds(10));
// The first visible top-level window of the process that is not a dialog.
WindowSnapshot WaitForMainWindow(DWORD processId, Deadline deadline);
// Waits until the window is gone (destroyed or hidden).
void WaitUntilGone(HWND window, Deadline deadline);

// Presses a button of a window (BM_CLICK, posted: the click may open a modal dialog and the
// driver must not wait for that to close).
void Press(HWND window, int buttonId);
void PressControl(HWND control);
// Replaces the text of an edit control (WM_SETTEXT).
void SetEditText(HWND window, int controlId, std::string_view text);
// A key pressed and released while a control has the focus (posted WM_KEYDOWN, WM_KEYUP), as
// the dialog manager of a modal dialog sees it: Enter and Escape reach the dialog this way.
void PressKey(HWND control, UINT virtualKey);

// The control that has the keyboard focus in the thread that owns the window (the window
// itself, or nullptr when the thread has no focus).
HWND FocusOf(HWND window);
// Waits until the thread that owns the window has the keyboard focus on `control`; false
// when it never had.
bool WaitForFocus(HWND window, HWND control, Deadline deadline);
// A key pressed and released on the keyboard (SendInput), once `window` is the foreground
// window: the key goes to the control that has the focus there, through that program's
// message loop, as a user's key. Throws when the window does not come to the foreground.
void TypeKey(HWND window, UINT virtualKey, Deadline deadline);

// ---- Accessibility ----
// What a screen reader is told of a process's live regions (EVENT_OBJECT_LIVEREGIONCHANGED):
// an out-of-context WinEvent hook, whose events arrive in this thread's message queue. One at a
// time.
class LiveRegionEvents {
public:
    explicit LiveRegionEvents(DWORD processId);
    ~LiveRegionEvents();
    LiveRegionEvents(const LiveRegionEvents&) = delete;
    LiveRegionEvents& operator=(const LiveRegionEvents&) = delete;

    bool Hooked() const { return hook_ != nullptr; }
    // Takes what arrived; true once `control` (its client area as a whole) announced a change.
    bool Announced(HWND control);

private:
    HWINEVENTHOOK hook_ = nullptr;
};

// ---- Pixels ----
// 0x00RRGGBB, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
constexpr std::uint32_t Rgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
           static_cast<std::uint32_t>(b);
}

// A DIB section selected into a memory DC, with direct access to its pixels.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        dc_ = ::CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ =
            ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        if (bitmap_ != nullptr) old_ = ::SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        if (old_ != nullptr) ::SelectObject(dc_, old_);
        if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
        if (dc_ != nullptr) ::DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_; }
    void Fill(std::uint32_t colour) { std::fill(bits_, bits_ + width_ * height_, colour); }
    Image ToImage() const {
        ::GdiFlush();
        Image image{width_, height_, {}};
        image.pixels.assign(bits_, bits_ + width_ * height_);
        for (auto& p : image.pixels) p &= 0x00FFFFFFu;
        return image;
    }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// True when the screen's pixels can be read (an X display; not the null driver).
bool ScreenIsReadable();
// The screen's pixels inside a rectangle in screen coordinates; nothing when unreadable.
std::optional<Image> CaptureScreen(const RECT& screenRect);
// The window as shown on screen, title bar and frame included.
std::optional<Image> CaptureWindow(HWND window);
// Writes a 24-bit BMP.
bool WriteBmp(const std::wstring& path, const Image& image);
// Which standard message-box icon the control shows, judged from its pixels on screen.
IconKind IconKindOnScreen(HWND iconControl);
// How many pixels of the image have exactly this colour.
int CountColour(const Image& image, std::uint32_t colour);
// The colour most pixels of the image have.
std::uint32_t DominantColour(const Image& image);

// ---- Geometry ----
// The client area's origin on screen: its left edge as seen (also for a mirrored window).
POINT ClientOriginOnScreen(HWND window);
RECT ClientRectOnScreen(HWND window);
UINT DpiOf(HWND window);

}  // namespace kelto::e2e

// The acceptance kit's Windows side: what it knows of the system, how it observes the helper
// and what it puts back. Everything here follows Microsoft's documentation; where Wine cannot
// show a behaviour, the check says so instead of passing on what Wine happens to do.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "options.h"
#include "report.h"

namespace kelto::acceptance {

using e2e::Deadline;
using e2e::milliseconds;
using e2e::Narrow;
using e2e::PollUntil;
using e2e::UniqueHandle;
using e2e::Widen;

// An error number or result code as Windows prints it: "0x8000FFFF".
std::string Hex(long value);

// ---- System facts ----
struct SystemFacts {
    bool underWine = false;
    std::string wineVersion;
    DWORD major = 0, minor = 0, build = 0;
    bool windows64 = false;  // the kit runs as a 32-bit process under WOW64
    std::string uiLanguage;  // e.g. "he-IL"
    UINT dpi = 96;
    std::string uacLevel;  // from the policy values, described
};
SystemFacts ReadSystemFacts();
std::vector<Fact> DescribeFacts(const SystemFacts& facts);
bool IsElevatedAdministrator();

// ---- Processes ----
struct SeenProcess {
    DWORD id = 0;
    DWORD parentId = 0;
    std::wstring image;     // QueryFullProcessImageNameW, at the moment it was seen
    UniqueHandle handle;    // kept from that moment: the process is ended through it, never by id
    ULONGLONG seenAt = 0;   // GetTickCount64
    ULONGLONG created = 0;  // its creation time (GetProcessTimes), which orders parent and child
};

// Polls process snapshots (CreateToolhelp32Snapshot) and opens every process that was not
// there at the baseline, keeping its handle. A process that starts and ends between two
// polls is never seen: that is what polling loses.
class ProcessWatcher {
public:
    void Baseline();
    void Poll();
    // The first new process (in the order seen) that `wanted` accepts, polling until the deadline.
    SeenProcess* WaitFor(const std::function<bool(const SeenProcess&)>& wanted, Deadline deadline);
    std::deque<SeenProcess>& Seen() { return seen_; }
    bool IsRunning(const SeenProcess& p) const;
    // Ends, through their kept handles, the new processes that descend from a process `root`
    // accepts, and those `also` accepts; returns a line per process ended.
    std::vector<std::string> EndDescendants(const std::function<bool(const SeenProcess&)>& root,
                                            const std::function<bool(const SeenProcess&)>& also);

private:
    struct Known {
        DWORD id;
        FILETIME created;
    };
    std::vector<Known> baseline_;
    std::deque<SeenProcess> seen_;  // a deque: what WaitFor hands out stays where it is
    bool IsKnown(DWORD id, HANDLE process) const;
};

// Process creations reported by WMI (__InstanceCreationEvent on Win32_Process): image path
// and command line, also of processes that end at once. Runs on its own thread.
class WmiProcessEvents {
public:
    struct Event {
        std::wstring image;
        std::wstring commandLine;
        DWORD id = 0;
    };
    // False (with a reason) where the system offers no such subscription.
    bool Start(std::string& reason);
    std::vector<Event> Events();
    ~WmiProcessEvents();

private:
    struct State;
    State* state_ = nullptr;
};

// Descriptions of the restore points Windows lists (WMI class SystemRestore in root\default);
// nothing, with a reason, where the query fails.
std::optional<std::vector<std::wstring>> RestorePointDescriptions(std::string& reason);

// ---- Shell ----
// The executable and the open command of the kelto: handler as the shell resolves it
// (AssocQueryStringW with ASSOCF_IS_PROTOCOL); empty when none is registered.
std::wstring AssociatedExecutable();
std::wstring AssociatedCommand();
// Runs a file or URL through the desktop's shell (IShellDispatch2::ShellExecute reached via
// IShellWindows), so that it starts with the desktop's unelevated token even though the kit
// itself runs elevated. False with a reason where the desktop shell offers no such object.
bool ShellExecuteAsDesktop(const std::wstring& file, const std::wstring& arguments, std::string& reason);
// Folders shown by Explorer windows (IShellWindows), as file-system paths.
std::optional<std::vector<std::wstring>> ExplorerFolders(std::string& reason);
// The token's elevation type of a process (TokenElevationType): 1 default, 2 full, 3 limited.
std::optional<int> ElevationTypeOf(HANDLE process);

// ---- Registry: saved at the start, put back at the end ----
class SavedKey {
public:
    SavedKey(HKEY root, std::wstring path, REGSAM view = 0);
    ~SavedKey();
    SavedKey(const SavedKey&) = delete;
    SavedKey& operator=(const SavedKey&) = delete;
    // Puts the key back as it was; false when afterwards it exists where it did not, or not
    // where it did.
    bool Restore();
    std::string Describe() const;

private:
    HKEY root_;
    std::wstring path_;
    REGSAM view_;
    std::wstring backup_;
    bool existed_ = false;
    bool restored_ = false;
};
// One REG_DWORD value (in the 64-bit view), remembered and put back: present with its value,
// or absent.
class SavedDword {
public:
    SavedDword(HKEY root, std::wstring key, std::wstring name);
    ~SavedDword();
    SavedDword(const SavedDword&) = delete;
    SavedDword& operator=(const SavedDword&) = delete;
    bool Restore();
    std::string Describe() const;

private:
    HKEY root_;
    std::wstring key_, name_;
    std::optional<DWORD> value_;
    bool restored_ = false;
};
bool CopyKey(HKEY fromRoot, const std::wstring& from, HKEY toRoot, const std::wstring& to);

// ---- Files ----
// (Reading a whole file and removing a folder tree: the driver's ReadWholeFile and
// RemoveFolderTree.)
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Text in the ANSI code page (the helper's log) as UTF-8.
std::string AnsiToUtf8(const std::string& text);

// ---- Windows on screen ----
// The window's own picture (PrintWindow), also where another window covers it; nothing
// where the window drew no picture of more than one colour.
std::optional<e2e::Image> PrintWindowImage(HWND window);
// Whether a window has a taskbar button as Windows gives one: a visible window that is
// unowned and no tool window, or that has WS_EX_APPWINDOW; else through a visible owner that
// has one. `why` tells what was found.
bool HasTaskbarButton(HWND window, std::string& why);
// Where the end stop of the last line of a message box's text is drawn: true when it is at
// the left end (right-to-left reading), judged from the text control's pixels.
enum class StopPlace { Left, Right, Unknown };
StopPlace EndStopPlace(const e2e::Image& textImage, std::string& why);

}  // namespace kelto::acceptance

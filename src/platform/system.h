// The interfaces through which the helper touches Windows. Logic depends only on
// these; the real implementations live in platform/win32, test doubles in tests/support.
// All strings are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelto::platform {

// A calendar moment to the second (no time zone attached: callers know whether it is UTC
// or local time).
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Opaque owner-window handle handed through to the shell and message boxes.
using WindowHandle = std::uintptr_t;

// What a call into the system reported: 0 when it succeeded, otherwise the Windows error
// number captured at the call (GetLastError, or the code an API returned), kept so that the
// caller can log it, e.g. 183 for a folder that already exists.
struct Outcome {
    std::uint32_t error = 0;
    bool Ok() const { return error == 0; }
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

// Registry value types, with the numbers Windows gives them.
namespace regtype {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace regtype

// A registry value exactly as stored: its type and its bytes (strings as UTF-16LE with
// whatever terminator they were stored with).
struct RawRegistryValue {
    std::uint32_t type = regtype::kNone;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const RawRegistryValue&, const RawRegistryValue&) = default;
};

enum class ReadStatus {
    Ok,
    Absent,     // the key or the value does not exist
    WrongType,  // the value exists but holds another type than the one asked for
    Failed,     // the system refused the read; `error` says why
};

// How a registry read went. Tests true only for Ok, so a caller that needs the value and
// nothing else can write `if (registry.ReadString(name, text))`.
struct ReadResult {
    ReadStatus status = ReadStatus::Failed;
    std::uint32_t error = 0;  // the Windows error number when Failed, else 0
    bool Ok() const { return status == ReadStatus::Ok; }
    explicit operator bool() const { return Ok(); }
    friend bool operator==(const ReadResult&, const ReadResult&) = default;
};

// Registry access by full name, e.g. "HKCU\Software\KeltoRemote\AuthorizedSession\SessionID".
// A name that ends in "\" denotes a key: its default value when read or written, the key
// itself when deleted. Roots: "HKCU\", "HKU\" (the loaded hives of the accounts, by SID) and
// "HKLM\" (the machine's native view, also for the 32-bit helper on 64-bit Windows).
class Registry {
public:
    virtual ~Registry() = default;
    // Reads a value as text: REG_SZ and REG_EXPAND_SZ as stored (unexpanded), REG_DWORD as
    // its decimal number; any other type is WrongType.
    virtual ReadResult ReadString(const std::string& name, std::string& value) = 0;
    // Writes a REG_SZ value, creating missing keys.
    virtual bool WriteString(const std::string& name, const std::string& value) = 0;
    // Reads a REG_DWORD; any other type (or a DWORD of another size than 4 bytes) is WrongType.
    virtual ReadResult ReadDword(const std::string& name, std::uint32_t& value) = 0;
    virtual bool WriteDword(const std::string& name, std::uint32_t value) = 0;
    // Reads a value of any type as its type and bytes, so that it can be put back exactly.
    virtual ReadResult ReadRaw(const std::string& name, RawRegistryValue& value) = 0;
    // Writes exactly this type and these bytes, creating missing keys.
    virtual Outcome WriteRaw(const std::string& name, const RawRegistryValue& value) = 0;
    // Deletes a value, or a key that has no subkeys.
    virtual bool Delete(const std::string& name) = 0;
};

// How a started program's window is shown (the values Windows uses).
inline constexpr int kShowHidden = 0;
inline constexpr int kShowNormal = 1;

// The Windows shell's start function. Returns the shell's result: above 32 is success.
constexpr bool ShellSucceeded(int result) { return result > 32; }

// Who tells the customer when the shell cannot start something: the shell with a box of its
// own, or the caller, which then shows its own failure box and the shell shows none.
enum class ShellFailureBox { Shell, Caller };

class Shell {
public:
    virtual ~Shell() = default;
    // Starts a program of the helper's own choosing (never a downloaded file that needs the
    // shell's download check) and returns once the shell has handed it over.
    virtual int Execute(WindowHandle owner, const std::string& verb, const std::string& file,
                        const std::string& parameters, const std::string& directory, int showMode,
                        ShellFailureBox failureBox) = 0;
    // Loads now what the first start would load, on the thread that starts (the window thread).
    virtual void Prepare() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime UtcNow() = 0;
    virtual DateTime LocalNow() = 0;
    // Pauses; the calling thread's windows stay alive meanwhile.
    virtual void Sleep(int milliseconds) = 0;
};

class Environment {
public:
    virtual ~Environment() = default;
    // The variable's value; an empty string when it is not set.
    virtual std::string Get(const std::string& name) = 0;
};

enum class AppendResult { Ok, Busy, Failed };

// What stands at a path, read from a handle opened without following a link there.
struct PathFacts {
    bool folder = false;
    // A reparse point that names another place (a junction, a symbolic link). Other reparse
    // points, such as files a cloud client keeps, are ordinary files and folders here.
    bool nameSurrogate = false;
    std::uint32_t links = 0;  // hard links to it
};

// One allowing entry of a folder's access list: who (a SID in its "S-1-..." form), which
// access rights, and how the entry is inherited (the ACE flags).
struct AccessEntry {
    std::string sid;
    std::uint32_t mask = 0;
    std::uint8_t inheritance = 0;
    friend bool operator==(const AccessEntry&, const AccessEntry&) = default;
};

// A folder's owner and access list. `isProtected`: nothing is inherited from the parent.
// `onlyAllowing` is false when the list holds any entry other than an allowing one.
struct FolderSecurity {
    std::string owner;
    bool isProtected = false;
    bool onlyAllowing = true;
    std::vector<AccessEntry> allowed;
    friend bool operator==(const FolderSecurity&, const FolderSecurity&) = default;
};

// A file or folder kept open by the system layer; letting go of it closes it.
class HeldPath {
public:
    virtual ~HeldPath() = default;
};

enum class RemoveOutcome {
    Removed,
    NotMatching,  // not a plain folder, or its owner and access list are not the expected ones
    InUse,        // it or something in it is open elsewhere: nothing was removed
    Failed,
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True when a directory listing of exactly this path returns a normal file: one that
    // exists and is neither hidden, nor a system file, nor a folder.
    virtual bool IsNormalFile(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Names (not paths) of the files / subfolders of a folder; empty when unreadable.
    virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
    virtual std::vector<std::string> ListFolders(const std::string& folder) = 0;
    // Creates one folder (its parent must exist). Error 183 (ERROR_ALREADY_EXISTS) when
    // something of that name is already there.
    virtual Outcome CreateFolder(const std::string& path) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    // Appends bytes to a file, creating it; the file is opened for this one write only and
    // shared for reading and writing. Busy: another process holds it without sharing.
    // Failed, and nothing written, also when what stands at the path is no regular file
    // (platform::IsRegularFile): a link is never followed.
    virtual AppendResult Append(const std::string& path, const std::string& bytes) = 0;

    // ---- folders only administrators can write ----
    // Opens what stands at the path without following a link and without letting anyone
    // delete or rename it while `held` lives; its facts are read from that handle.
    virtual Outcome OpenNoFollow(const std::string& path, PathFacts& facts, std::unique_ptr<HeldPath>& held) = 0;
    // Creates one folder with exactly this owner and access list from its first moment (error
    // 183 when something of that name exists) and holds it as OpenNoFollow does. The handle is
    // the one the creation returned, so it names the folder just made, whatever happened to
    // the name since; its facts are read from it.
    virtual Outcome CreateSecuredFolder(const std::string& path, const FolderSecurity& security, PathFacts& facts,
                                        std::unique_ptr<HeldPath>& held) = 0;
    // Names of the files / subfolders of a folder that are not name-surrogate links.
    virtual std::vector<std::string> ListFilesNoLinks(const std::string& folder) = 0;
    virtual std::vector<std::string> ListFoldersNoLinks(const std::string& folder) = 0;
    // Removes a folder with everything in it when `expected` accepts the folder's security,
    // read from the handle that removes it; links inside are removed, never followed. All or
    // nothing: something in it that is open elsewhere keeps the whole folder.
    virtual RemoveOutcome RemoveFolderTreeIf(const std::string& path,
                                             const std::function<bool(const FolderSecurity&)>& expected) = 0;
};

// How a SID given as text relates to the account this process runs as.
enum class AccountMatch {
    NotASid,   // the system does not read it as a SID
    Own,       // the process's own user
    Other,     // another account
};

// The running process: its command line, its module path and the account it runs as.
class Process {
public:
    virtual ~Process() = default;
    // The user SID of the process's token as text ("S-1-5-21-..."); empty when unreadable.
    virtual std::string UserSid() = 0;
    // Compares the SID with the process's own user SID, as SIDs (not as texts).
    virtual AccountMatch MatchAccount(const std::string& sid) = 0;
    // The whole command line as Windows gave it, program path included.
    virtual std::string CommandLine() = 0;
    // The path of the running executable; empty when the system cannot tell it.
    virtual std::string ModuleFileName() = 0;
    // The text converted to the system's ANSI code page, with that code page's
    // replacement character for what it cannot represent.
    virtual std::string ToAnsiCodePage(const std::string& utf8) = 0;
};

// Child processes, run and awaited.
class ChildProcesses {
public:
    virtual ~ChildProcesses() = default;
    // Runs the command line with its window shown as `showMode` says (kShow...) and waits
    // until it ends, the calling thread's windows alive meanwhile; the exit code, or nothing
    // when the program could not be started or not be waited for.
    virtual std::optional<std::uint32_t> RunAndWait(const std::string& commandLine, int showMode) = 0;
};

// One restore point as enumerated from the SystemRestore class.
struct RestorePointInfo {
    std::string description;
    std::int32_t sequenceNumber = 0;
    // The error met reading this point's SequenceNumber (0 when it was read): one unreadable
    // point does not end the enumeration; whoever wants the number decides.
    std::int32_t sequenceError = 0;
};

// WMI SystemRestore in root\default. Every call returns an error number (0 when the call
// itself raised no error); method results travel in the out parameter. A call may take
// minutes (a restore point): the calling thread's windows stay alive meanwhile (the COM
// apartment's own loop runs their messages), and take no input.
class SystemRestore {
public:
    virtual ~SystemRestore() = default;
    // Reaches the SystemRestore class object; the error number when it cannot be had.
    virtual std::int32_t Bind() = 0;
    virtual std::int32_t Enable(const std::string& drive, std::int32_t& result) = 0;
    virtual std::int32_t CreateRestorePoint(const std::string& description, std::int32_t restorePointType,
                                            std::int32_t eventType, std::int32_t& result) = 0;
    virtual std::int32_t Restore(std::int32_t sequenceNumber, std::int32_t& result) = 0;
    virtual std::int32_t Enumerate(std::vector<RestorePointInfo>& points) = 0;
};

struct HttpTimeouts {
    int resolveMs = 0;
    int connectMs = 0;
    int sendMs = 0;
    int receiveMs = 0;
};

class Http {
public:
    virtual ~Http() = default;
    // A GET with the given request headers, returning when it is over; the calling thread's
    // windows stay alive meanwhile. The HTTP status, or nothing when no answer arrived (name
    // not resolved, refused, timed out).
    virtual std::optional<int> Get(const std::string& url, const HttpTimeouts& timeouts,
                                   const std::vector<std::pair<std::string, std::string>>& headers) = 0;
};

// Message box flags and answers, with the values Windows uses.
namespace mb {
inline constexpr unsigned kOk = 0x0;
inline constexpr unsigned kOkCancel = 0x1;
inline constexpr unsigned kYesNoCancel = 0x3;
inline constexpr unsigned kYesNo = 0x4;
inline constexpr unsigned kIconError = 0x10;
inline constexpr unsigned kIconQuestion = 0x20;
inline constexpr unsigned kIconExclamation = 0x30;
inline constexpr unsigned kIconInformation = 0x40;
inline constexpr unsigned kDefButton1 = 0x0;
inline constexpr unsigned kDefButton2 = 0x100;
inline constexpr unsigned kDefButton3 = 0x200;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
}  // namespace mb

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A right-to-left message box; returns the button pressed (mb::kId...).
    virtual int MessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                           unsigned flags) = 0;
    // A modal text-input box with OK and Cancel; the typed text, or empty on Cancel.
    virtual std::string InputBox(WindowHandle owner, const std::string& prompt, const std::string& title) = 0;
};

// What a wait reports when its time ran out (WAIT_TIMEOUT).
inline constexpr std::uint32_t kWaitTimeout = 258;

// A lock shared by every process on the machine: one holder at a time.
class MachineLock {
public:
    virtual ~MachineLock() = default;
    // Waits at most `timeoutMs` milliseconds for the lock; meanwhile the calling thread's
    // windows go on handling their messages (input to them is dropped, never run). Ok when
    // this process holds the lock, also when its last holder ended without releasing it;
    // otherwise kWaitTimeout when the time ran out, or the system's error when the lock
    // could not be had at all.
    virtual Outcome Acquire(std::uint32_t timeoutMs) = 0;
    // Gives the lock up; nothing happens when it is not held.
    virtual void Release() = 0;
};

// How Windows was started this time.
class BootMode {
public:
    virtual ~BootMode() = default;
    // True in Safe Mode, with or without networking: Windows makes no restore point there.
    virtual bool SafeMode() = 0;
};

// Everything the logic may ask of the system, passed by reference where it is needed.
struct System {
    Registry& registry;
    Shell& shell;
    Clock& clock;
    Environment& environment;
    FileSystem& files;
    Process& process;
    ChildProcesses& children;
    SystemRestore& systemRestore;
    Http& http;
    Dialogs& dialogs;
    // Held by the one elevated instance that works on the restore-point creation limit.
    MachineLock& restoreLock;
    BootMode& boot;
};

}  // namespace kelto::platform

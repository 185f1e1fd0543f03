// Shell start, clocks, environment, the running process and child processes.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/alive_wait_win.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
DateTime FromSystemTime(const SYSTEMTIME& t) {
    return DateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}
}  // namespace

unsigned long ShellExecuteMask(ShellFailureBox failureBox) {
    // NOZONECHECKS: what the helper starts is its own choice (a system program, or itself, which
    // the customer already allowed to run), not a downloaded file for the shell to warn about.
    // NOASYNC: the helper may end right after the call; the shell finishes the start first.
    ULONG mask = SEE_MASK_NOZONECHECKS | SEE_MASK_NOASYNC;
    // The caller explains a failure in its own box: the shell adds none.
    if (failureBox == ShellFailureBox::Caller) mask |= SEE_MASK_FLAG_NO_UI;
    return mask;
}

namespace {
// ShellExecuteExW, with the thread in a COM apartment: verbs and classes may be served by shell
// extensions, which want one. Entered on the first use (always from the window thread) and kept
// to the end of the program: the shell may still be at work when a call has returned.
decltype(&::ShellExecuteExW) ShellExecuteEntry() {
    static const auto shellExecuteEx = KELTO_SYSTEM_FUNCTION(kShell32, ShellExecuteExW);
    static const ComInit com;
    return shellExecuteEx;
}
}  // namespace

void Win32Shell::Prepare() { ShellExecuteEntry(); }

int Win32Shell::Execute(WindowHandle owner, const std::string& verb, const std::string& file,
                        const std::string& parameters, const std::string& directory, int showMode,
                        ShellFailureBox failureBox) {
    const std::wstring wVerb = Widen(verb);
    const std::wstring wFile = Widen(file);
    const std::wstring wParameters = Widen(parameters);
    const std::wstring wDirectory = Widen(directory);
    const auto shellExecuteEx = ShellExecuteEntry();
    if (!shellExecuteEx) return SE_ERR_DLLNOTFOUND;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = ShellExecuteMask(failureBox);
    info.hwnd = reinterpret_cast<HWND>(owner);
    info.lpVerb = wVerb.empty() ? nullptr : wVerb.c_str();
    info.lpFile = wFile.c_str();
    info.lpParameters = wParameters.empty() ? nullptr : wParameters.c_str();
    info.lpDirectory = wDirectory.empty() ? nullptr : wDirectory.c_str();
    info.nShow = showMode;
    BOOL started = FALSE;
    {
        // The shell may run this thread's messages itself (the elevation prompt can stay up
        // for minutes): the windows ignore commands meanwhile, and the clicks and keys given
        // while the call ran are dropped, never run after it.
        const ThreadBusy busy;
        started = shellExecuteEx(&info);
        DropQueuedInput();
    }
    // The result is the shell's own code in hInstApp, as ShellExecute returns it: above 32 on
    // success, an SE_ERR_ number otherwise (a refused elevation prompt is SE_ERR_ACCESSDENIED),
    // the numbers the helper's boxes and log lines give. hInstApp is documented above 32 on
    // success only with SEE_MASK_NOCLOSEPROCESS, so the call's own answer decides that.
    const int code = static_cast<int>(reinterpret_cast<INT_PTR>(info.hInstApp));
    if (started) return ShellSucceeded(code) ? code : 33;
    return ShellSucceeded(code) ? 0 : code;
}

DateTime Win32Clock::UtcNow() {
    SYSTEMTIME t;
    ::GetSystemTime(&t);
    return FromSystemTime(t);
}

DateTime Win32Clock::LocalNow() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return FromSystemTime(t);
}

// The windows stay alive through the pause. Inside another wait (which already runs the
// messages) it is a plain pause.
void Win32Clock::Sleep(int milliseconds) {
    const DWORD span = static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds);
    if (IsThreadBusy()) {
        ::Sleep(span);
        return;
    }
    const WaitEnd end = WaitForHandlesAlive({}, span);
    if (end.kind == WaitEnd::Kind::Failed) ::Sleep(span);
}

// SM_CLEANBOOT: 0 for a normal boot, 1 for Safe Mode, 2 for Safe Mode with networking.
bool Win32BootMode::SafeMode() { return ::GetSystemMetrics(SM_CLEANBOOT) != 0; }

std::string Win32Environment::Get(const std::string& name) {
    const std::wstring wName = Widen(name);
    std::wstring buffer(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length =
            ::GetEnvironmentVariableW(wName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return Narrow(buffer);
        }
        buffer.resize(length);
    }
}

std::string Win32Process::CommandLine() { return Narrow(::GetCommandLineW()); }

std::string Win32Process::ModuleFileName() {
    // Grow the buffer until the path is not truncated: a deep install folder must still work.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return Narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

namespace {
// The process token's user, in a buffer that TOKEN_USER points into.
std::vector<BYTE> TokenUser() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), ::TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}
}  // namespace

std::string Win32Process::UserSid() {
    const std::vector<BYTE> user = TokenUser();
    if (user.empty()) return {};
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text)) return {};
    std::string sid = Narrow(text);
    ::LocalFree(text);
    return sid;
}

AccountMatch Win32Process::MatchAccount(const std::string& sid) {
    PSID other = nullptr;
    if (!::ConvertStringSidToSidW(Widen(sid).c_str(), &other)) return AccountMatch::NotASid;
    const std::vector<BYTE> user = TokenUser();
    const bool own =
        !user.empty() && ::EqualSid(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, other);
    ::LocalFree(other);
    // An unreadable own token: the SID cannot be told apart from it, so it is not trusted as
    // another account's either.
    if (user.empty()) return AccountMatch::NotASid;
    return own ? AccountMatch::Own : AccountMatch::Other;
}

std::string Win32Process::ToAnsiCodePage(const std::string& utf8) {
    const std::wstring wide = Widen(utf8);
    if (wide.empty()) return {};
    // No best-fit mapping: a character the code page lacks becomes its replacement
    // character, not a look-alike.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int length = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                       nullptr, nullptr);
    if (length == 0) {
        flags = 0;  // code pages such as UTF-8 refuse the flag
        length = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                       nullptr, nullptr);
    }
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), out.data(), length,
                          nullptr, nullptr);
    return out;
}

std::optional<std::uint32_t> Win32ChildProcesses::RunAndWait(const std::string& commandLine, int showMode) {
    // A second child is never started from a message run while the first is awaited.
    if (IsThreadBusy()) return std::nullopt;
    std::wstring mutableLine = Widen(commandLine);
    // A console program gets a console of its own, shown as asked: the customer sees its
    // progress and can close it to end a child that hangs.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return std::nullopt;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    // The child may run for minutes (a download): its console can be closed, which ends it; the
    // helper's windows paint and answer meanwhile, and take no input.
    const HANDLE handles[] = {process.get()};
    if (WaitForHandlesAlive(handles, INFINITE).kind != WaitEnd::Kind::Done) return std::nullopt;
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.get(), &exitCode)) return std::nullopt;
    return exitCode;
}

}  // namespace kelto::platform::win32

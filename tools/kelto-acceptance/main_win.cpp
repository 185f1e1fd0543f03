// kelto-acceptance.exe: checks the real KeltoClientHelper.exe beside it on this PC.
//
//   kelto-acceptance --i-have-a-snapshot [--with-restart] [--safe-mode] [--standard-user NAME] [--report-dir=DIR]
//
// It refuses (exit 2, one line) where it would change a machine it should not: without
// administrator rights, without the word that a snapshot exists, or when the kelto: handler
// registered here is another program than the helper beside it. Otherwise it walks the roads,
// puts back what it changed and writes acceptance-report.tsv and acceptance-report.html; exit
// 0 when no check failed, 1 when one did.
#include <windows.h>
// After <windows.h>.
#include <objbase.h>

#include <cstdio>

#include "kit_win.h"
#include "rescue_win.h"
#include "roads_win.h"

namespace {

using namespace kelto::acceptance;

std::wstring OwnFolder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return full;
}

// An administrator may open every process (SeDebugPrivilege), also those of another account
// that the standard-account road starts: the kit keeps a handle to each process it sees.
void EnableDebugPrivilege() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    const UniqueHandle owned(token);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid))
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Handed out by the kit's own server as the rescue VM's emulator: only records its start.
    if (RunAsRecordingEmulator()) return 0;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Narrow(argv[i]));
    const ParsedOptions parsed = ParseOptions(arguments);
    if (!parsed.ok) {
        std::fprintf(stderr, "kelto-acceptance: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::printf("%s\n", std::string(kUsage).c_str());
        return 0;
    }
    const std::wstring helper = OwnFolder() + L"\\KeltoClientHelper.exe";
    Preconditions found;
    found.helperBeside = ::GetFileAttributesW(helper.c_str()) != INVALID_FILE_ATTRIBUTES;
    found.elevatedAdministrator = IsElevatedAdministrator();
    const std::wstring registered = AssociatedExecutable();
    found.registeredHandler = Narrow(registered);
    found.handlerIsTheHelper =
        ::CompareStringOrdinal(FullPath(registered).c_str(), -1, helper.c_str(), -1, TRUE) == CSTR_EQUAL;
    if (const std::string refusal = RefusalOf(parsed.options, found); !refusal.empty()) {
        std::fprintf(stderr, "kelto-acceptance: %s\n", refusal.c_str());
        return 2;
    }
    const std::wstring reportDir = parsed.options.reportDir.empty()
                                       ? OwnFolder()
                                       : FullPath(kelto::e2e::ToWindowsPath(Widen(parsed.options.reportDir)));

    kelto::e2e::BecomeDpiAware();
    EnableDebugPrivilege();
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Default security for the calls into WMI and the shell, as their documentation asks.
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    int result = 1;
    try {
        result = RunKit(parsed.options, helper, reportDir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelto-acceptance: stopped: %s\n", e.what());
    }
    ::CoUninitialize();
    return result;
}

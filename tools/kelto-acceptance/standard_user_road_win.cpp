// The road of a customer in a standard account, who elevates with an administrator's name.
#include "kit_roads_win.h"

#include <aclapi.h>
#include <sddl.h>
#include <userenv.h>

#include <cstdio>

namespace kelto::acceptance::roads {

// ---- A customer in a standard account ----

std::wstring ReadSecretLine() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = ::GetConsoleMode(input, &mode);
    if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring line;
    wchar_t c = 0;
    DWORD read = 0;
    while (::ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1 && c != L'\n') {
        if (c != L'\r') line += c;
    }
    if (console) ::SetConsoleMode(input, mode);
    std::printf("\n");
    return line;
}

namespace {

void Wipe(std::wstring& secret) {
    ::SecureZeroMemory(secret.data(), secret.size() * sizeof(wchar_t));
    secret.clear();
}

// The account's string SID and environment, read from a process that runs as it.
std::wstring SidOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    UniqueHandle owned(token);
    BYTE buffer[256];
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

std::wstring EnvironmentValueOf(HANDLE process, const std::wstring& name) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return {};
    UniqueHandle owned(token);
    void* block = nullptr;
    if (!::CreateEnvironmentBlock(&block, token, FALSE)) return {};
    std::wstring value;
    for (const wchar_t* entry = static_cast<const wchar_t*>(block); *entry != L'\0';
         entry += wcslen(entry) + 1) {
        const std::wstring e = entry;
        if (e.size() > name.size() && e[name.size()] == L'=' &&
            ::CompareStringOrdinal(e.c_str(), static_cast<int>(name.size()), name.c_str(), -1, TRUE) ==
                CSTR_EQUAL) {
            value = e.substr(name.size() + 1);
        }
    }
    ::DestroyEnvironmentBlock(block);
    return value;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[2048];
    DWORD size = sizeof value;
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

}  // namespace

void Kit::StandardUserRoad() {
    const std::string name = "standard account (--standard-user)";
    Say("road: a customer in the standard account " + options_.standardUser);
    std::wstring user = Widen(options_.standardUser);
    std::wstring domain = L".";
    if (const size_t slash = user.find(L'\\'); slash != std::wstring::npos) {
        domain = user.substr(0, slash);
        user = user.substr(slash + 1);
    }
    // A folder the account can write, holding a copy of the helper, as its Downloads would.
    const std::wstring folder = L"C:\\kelto-acceptance-" + user;
    const std::wstring copy = folder + L"\\KeltoClientHelper.exe";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    EXPLICIT_ACCESSW access{};
    std::wstring trustee = (domain == L"." ? user : domain + L"\\" + user);
    ::BuildExplicitAccessWithNameW(&access, trustee.data(), GENERIC_ALL, GRANT_ACCESS,
                                   SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    PACL acl = nullptr;
    DWORD aclError = ::SetEntriesInAclW(1, &access, nullptr, &acl);
    if (aclError == ERROR_SUCCESS) {
        aclError = ::SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr);
        ::LocalFree(acl);
    }
    if (aclError != ERROR_SUCCESS || !::CopyFileW(helper_.c_str(), copy.c_str(), FALSE)) {
        Add(name, Status::Fail,
            "could not prepare " + Narrow(folder) + " for the account (error " +
                std::to_string(aclError != ERROR_SUCCESS ? aclError : ::GetLastError()) + ")");
        return;
    }

    // Starts the copy as the account, its profile (and so its registry hive) loaded.
    auto startAs = [&](const std::wstring& arguments) -> SeenProcess* {
        std::wstring line = L"\"" + copy + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        const ULONGLONG since = ::GetTickCount64();
        if (!::CreateProcessWithLogonW(user.c_str(), domain.c_str(), password_.c_str(), LOGON_WITH_PROFILE,
                                       copy.c_str(), line.data(), 0, nullptr, folder.c_str(), &si, &pi)) {
            Add(name + ": logon", Status::Fail,
                "CreateProcessWithLogonW failed, error " + std::to_string(::GetLastError()));
            return nullptr;
        }
        UniqueHandle thread(pi.hThread);
        UniqueHandle process(pi.hProcess);
        return watcher_.WaitFor(
            [&](const SeenProcess& p) { return p.id == pi.dwProcessId && p.seenAt + 1000 >= since; },
            Deadline::In(kWait));
    };
    auto isCopy = [&](const SeenProcess& p) { return SamePath(p.image, copy); };

    // Registration from the main window, in that account.
    watcher_.Baseline();
    SeenProcess* main = startAs(L"");
    if (main == nullptr) {
        Wipe(password_);
        return;
    }
    const std::wstring sid = SidOf(main->handle.get());
    const std::wstring temp = EnvironmentValueOf(main->handle.get(), L"TEMP");
    if (sid.empty()) {
        Add(name, Status::Fail, "the account's SID could not be read from its process");
        EndProcessesOfRoad([&](const SeenProcess& p) { return isCopy(p); });
        Wipe(password_);
        return;
    }
    SavedKey registration(HKEY_USERS, sid + L"_Classes\\kelto");
    SavedKey session(HKEY_USERS, sid + L"\\Software\\KeltoRemote");
    std::string registered;
    try {
        const auto window = e2e::WaitForMainWindow(main->id, Deadline::In(kWait));
        const auto* install = window.ControlWithText(kInstallCaption);
        if (install == nullptr) throw e2e::DriverError("no Install button");
        e2e::PressControl(install->hwnd);
        if (const auto box = NextDialog(*main)) Answer(*box, IDOK);
        registered = Narrow(
            ReadString(HKEY_USERS, sid + L"_Classes\\kelto\\shell\\open\\command", nullptr).value_or(L""));
        ::PostMessageW(window.hwnd, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(main->handle.get(), 15000);
    } catch (const e2e::DriverError& e) {
        registered = std::string("(") + e.what() + ")";
    }
    const std::string expectedCommand = "\"" + Narrow(copy) + "\" \"%1\"";
    Add(name + ": registered for the account",
        SamePath(Widen(registered), Widen(expectedCommand)) ? Status::Pass : Status::Fail,
        "HKEY_USERS\\" + Narrow(sid) + "_Classes\\kelto\\shell\\open\\command: " + registered);

    // Two requests of one session, each as the registered command starts the helper.
    const std::string sessionId = sessionId_ + "-std";
    std::string evidence;
    bool secondOk = false;
    bool tempShown = false;
    std::string tempEvidence;
    for (const char* key : {"ipconfig", "temp"}) {
        const bool first = std::string(key) == "ipconfig";
        const ULONGLONG since = ::GetTickCount64();
        watcher_.Baseline();
        SeenProcess* request = startAs(L"\"kelto:" + Widen(key) + L"/sid/" + Widen(sessionId) + L"\"");
        if (request == nullptr) break;
        bool tokenAsked = false;
        bool consented = false;
        for (int step = 0; step < 4; ++step) {
            const auto box = NextDialog(*request);
            if (!box) break;
            if (box->title == kTokenPromptTitle) {
                tokenAsked = true;
                std::string typed;
                if (!TypeToken(*box, typed)) {
                    evidence += std::string(key) + ": " + typed + "; ";
                    break;
                }
            } else if (box->title == kConsentTitle) {
                consented = true;
                Answer(*box, IDYES);
            } else if (box->title == kRestoreTitle) {
                Answer(*box, IDNO);
                break;
            } else {
                evidence += std::string(key) + ": box \"" + box->title + "\": " + Visible(box->text) + "; ";
                Answer(*box, SafeButton(*box));
                break;
            }
        }
        if (consented)
            Say("  approve the Windows prompt now with an administrator's name and password (up to 2 "
                "minutes)");
        SeenProcess* elevated = consented
                                    ? watcher_.WaitFor(
                                          [&](const SeenProcess& p) {
                                              return isCopy(p) && p.seenAt >= since && p.id != request->id;
                                          },
                                          Deadline::In(kPromptWait))
                                    : nullptr;
        std::string refused;
        if (elevated != nullptr) {
            if (const auto box = NextDialog(*elevated, milliseconds(5000))) {
                refused = box->title + ": " + Visible(box->text);
                Answer(*box, SafeButton(*box));
            }
        }
        evidence += std::string(key) + ": token " + (tokenAsked ? "asked" : "not asked") + ", consent " +
                    (consented ? "given" : "not reached") + ", elevated instance " +
                    (elevated ? "seen" : "not seen") + (refused.empty() ? "" : ", which showed " + refused) +
                    "; ";
        if (!first) {
            secondOk = !tokenAsked && consented && elevated != nullptr && refused.empty();
            std::string listed;
            tempShown = WaitForExplorerFolder(temp, listed);
            tempEvidence = "the account's TEMP " + Narrow(temp) + "; IShellWindows lists:" + listed;
        }
        EndProcessesOfRoad([&](const SeenProcess& p) { return isCopy(p) && p.seenAt >= since; });
    }
    Add(name + ": the second request of a session is not refused", secondOk ? Status::Pass : Status::Fail,
        evidence);
    Add(name + ": temp shows the account's folder", tempShown ? Status::Pass : Status::Fail, tempEvidence);

    // Put back in that account's hive, loaded again by one more start of the main window.
    if (SeenProcess* again = startAs(L"")) {
        const bool back = registration.Restore() && session.Restore();
        for (HWND w : e2e::VisibleTopLevelWindows(again->id)) ::PostMessageW(w, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(again->handle.get(), 15000);
        EndProcessesOfRoad([&](const SeenProcess& p) { return isCopy(p); });
        Add(name + ": the account's registry put back", back ? Status::Pass : Status::Fail,
            registration.Describe() + "; " + session.Describe());
    }
    Wipe(password_);
    ::DeleteFileW((folder + L"\\" + kLogName).c_str());
    ::DeleteFileW(copy.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace kelto::acceptance::roads

#include "http_server.h"
// After winsock2.h, which http_server.h includes and which must precede <windows.h>.
#include <windows.h>

#include "driver/driver.h"
#include "rescue_win.h"

namespace kelto::acceptance {

struct RescueServer::Impl {
    e2e::HttpServer server;
};

RescueServer::RescueServer(std::string zip, std::string iso, int isoDelayMs)
    : impl_(std::make_unique<Impl>()) {
    impl_->server.Serve("/vm/qemu.zip", e2e::HttpServer::File(std::move(zip)));
    impl_->server.Serve("/vm/kelto-rescue.iso",
                        e2e::HttpServer::Late(e2e::HttpServer::File(std::move(iso)), isoDelayMs));
}

RescueServer::~RescueServer() = default;

int RescueServer::Port() const { return impl_->server.Port(); }

std::vector<std::string> RescueServer::Requests() const { return impl_->server.Requests(); }

std::wstring EmulatorRecordPath() {
    wchar_t folder[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
    const std::wstring base = n > 0 && n < MAX_PATH ? std::wstring(folder, n) : L"C:\\ProgramData";
    return base + L"\\kelto-acceptance-emulator.txt";
}

bool RunAsRecordingEmulator() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    if (::CompareStringOrdinal(name.c_str(), -1, L"qemu-system-x86_64.exe", -1, TRUE) != CSTR_EQUAL)
        return false;
    const std::string line = e2e::Narrow(path) + "\t" + e2e::Narrow(::GetCommandLineW()) + "\n";
    e2e::UniqueHandle record(::CreateFileW(EmulatorRecordPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                           nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (record) ::WriteFile(record.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    record.reset();
    // An emulator runs until the machine it boots is shut down; the kit ends this one.
    ::Sleep(60000);
    return true;
}

}  // namespace kelto::acceptance

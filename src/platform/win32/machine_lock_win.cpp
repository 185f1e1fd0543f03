// The machine-wide lock: a mutex in a private namespace that only administrators can reach.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include "platform/win32/alive_wait_win.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {

// The namespace's boundary and alias. The boundary holds the Administrators SID, so only a
// process whose token has that group can create or open the namespace; its security admits
// Administrators alone (protected: nothing inherited).
constexpr wchar_t kBoundaryName[] = L"KeltoClientHelper";
constexpr wchar_t kNamespaceAlias[] = L"KeltoClientHelper";
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;BA)";
// Another instance may close the namespace between our create and open; try again a few times.
constexpr int kOpenAttempts = 5;

struct BoundaryTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteBoundaryDescriptor(h); }
};
using UniqueBoundary = UniqueAny<BoundaryTraits>;

struct LocalTraits {
    using Type = PSECURITY_DESCRIPTOR;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::LocalFree(p); }
};
using UniqueLocalDescriptor = UniqueAny<LocalTraits>;

}  // namespace

Win32MachineLock::~Win32MachineLock() {
    Release();
    if (mutex_) ::CloseHandle(mutex_);
    if (namespace_) ::ClosePrivateNamespace(namespace_, 0);
}

Outcome Win32MachineLock::Open() {
    if (mutex_) return {};
    // Cleared first: a system without the function may fail it without setting an error,
    // and a stale one would be reported in its place.
    ::SetLastError(0);
    UniqueBoundary boundary(::CreateBoundaryDescriptorW(kBoundaryName, 0));
    if (!boundary) return {LastErrorOfFailure()};
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize))
        return {LastErrorOfFailure()};
    HANDLE descriptor = boundary.get();
    // The call may move the descriptor; the owner follows it.
    ::SetLastError(0);
    const BOOL added = ::AddSIDToBoundaryDescriptor(&descriptor, sid);
    boundary.reset(descriptor);
    if (!added) return {LastErrorOfFailure()};

    UniqueLocalDescriptor security;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                                security.put(), nullptr)) {
        return {LastErrorOfFailure()};
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};

    HANDLE opened = nullptr;
    for (int attempt = 0; attempt < kOpenAttempts && !opened; ++attempt) {
        ::SetLastError(0);
        opened = ::CreatePrivateNamespaceW(&attributes, boundary.get(), kNamespaceAlias);
        if (opened) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {LastErrorOfFailure()};
        ::SetLastError(0);
        opened = ::OpenPrivateNamespaceW(boundary.get(), kNamespaceAlias);
        if (!opened && ::GetLastError() != ERROR_PATH_NOT_FOUND && ::GetLastError() != ERROR_NOT_FOUND)
            return {LastErrorOfFailure()};
    }
    if (!opened) return {LastErrorOfFailure()};
    namespace_ = opened;

    const std::wstring name = std::wstring(kNamespaceAlias) + L"\\" + name_;
    mutex_ = ::CreateMutexW(&attributes, FALSE, name.c_str());
    if (!mutex_) return {LastErrorOfFailure()};
    return {};
}

Outcome Win32MachineLock::Acquire(std::uint32_t timeoutMs) {
    if (held_) return {};
    if (const Outcome opened = Open(); !opened.Ok()) return opened;
    const HANDLE handles[] = {mutex_};
    const WaitEnd end = WaitForHandlesAlive(handles, timeoutMs);
    // An abandoned mutex is ours all the same: its holder ended, and whatever it was doing
    // with the frequency value it can no longer finish.
    if (end.Signalled()) {
        held_ = true;
        return {};
    }
    switch (end.kind) {
        case WaitEnd::Kind::TimeUp:
            return {kWaitTimeout};
        case WaitEnd::Kind::Failed:
            return {end.error};
        default:
            return {ERROR_BUSY};
    }
}

void Win32MachineLock::Release() {
    if (!held_) return;
    held_ = false;
    ::ReleaseMutex(mutex_);
}

}  // namespace kelto::platform::win32

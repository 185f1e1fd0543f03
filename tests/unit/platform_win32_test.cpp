// The Windows layer against the real system: error numbers kept at the call, appends only to
// regular files, the machine registry's native view, and the scoped GDI guards.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <thread>

#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"
#include "support/win32_scoped.h"

namespace kelto {
namespace {

using platform::Outcome;
using platform::RawRegistryValue;
using platform::ReadResult;
using platform::ReadStatus;
using platform::win32::Narrow;
namespace regtype = platform::regtype;

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path(buffer, length);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// The shell's download check is for downloaded files, not for the programs the helper starts
// itself; the helper may end right after a start; a caller with its own failure box wants the
// shell to show none. The SEE_MASK_ values as <shellapi.h> defines them.
TEST(ShellOnWindows, StartsSkipTheDownloadCheckAndFinishBeforeTheCallReturns) {
    EXPECT_EQ(platform::win32::ShellExecuteMask(platform::ShellFailureBox::Caller),
              0x00800000u | 0x00000100u | 0x00000400u);
    EXPECT_EQ(platform::win32::ShellExecuteMask(platform::ShellFailureBox::Shell), 0x00800000u | 0x00000100u);
}

TEST(FileSystemOnWindows, CreateFolderKeepsTheSystemsErrorNumber) {
    const std::wstring parent = TempFolder() + L"\\KeltoTestFolders";
    const std::wstring folder = parent + L"\\\u05D3\u05E0\u05D4";
    ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW(parent.c_str());
    platform::win32::Win32FileSystem files;

    // The parent is missing: ERROR_PATH_NOT_FOUND.
    EXPECT_EQ(files.CreateFolder(Narrow(folder)), Outcome{3});
    EXPECT_EQ(files.CreateFolder(Narrow(parent)), Outcome{0});
    EXPECT_EQ(files.CreateFolder(Narrow(folder)), Outcome{0});
    EXPECT_TRUE(files.FolderExists(Narrow(folder)));
    // Already there: ERROR_ALREADY_EXISTS, the number a caller logs as "error 183".
    EXPECT_EQ(files.CreateFolder(Narrow(folder)), Outcome{183});

    EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
    EXPECT_TRUE(::RemoveDirectoryW(parent.c_str()));
}

// The whole content of a file; nothing when it cannot be opened.
std::optional<std::string> ReadWhole(const std::wstring& path) {
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    ::CloseHandle(h);
    return content;
}

// A fresh folder of the test's own under TEMP, emptied of the names the tests use.
std::wstring LinkTestFolder() {
    const std::wstring folder = TempFolder() + L"\\KeltoTestLinks";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"\\target.txt", L"\\KeltoClientHelper.log", L"\\plain.log"}) {
        ::SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW((folder + name).c_str());
    }
    return folder;
}

TEST(FileSystemOnWindows, AppendCreatesAndExtendsARegularFile) {
    const std::wstring log = LinkTestFolder() + L"\\plain.log";
    platform::win32::Win32FileSystem files;
    EXPECT_EQ(files.Append(Narrow(log), "one\r\n"), platform::AppendResult::Ok);
    EXPECT_EQ(files.Append(Narrow(log), "two\r\n"), platform::AppendResult::Ok);
    EXPECT_EQ(ReadWhole(log), std::optional<std::string>("one\r\ntwo\r\n"));
    ::DeleteFileW(log.c_str());
}

// A second name for a file the elevated instance would not otherwise write: the line is
// dropped and neither name's content changes.
TEST(FileSystemOnWindows, AppendWritesNothingThroughAHardLink) {
    const std::wstring folder = LinkTestFolder();
    const std::wstring target = folder + L"\\target.txt";
    const std::wstring log = folder + L"\\KeltoClientHelper.log";
    testing::ScopedFile file(target);
    ASSERT_TRUE(file.created()) << file.error();
    ASSERT_TRUE(::CreateHardLinkW(log.c_str(), target.c_str(), nullptr)) << ::GetLastError();

    platform::win32::Win32FileSystem files;
    EXPECT_EQ(files.Append(Narrow(log), "2026-12-07 07:11:51 line\r\n"), platform::AppendResult::Failed);
    EXPECT_EQ(ReadWhole(target), std::optional<std::string>(""));
    EXPECT_EQ(ReadWhole(log), std::optional<std::string>(""));
    ::DeleteFileW(log.c_str());
    // With its second name gone, the same file is regular again.
    EXPECT_EQ(files.Append(Narrow(target), "x"), platform::AppendResult::Ok);
    EXPECT_EQ(ReadWhole(target), std::optional<std::string>("x"));
}

// A symbolic link at the log's name is opened as itself and never followed. Making one needs
// the privilege or developer mode on Windows; Wine 8 reports success without making a link.
TEST(FileSystemOnWindows, AppendWritesNothingThroughASymbolicLink) {
    const std::wstring folder = LinkTestFolder();
    const std::wstring target = folder + L"\\target.txt";
    const std::wstring log = folder + L"\\KeltoClientHelper.log";
    testing::ScopedFile file(target);
    ASSERT_TRUE(file.created()) << file.error();
    const bool made = ::CreateSymbolicLinkW(log.c_str(), target.c_str(),
                                            SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != FALSE;
    const DWORD attributes = ::GetFileAttributesW(log.c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        ::DeleteFileW(log.c_str());
        GTEST_SKIP() << "this system made no symbolic link";
    }
    platform::win32::Win32FileSystem files;
    EXPECT_EQ(files.Append(Narrow(log), "line\r\n"), platform::AppendResult::Failed);
    EXPECT_EQ(ReadWhole(target), std::optional<std::string>(""));
    ::DeleteFileW(log.c_str());
}

// The machine-wide lock against the real system. Wine 8 has no private namespaces
// (CreateBoundaryDescriptorW fails): there the lock cannot be had, which the helper takes
// for a failed restore point; the waiting itself can only be shown on Windows.
constexpr UINT kReleaseRequest = WM_APP + 7;
HANDLE gReleaseRequested = nullptr;

LRESULT CALLBACK ReleaseOnRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kReleaseRequest) {
        ::SetEvent(gReleaseRequested);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(MachineLockOnWindows, AWaiterKeepsHandlingItsMessagesAndGetsTheLockWhenItIsReleased) {
    platform::win32::Win32MachineLock probe{L"KeltoTestLock"};
    const Outcome first = probe.Acquire(0);
    if (first.error == ERROR_NOT_SUPPORTED || first.error == ERROR_CALL_NOT_IMPLEMENTED)
        GTEST_SKIP() << "no private namespaces on this system (error " << first.error << ")";
    ASSERT_TRUE(first.Ok()) << first.error;
    probe.Release();

    gReleaseRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE holding = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Another thread holds the lock until this thread's window has handled a message.
    std::thread holder([&] {
        platform::win32::Win32MachineLock lock{L"KeltoTestLock"};
        if (lock.Acquire(0).Ok()) ::SetEvent(holding);
        ::WaitForSingleObject(gReleaseRequested, 60000);
        lock.Release();
    });
    ASSERT_EQ(::WaitForSingleObject(holding, 60000), WAIT_OBJECT_0);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ReleaseOnRequest;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KeltoTestLockWindow";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, kReleaseRequest, 0, 0);

    platform::win32::Win32MachineLock waiter{L"KeltoTestLock"};
    // Only a wait that handles the posted message lets the holder go.
    EXPECT_EQ(waiter.Acquire(60000), Outcome{0});
    waiter.Release();
    holder.join();
    ::DestroyWindow(window);
    ::CloseHandle(holding);
    ::CloseHandle(gReleaseRequested);
}

TEST(MachineLockOnWindows, ALockWhoseHolderEndedIsTakenAndAHeldOneTimesOut) {
    platform::win32::Win32MachineLock probe{L"KeltoTestAbandoned"};
    const Outcome first = probe.Acquire(0);
    if (first.error == ERROR_NOT_SUPPORTED || first.error == ERROR_CALL_NOT_IMPLEMENTED)
        GTEST_SKIP() << "no private namespaces on this system (error " << first.error << ")";
    ASSERT_TRUE(first.Ok()) << first.error;
    probe.Release();

    // Held by a live thread: the bound runs out.
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE holding = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        platform::win32::Win32MachineLock lock{L"KeltoTestAbandoned"};
        if (lock.Acquire(0).Ok()) ::SetEvent(holding);
        ::WaitForSingleObject(release, 60000);
        lock.Release();
    });
    ASSERT_EQ(::WaitForSingleObject(holding, 60000), WAIT_OBJECT_0);
    platform::win32::Win32MachineLock waiter{L"KeltoTestAbandoned"};
    EXPECT_EQ(waiter.Acquire(0), Outcome{platform::kWaitTimeout});
    ::SetEvent(release);
    holder.join();

    // A thread that ends holding the mutex abandons it; the next waiter owns it.
    std::thread leaver([] {
        auto* lock = new platform::win32::Win32MachineLock{L"KeltoTestAbandoned"};
        lock->Acquire(0);  // never released: the object is left behind with the thread
    });
    leaver.join();
    EXPECT_EQ(waiter.Acquire(60000), Outcome{0});
    waiter.Release();
    ::CloseHandle(holding);
    ::CloseHandle(release);
}

// Whether the value exists in the machine registry's 64-bit or 32-bit view.
bool ExistsInView(REGSAM view, const wchar_t* key, const wchar_t* value) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
        return false;
    const bool found = ::RegQueryValueExW(opened, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(opened);
    return found;
}

void DeleteMachineTestKey(REGSAM view) {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\KeltoTest\\View", view, 0);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\KeltoTest", view, 0);
}

TEST(RegistryOnWindows, MachineValuesLiveInTheNativeView) {
    // The helper is a 32-bit program: without the native view its HKLM writes would land in
    // the redirected copy (WOW6432Node) that Windows itself never reads.
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    if (!wow64) GTEST_SKIP() << "a 32-bit system has one view only";
    DeleteMachineTestKey(KEY_WOW64_64KEY);
    DeleteMachineTestKey(KEY_WOW64_32KEY);
    platform::win32::Win32Registry registry;
    const RawRegistryValue frequency{regtype::kDword, {0, 0, 0, 0}};

    ASSERT_EQ(registry.WriteRaw("HKLM\\Software\\KeltoTest\\View\\Frequency", frequency), Outcome{0});
    EXPECT_TRUE(ExistsInView(KEY_WOW64_64KEY, L"Software\\KeltoTest\\View", L"Frequency"));
    EXPECT_FALSE(ExistsInView(KEY_WOW64_32KEY, L"Software\\KeltoTest\\View", L"Frequency"));
    RawRegistryValue read;
    EXPECT_EQ(registry.ReadRaw("HKLM\\Software\\KeltoTest\\View\\Frequency", read),
              (ReadResult{ReadStatus::Ok, 0}));
    EXPECT_EQ(read, frequency);
    EXPECT_TRUE(registry.Delete("HKLM\\Software\\KeltoTest\\View\\Frequency"));
    EXPECT_EQ(registry.ReadRaw("HKLM\\Software\\KeltoTest\\View\\Frequency", read),
              (ReadResult{ReadStatus::Absent, 0}));

    DeleteMachineTestKey(KEY_WOW64_64KEY);
}

TEST(RegistryOnWindows, AnUnknownRootIsAFailureNotAnAbsence) {
    platform::win32::Win32Registry registry;
    RawRegistryValue read;
    // ERROR_INVALID_PARAMETER: the name itself is wrong, nothing was looked up.
    EXPECT_EQ(registry.ReadRaw("HKXX\\Software\\Value", read), (ReadResult{ReadStatus::Failed, 87}));
    EXPECT_EQ(registry.WriteRaw("HKXX\\Software\\Value", {regtype::kBinary, {1}}), Outcome{87});
}

TEST(ScopedGdiOnWindows, SelectionIsUndoneWhenTheGuardGoes) {
    const platform::win32::ScopedGetDC screen(nullptr);
    ASSERT_TRUE(screen);
    HDC dc = ::CreateCompatibleDC(screen.get());
    ASSERT_NE(dc, nullptr);
    const HGDIOBJ original = ::GetCurrentObject(dc, OBJ_FONT);
    platform::win32::UniqueHfont font(
        ::CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
    ASSERT_TRUE(font);
    {
        const platform::win32::ScopedSelectObject select(dc, font.get());
        EXPECT_TRUE(select.ok());
        EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), font.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), original);
    ::DeleteDC(dc);
}

TEST(ScopedGdiOnWindows, AFailedSelectionPutsNothingBack) {
    const platform::win32::ScopedGetDC screen(nullptr);
    HDC dc = ::CreateCompatibleDC(screen.get());
    ASSERT_NE(dc, nullptr);
    const HGDIOBJ original = ::GetCurrentObject(dc, OBJ_FONT);
    {
        const platform::win32::ScopedSelectObject select(dc, nullptr);
        EXPECT_FALSE(select.ok());
    }
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), original);
    ::DeleteDC(dc);
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

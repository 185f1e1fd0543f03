#include <windows.h>

#include <optional>

#include "platform/regular_file.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
bool HasWildcard(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

// The facts of the opened file itself (never of what a link points to); nothing when the
// handle cannot tell them, which no caller takes for a regular file.
std::optional<OpenedFileFacts> FactsOf(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information)) return std::nullopt;
    return OpenedFileFacts{tag.FileAttributes, tag.ReparseTag, information.nNumberOfLinks};
}
}  // namespace

bool Win32FileSystem::IsNormalFile(const std::string& path) {
    if (path.empty() || HasWildcard(path)) return false;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW(Widen(path).c_str(), &data));
    if (!find) return false;
    constexpr DWORD kExcluded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    return (data.dwFileAttributes & kExcluded) == 0;
}

bool Win32FileSystem::FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::FolderExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> Win32FileSystem::ListFiles(const std::string& folder) {
    return ListFolder(folder, false, false);
}

std::vector<std::string> Win32FileSystem::ListFolders(const std::string& folder) {
    return ListFolder(folder, true, false);
}

Outcome Win32FileSystem::CreateFolder(const std::string& path) {
    if (::CreateDirectoryW(Widen(path).c_str(), nullptr)) return {};
    return {::GetLastError()};
}

bool Win32FileSystem::DeleteFile(const std::string& path) {
    return ::DeleteFileW(Widen(path).c_str()) != FALSE;
}

AppendResult Win32FileSystem::Append(const std::string& path, const std::string& bytes) {
    // Append-only access shared with other writers. Writers also take an exclusive lock on
    // one byte far beyond any real end of file for the moment of the write: an append-only
    // handle alone does not keep two processes from writing at the same end under Wine, and
    // a line overwritten that way is lost. A writer that finds the lock taken reports Busy
    // and its caller retries.
    // The elevated instance writes here too, in a folder the customer's account controls: a
    // link standing at the name is opened as itself, never followed, and the bytes go only to
    // a regular file (platform::IsRegularFile), judged on this very handle. Anything else is a
    // file that cannot be written.
    UniqueFileHandle file(::CreateFileW(Widen(path).c_str(),
                                        FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) ? AppendResult::Busy
                                                                                   : AppendResult::Failed;
    }
    const auto facts = FactsOf(file.get());
    if (!facts || !IsRegularFile(*facts)) return AppendResult::Failed;
    OVERLAPPED lockAt{};
    lockAt.Offset = 0xFFFFFFFEu;
    lockAt.OffsetHigh = 0x7FFFFFFFu;
    const bool locked = ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                     &lockAt) != FALSE;
    // A file system without byte-range locks still gets the line, unserialised.
    if (!locked && ::GetLastError() == ERROR_LOCK_VIOLATION) return AppendResult::Busy;
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &lockAt);
    return ok ? AppendResult::Ok : AppendResult::Failed;
}

}  // namespace kelto::platform::win32

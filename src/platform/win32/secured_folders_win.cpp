// Folders only administrators can write, and what stands at a path read without following a
// link: the rescue VM runs nothing its customer's account could have put in place.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
#include <winternl.h>

#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

inline constexpr wchar_t kNtdll[] = L"ntdll.dll";

namespace {

// Links are opened as themselves, folders as well as files.
constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
// FILE_READ_DATA (FILE_LIST_DIRECTORY for a folder) is asked for so that the handle's share
// mode counts: an open with attribute access alone would not keep anyone from deleting it.
constexpr DWORD kHoldAccess = FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
// Readers and writers are welcome; deleting or renaming it is not, as long as it is held.
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Win32HeldPath : public HeldPath {
public:
    explicit Win32HeldPath(UniqueFileHandle handle) : handle_(std::move(handle)) {}

private:
    UniqueFileHandle handle_;
};

void FreeLocal(HLOCAL memory) { ::LocalFree(memory); }
using UniqueLocal = UniqueAny<HandleTraits<HLOCAL, FreeLocal>>;

UniqueFileHandle OpenNoFollowHandle(const std::string& path, DWORD access, DWORD share) {
    return UniqueFileHandle(
        ::CreateFileW(Widen(path).c_str(), access, share, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
}

// Folder, link and hard-link count, all from the open handle.
bool ReadFacts(HANDLE handle, PathFacts& facts, DWORD& attributes) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    attributes = info.dwFileAttributes;
    facts.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.links = info.nNumberOfLinks;
    facts.nameSurrogate = false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return false;
        facts.nameSurrogate = IsReparseTagNameSurrogate(tag.ReparseTag);
    }
    return true;
}

std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text)) return {};
    UniqueLocal owner(text);
    return Narrow(text);
}

// The owner and the access list of what the handle names.
bool ReadSecurity(HANDLE handle, FolderSecurity& security) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    UniqueLocal held(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
    security = FolderSecurity{SidText(owner), (control & SE_DACL_PROTECTED) != 0, dacl != nullptr, {}};
    if (!dacl) return true;  // no list at all: everyone may do anything
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            security.onlyAllowing = false;
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        security.allowed.push_back(
            {SidText(reinterpret_cast<PSID>(&allowed->SidStart)), allowed->Mask, header->AceFlags});
    }
    return true;
}

// A security descriptor with exactly this owner and access list, protected from inheriting.
class Descriptor {
public:
    // The Windows error when a SID cannot be read or the list cannot be built.
    DWORD Build(const FolderSecurity& security) {
        if (!ToSid(security.owner, owner_)) return ::GetLastError();
        DWORD size = sizeof(ACL);
        sids_.resize(security.allowed.size());
        for (size_t i = 0; i < security.allowed.size(); ++i) {
            if (!ToSid(security.allowed[i].sid, sids_[i])) return ::GetLastError();
            size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sids_[i].get());
        }
        acl_.assign(size, 0);
        auto* acl = reinterpret_cast<PACL>(acl_.data());
        if (!::InitializeAcl(acl, size, ACL_REVISION)) return ::GetLastError();
        for (size_t i = 0; i < security.allowed.size(); ++i) {
            const auto& entry = security.allowed[i];
            if (!::AddAccessAllowedAceEx(acl, ACL_REVISION, entry.inheritance, entry.mask, sids_[i].get()))
                return ::GetLastError();
        }
        if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorOwner(&descriptor_, owner_.get(), FALSE) ||
            !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
            return ::GetLastError();
        if (security.isProtected &&
            !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return ::GetLastError();
        return ERROR_SUCCESS;
    }
    SECURITY_DESCRIPTOR* get() { return &descriptor_; }

private:
    static bool ToSid(const std::string& text, UniqueLocal& sid) {
        PSID value = nullptr;
        if (!::ConvertStringSidToSidW(Widen(text).c_str(), &value)) return false;
        sid.reset(value);
        return true;
    }
    UniqueLocal owner_;
    std::vector<UniqueLocal> sids_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
};

// FILE_OPEN_REPARSE_POINT of the native create options (not in winternl.h).
constexpr ULONG kFileOpenReparsePoint = 0x00200000;

// The native name of a full Win32 path: "\??\C:\..." for a drive, "\??\UNC\server\share..."
// for a share; a path already in the "\\?\" form keeps its rest.
std::wstring NtPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

// One entry of a tree being removed, held without sharing until it goes.
struct Doomed {
    UniqueFileHandle handle;
    DWORD attributes = 0;
};

constexpr DWORD kRemoveAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

RemoveOutcome OpenFailure() {
    const DWORD error = ::GetLastError();
    return (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) ? RemoveOutcome::InUse
                                                                               : RemoveOutcome::Failed;
}

// The names in a folder, read through the handle that holds it (a listing by path would need
// an open of its own, which the held folder refuses).
struct Listed {
    std::wstring name;
    bool plainFolder = false;  // a folder that is no reparse point
};

bool ListHeldFolder(HANDLE folder, std::vector<Listed>& names) {
    alignas(8) BYTE buffer[16 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer))
            return ::GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileIdBothDirectoryInfo;
        for (const BYTE* at = buffer;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            const bool plainFolder = (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                     !(entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (name != L"." && name != L"..") names.push_back({name, plainFolder});
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
}

// Opens everything below the held folder, children before their folders. A link is opened
// as itself and never entered. Each entry is shared for deletion only: whatever another
// process has open for reading, writing or running (a running emulator's image and DLLs)
// fails to open here. Sharing deletion lets two names of one file both be opened.
RemoveOutcome OpenTree(HANDLE folderHandle, const std::string& folder, std::vector<Doomed>& out) {
    std::vector<Listed> names;
    if (!ListHeldFolder(folderHandle, names)) return RemoveOutcome::Failed;
    for (const auto& listed : names) {
        const std::string path = folder + "\\" + Narrow(listed.name);
        // A folder is listed through its handle, which needs FILE_LIST_DIRECTORY.
        Doomed entry{OpenNoFollowHandle(path, kRemoveAccess | (listed.plainFolder ? FILE_LIST_DIRECTORY : 0),
                                        FILE_SHARE_DELETE)};
        if (!entry.handle) return OpenFailure();
        PathFacts facts;
        if (!ReadFacts(entry.handle.get(), facts, entry.attributes)) return RemoveOutcome::Failed;
        if (facts.folder && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            const RemoveOutcome below = OpenTree(entry.handle.get(), path, out);
            if (below != RemoveOutcome::Removed) return below;
        }
        out.push_back(std::move(entry));
    }
    return RemoveOutcome::Removed;
}

// Marks one held entry for deletion (a read-only one loses that attribute first) and closes
// it, which deletes it.
bool DeleteHeld(Doomed& entry) {
    if (entry.attributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = (entry.attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked = ::SetFileInformationByHandle(entry.handle.get(), FileDispositionInfo, &disposition,
                                                     sizeof disposition);
    entry.handle.reset();
    return marked;
}

}  // namespace

Outcome Win32FileSystem::OpenNoFollow(const std::string& path, PathFacts& facts,
                                      std::unique_ptr<HeldPath>& held) {
    UniqueFileHandle handle = OpenNoFollowHandle(path, kHoldAccess, kHoldShare);
    if (!handle) return {::GetLastError()};
    DWORD attributes = 0;
    if (!ReadFacts(handle.get(), facts, attributes)) return {::GetLastError()};
    held = std::make_unique<Win32HeldPath>(std::move(handle));
    return {};
}

Outcome Win32FileSystem::CreateSecuredFolder(const std::string& path, const FolderSecurity& security,
                                             PathFacts& facts, std::unique_ptr<HeldPath>& held) {
    // The access list is the folder's from its first moment: set afterwards, there would be
    // a moment in which the folder carried what it inherited from the customer's folder.
    Descriptor descriptor;
    if (const DWORD error = descriptor.Build(security); error != ERROR_SUCCESS) return {error};
    // CreateDirectoryW with these security attributes, without the close at its end: the
    // folder is created and opened in one call (NtCreateFile, FILE_CREATE), so the handle
    // names the folder just made. Opened by name afterwards, it could already be another one
    // that the owner of the parent folder renamed into its place.
    static const auto ntCreateFile = KELTO_SYSTEM_FUNCTION(kNtdll, NtCreateFile);
    static const auto toWin32Error = KELTO_SYSTEM_FUNCTION(kNtdll, RtlNtStatusToDosError);
    if (!ntCreateFile || !toWin32Error) return {ERROR_PROC_NOT_FOUND};
    std::wstring name = NtPath(Widen(path));
    UNICODE_STRING ntName{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                          static_cast<USHORT>(name.size() * sizeof(wchar_t)), name.data()};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &ntName, OBJ_CASE_INSENSITIVE, nullptr, descriptor.get());
    IO_STATUS_BLOCK io{};
    HANDLE created = nullptr;
    const NTSTATUS status = ntCreateFile(&created, kHoldAccess, &attributes, &io, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, kHoldShare, FILE_CREATE,
                                         FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT |
                                             FILE_OPEN_FOR_BACKUP_INTENT | kFileOpenReparsePoint,
                                         nullptr, 0);
    // STATUS_OBJECT_NAME_COLLISION becomes ERROR_ALREADY_EXISTS (183), as from CreateDirectoryW.
    if (status < 0) return {toWin32Error(status)};
    UniqueFileHandle handle(created);
    DWORD fileAttributes = 0;
    if (!ReadFacts(handle.get(), facts, fileAttributes)) return {::GetLastError()};
    held = std::make_unique<Win32HeldPath>(std::move(handle));
    return {};
}

std::vector<std::string> Win32FileSystem::ListFilesNoLinks(const std::string& folder) {
    return ListFolder(folder, false, true);
}

std::vector<std::string> Win32FileSystem::ListFoldersNoLinks(const std::string& folder) {
    return ListFolder(folder, true, true);
}

RemoveOutcome Win32FileSystem::RemoveFolderTreeIf(
    const std::string& path, const std::function<bool(const FolderSecurity&)>& expected) {
    // The folder is held without sharing from the check of its security to its removal, so
    // nothing can be swapped in between; whatever is open elsewhere fails to open here, and
    // then nothing at all is removed.
    Doomed top{OpenNoFollowHandle(path, kRemoveAccess | FILE_LIST_DIRECTORY | READ_CONTROL, 0)};
    if (!top.handle) return OpenFailure();
    PathFacts facts;
    FolderSecurity security;
    if (!ReadFacts(top.handle.get(), facts, top.attributes)) return RemoveOutcome::Failed;
    if (!facts.folder || (top.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return RemoveOutcome::NotMatching;
    if (!ReadSecurity(top.handle.get(), security)) return RemoveOutcome::Failed;
    if (!expected(security)) return RemoveOutcome::NotMatching;
    std::vector<Doomed> tree;
    if (const RemoveOutcome opened = OpenTree(top.handle.get(), path, tree); opened != RemoveOutcome::Removed)
        return opened;
    tree.push_back(std::move(top));
    // Files first, every one of them: a name of a file goes only when the last handle to the
    // file closes, and two names of one file may sit in different folders. Then the folders,
    // each after the folders inside it.
    bool all = true;
    for (auto& entry : tree)
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) all = DeleteHeld(entry) && all;
    for (auto& entry : tree)
        if (entry.handle) all = DeleteHeld(entry) && all;
    return all ? RemoveOutcome::Removed : RemoveOutcome::Failed;
}

}  // namespace kelto::platform::win32

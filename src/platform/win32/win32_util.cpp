#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                             0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                          nullptr, nullptr);
    return utf8;
}

DWORD LastErrorOfFailure() {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_NOT_SUPPORTED;
}

ComInit::ComInit() {
    static const auto initialize = KELTO_SYSTEM_FUNCTION(kOle32, CoInitializeEx);
    hr_ = initialize ? initialize(nullptr, COINIT_APARTMENTTHREADED) : kSystemDllMissing;
}

ComInit::~ComInit() {
    static const auto uninitialize = KELTO_SYSTEM_FUNCTION(kOle32, CoUninitialize);
    if (SUCCEEDED(hr_) && uninitialize) uninitialize();
}

std::vector<std::string> ListFolder(const std::string& folder, bool folders, bool skipLinks) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW(Widen(folder + "\\*").c_str(), &data));
    if (!find) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        // For a reparse point the listing gives its tag in dwReserved0.
        if (skipLinks && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            IsReparseTagNameSurrogate(data.dwReserved0))
            continue;
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder == folders) names.push_back(Narrow(name));
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

}  // namespace kelto::platform::win32

#include <windows.h>

#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
struct RegistryName {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::wstring key;
    std::wstring value;  // empty: the key's default value
    bool isKey = false;
};

// "HKCU\Software\X\Name" -> root, key path and value name; a trailing "\" names the key.
bool ParseName(const std::string& name, RegistryName& out) {
    std::wstring wide = Widen(name);
    const auto firstSlash = wide.find(L'\\');
    if (firstSlash == std::wstring::npos) return false;
    const std::wstring root = wide.substr(0, firstSlash);
    if (root == L"HKCU" || root == L"HKEY_CURRENT_USER") {
        out.root = HKEY_CURRENT_USER;
    } else if (root == L"HKLM" || root == L"HKEY_LOCAL_MACHINE") {
        out.root = HKEY_LOCAL_MACHINE;
        // The machine-wide settings the helper touches are Windows' own: reach the native
        // view, not the 32-bit redirected copy.
        out.view = KEY_WOW64_64KEY;
    } else {
        return false;
    }
    std::wstring rest = wide.substr(firstSlash + 1);
    if (!rest.empty() && rest.back() == L'\\') {
        out.isKey = true;
        out.key = rest.substr(0, rest.size() - 1);
        return true;
    }
    const auto lastSlash = rest.rfind(L'\\');
    if (lastSlash == std::wstring::npos) {
        out.value = rest;
    } else {
        out.key = rest.substr(0, lastSlash);
        out.value = rest.substr(lastSlash + 1);
    }
    return true;
}

bool OpenKey(const RegistryName& n, REGSAM access, UniqueHkey& key) {
    return ::RegOpenKeyExW(n.root, n.key.c_str(), 0, access | n.view, key.put()) == ERROR_SUCCESS;
}

bool CreateKey(const RegistryName& n, UniqueHkey& key) {
    return ::RegCreateKeyExW(n.root, n.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | n.view,
                             nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}
}  // namespace

bool Win32Registry::ReadString(const std::string& name, std::string& value) {
    RegistryName n;
    UniqueHkey key;
    if (!ParseName(name, n) || !OpenKey(n, KEY_QUERY_VALUE, key)) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), n.value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type == REG_DWORD) {
        DWORD number = 0;
        size = sizeof number;
        if (::RegQueryValueExW(key.get(), n.value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                               &size) != ERROR_SUCCESS) {
            return false;
        }
        value = std::to_string(number);
        return true;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), n.value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS) {
        return false;
    }
    buffer.resize(size / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    value = Narrow(buffer);
    return true;
}

bool Win32Registry::WriteString(const std::string& name, const std::string& value) {
    RegistryName n;
    UniqueHkey key;
    if (!ParseName(name, n) || !CreateKey(n, key)) return false;
    const std::wstring data = Widen(value);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), n.value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            bytes) == ERROR_SUCCESS;
}

bool Win32Registry::ReadDword(const std::string& name, std::uint32_t& value) {
    RegistryName n;
    UniqueHkey key;
    if (!ParseName(name, n) || !OpenKey(n, KEY_QUERY_VALUE, key)) return false;
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    if (::RegQueryValueExW(key.get(), n.value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        return false;
    }
    value = number;
    return true;
}

bool Win32Registry::WriteDword(const std::string& name, std::uint32_t value) {
    RegistryName n;
    UniqueHkey key;
    if (!ParseName(name, n) || !CreateKey(n, key)) return false;
    const DWORD number = value;
    return ::RegSetValueExW(key.get(), n.value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                            sizeof number) == ERROR_SUCCESS;
}

bool Win32Registry::Delete(const std::string& name) {
    RegistryName n;
    if (!ParseName(name, n)) return false;
    if (n.isKey) {
        // Fails while the key has subkeys: the registration is removed deepest first.
        return ::RegDeleteKeyExW(n.root, n.key.c_str(), n.view, 0) == ERROR_SUCCESS;
    }
    UniqueHkey key;
    if (!OpenKey(n, KEY_SET_VALUE, key)) return false;
    return ::RegDeleteValueW(key.get(), n.value.c_str()) == ERROR_SUCCESS;
}

}  // namespace kelto::platform::win32

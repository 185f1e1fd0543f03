#include <windows.h>

#include <cstring>
#include <vector>

#include "base/registry_value.h"
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
    // Root names are as case-blind as the rest of a registry name.
    const auto is = [&root](const wchar_t* name) {
        return ::CompareStringOrdinal(root.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
    };
    if (is(L"HKCU") || is(L"HKEY_CURRENT_USER")) {
        out.root = HKEY_CURRENT_USER;
    } else if (is(L"HKU") || is(L"HKEY_USERS")) {
        out.root = HKEY_USERS;
    } else if (is(L"HKLM") || is(L"HKEY_LOCAL_MACHINE")) {
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

LSTATUS OpenKey(const RegistryName& n, REGSAM access, UniqueHkey& key) {
    return ::RegOpenKeyExW(n.root, n.key.c_str(), 0, access | n.view, key.put());
}

LSTATUS CreateKey(const RegistryName& n, UniqueHkey& key) {
    return ::RegCreateKeyExW(n.root, n.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE | n.view, nullptr, key.put(), nullptr);
}

ReadResult Failed(LSTATUS status) { return {ReadStatus::Failed, static_cast<std::uint32_t>(status)}; }

// A missing key or value is Absent; every other refusal keeps its error number.
ReadResult FromStatus(LSTATUS status) {
    if (status == ERROR_SUCCESS) return {ReadStatus::Ok, 0};
    if (status == ERROR_FILE_NOT_FOUND) return {ReadStatus::Absent, 0};
    return Failed(status);
}

// The one read path: type and bytes of a value. The value may grow between asking for its
// size and reading it, so the read is repeated while the system answers ERROR_MORE_DATA.
ReadResult QueryRaw(const std::string& name, RawRegistryValue& out) {
    RegistryName n;
    if (!ParseName(name, n)) return Failed(ERROR_INVALID_PARAMETER);
    UniqueHkey key;
    if (const LSTATUS opened = OpenKey(n, KEY_QUERY_VALUE, key); opened != ERROR_SUCCESS)
        return FromStatus(opened);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key.get(), n.value.c_str(), nullptr, &type, nullptr, &size);
    std::vector<std::uint8_t> bytes;
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        bytes.resize(size);
        status = ::RegQueryValueExW(key.get(), n.value.c_str(), nullptr, &type,
                                    bytes.empty() ? nullptr : bytes.data(), &size);
        if (status == ERROR_SUCCESS) {
            bytes.resize(size);
            out = {type, std::move(bytes)};
            return {ReadStatus::Ok, 0};
        }
    }
    return FromStatus(status);
}

LSTATUS SetValue(const std::string& name, DWORD type, const void* data, std::size_t size) {
    RegistryName n;
    if (!ParseName(name, n)) return ERROR_INVALID_PARAMETER;
    UniqueHkey key;
    if (const LSTATUS created = CreateKey(n, key); created != ERROR_SUCCESS) return created;
    return ::RegSetValueExW(key.get(), n.value.c_str(), 0, type, static_cast<const BYTE*>(data),
                            static_cast<DWORD>(size));
}
}  // namespace

ReadResult Win32Registry::ReadString(const std::string& name, std::string& value) {
    RawRegistryValue raw;
    const ReadResult read = QueryRaw(name, raw);
    if (!read) return read;
    return registry_value::AsText(raw, value);
}

bool Win32Registry::WriteString(const std::string& name, const std::string& value) {
    const std::wstring data = Widen(value);
    return SetValue(name, REG_SZ, data.c_str(), (data.size() + 1) * sizeof(wchar_t)) == ERROR_SUCCESS;
}

ReadResult Win32Registry::ReadDword(const std::string& name, std::uint32_t& value) {
    RawRegistryValue raw;
    const ReadResult read = QueryRaw(name, raw);
    if (!read) return read;
    return registry_value::AsDword(raw, value);
}

bool Win32Registry::WriteDword(const std::string& name, std::uint32_t value) {
    const DWORD number = value;
    return SetValue(name, REG_DWORD, &number, sizeof number) == ERROR_SUCCESS;
}

ReadResult Win32Registry::ReadRaw(const std::string& name, RawRegistryValue& value) {
    return QueryRaw(name, value);
}

Outcome Win32Registry::WriteRaw(const std::string& name, const RawRegistryValue& value) {
    return {static_cast<std::uint32_t>(SetValue(name, value.type, value.bytes.data(), value.bytes.size()))};
}

bool Win32Registry::Delete(const std::string& name) {
    RegistryName n;
    if (!ParseName(name, n)) return false;
    if (n.isKey) {
        // Fails while the key has subkeys: the registration is removed deepest first.
        return ::RegDeleteKeyExW(n.root, n.key.c_str(), n.view, 0) == ERROR_SUCCESS;
    }
    UniqueHkey key;
    if (OpenKey(n, KEY_SET_VALUE, key) != ERROR_SUCCESS) return false;
    return ::RegDeleteValueW(key.get(), n.value.c_str()) == ERROR_SUCCESS;
}

}  // namespace kelto::platform::win32

#include "kit_win.h"

#include <algorithm>
#include <cstdio>

namespace kelto::acceptance {

// ---- System facts ----

namespace {

template <typename F>
F NtdllFunction(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

std::optional<DWORD> ReadDword(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueW(root, key, name,
                       RRF_RT_REG_DWORD | (view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY : 0), nullptr,
                       &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::string DescribeUac() {
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    const auto lua = ReadDword(HKEY_LOCAL_MACHINE, key, L"EnableLUA", KEY_WOW64_64KEY);
    const auto consent = ReadDword(HKEY_LOCAL_MACHINE, key, L"ConsentPromptBehaviorAdmin", KEY_WOW64_64KEY);
    const auto secure = ReadDword(HKEY_LOCAL_MACHINE, key, L"PromptOnSecureDesktop", KEY_WOW64_64KEY);
    auto text = [](const std::optional<DWORD>& v) { return v ? std::to_string(*v) : std::string("absent"); };
    std::string level;
    if (lua && *lua == 0) {
        level = "UAC off (EnableLUA 0)";
    } else if (consent && secure) {
        if (*consent == 2 && *secure == 1)
            level = "always notify";
        else if (*consent == 5 && *secure == 1)
            level = "notify when apps make changes (the default)";
        else if (*consent == 5 && *secure == 0)
            level = "notify when apps make changes, without the secure desktop";
        else if (*consent == 0)
            level = "never notify (administrators are elevated without a prompt)";
        else
            level = "custom";
    } else {
        level = "unknown";
    }
    return level + "; EnableLUA " + text(lua) + ", ConsentPromptBehaviorAdmin " + text(consent) +
           ", PromptOnSecureDesktop " + text(secure);
}

}  // namespace

SystemFacts ReadSystemFacts() {
    SystemFacts f;
    using WineVersionFn = const char*(CDECL*)();
    if (const auto wine = NtdllFunction<WineVersionFn>("wine_get_version")) {
        f.underWine = true;
        f.wineVersion = wine();
    }
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (const auto rtl = NtdllFunction<RtlGetVersionFn>("RtlGetVersion")) {
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
        if (rtl(&v) == 0) {
            f.major = v.dwMajorVersion;
            f.minor = v.dwMinorVersion;
            f.build = v.dwBuildNumber;
        }
    }
    BOOL wow64 = FALSE;
    f.windows64 = ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::LCIDToLocaleName(MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH,
                           0) > 0)
        f.uiLanguage = Narrow(name);
    HDC screen = ::GetDC(nullptr);
    f.dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
    ::ReleaseDC(nullptr, screen);
    f.uacLevel = DescribeUac();
    return f;
}

std::vector<Fact> DescribeFacts(const SystemFacts& f) {
    std::vector<Fact> facts;
    const std::string build = std::to_string(f.build);
    std::string windows = std::to_string(f.major) + "." + std::to_string(f.minor) + " build " + build;
    if (f.major == 10) windows += f.build >= 22000 ? " (Windows 11)" : " (Windows 10)";
    facts.push_back({"Windows version (RtlGetVersion)", windows});
    facts.push_back({"Wine", f.underWine ? "yes, " + f.wineVersion : "no"});
    facts.push_back({"Windows bitness", f.windows64 ? "64-bit (the kit runs under WOW64)" : "32-bit"});
    facts.push_back({"UI language", f.uiLanguage});
    facts.push_back({"DPI (system)", std::to_string(f.dpi)});
    facts.push_back({"UAC level (policy values)", f.uacLevel});
    facts.push_back({"ANSI code page", std::to_string(::GetACP())});
    return facts;
}

bool IsElevatedAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                    0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    // With UAC, the group is enabled in the token only once elevated.
    const bool ok = ::CheckTokenMembership(nullptr, administrators, &member) && member;
    ::FreeSid(administrators);
    return ok;
}

// ---- Registry ----

bool CopyKey(HKEY fromRoot, const std::wstring& from, HKEY toRoot, const std::wstring& to) {
    HKEY source = nullptr;
    HKEY target = nullptr;
    bool ok = ::RegOpenKeyExW(fromRoot, from.c_str(), 0, KEY_READ, &source) == ERROR_SUCCESS &&
              ::RegCreateKeyExW(toRoot, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                                nullptr) == ERROR_SUCCESS &&
              ::RegCopyTreeW(source, nullptr, target) == ERROR_SUCCESS;
    if (target != nullptr) ::RegCloseKey(target);
    if (source != nullptr) ::RegCloseKey(source);
    return ok;
}

namespace {
const std::wstring kBackupRoot = L"Software\\KeltoAcceptance\\Saved";
int gBackupCount = 0;

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}
}  // namespace

SavedKey::SavedKey(HKEY root, std::wstring path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
    existed_ = KeyExists(root_, path_, view_);
    backup_ = kBackupRoot + L"\\" + std::to_wstring(++gBackupCount);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, backup_.c_str());
    if (existed_) CopyKey(root_, path_, HKEY_CURRENT_USER, backup_);
}

SavedKey::~SavedKey() { Restore(); }

bool SavedKey::Restore() {
    if (restored_) return KeyExists(root_, path_, view_) == existed_;
    restored_ = true;
    ::RegDeleteKeyExW(root_, path_.c_str(), view_, 0);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_ALL_ACCESS | view_, &key) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(key, nullptr);
        ::RegCloseKey(key);
        ::RegDeleteKeyExW(root_, path_.c_str(), view_, 0);
    }
    if (existed_) CopyKey(HKEY_CURRENT_USER, backup_, root_, path_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, backup_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kBackupRoot.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KeltoAcceptance");
    return KeyExists(root_, path_, view_) == existed_;
}

SavedDword::SavedDword(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
    value_ = ReadDword(root_, key_.c_str(), name_.c_str(), KEY_WOW64_64KEY);
}

SavedDword::~SavedDword() {
    if (!restored_) Restore();
}

bool SavedDword::Restore() {
    restored_ = true;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        if (value_) {
            const DWORD v = *value_;
            ::RegSetValueExW(key, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
        } else {
            ::RegDeleteValueW(key, name_.c_str());
        }
        ::RegCloseKey(key);
    }
    return ReadDword(root_, key_.c_str(), name_.c_str(), KEY_WOW64_64KEY) == value_;
}

std::string SavedDword::Describe() const {
    return Narrow(name_) + (value_ ? " (was " + std::to_string(*value_) + ")" : " (was absent)");
}

std::string SavedKey::Describe() const {
    return Narrow(path_) + (existed_ ? " (existed: put back as it was)" : " (absent: removed again)");
}

// ---- Files ----

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string AnsiToUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return Narrow(wide);
}

// ---- Windows on screen ----

std::optional<e2e::Image> PrintWindowImage(HWND window) {
    RECT r;
    if (!::GetWindowRect(window, &r)) return std::nullopt;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return std::nullopt;
    e2e::Canvas canvas(width, height);
    // PW_RENDERFULLCONTENT (Windows 8.1 and later) also captures what DirectComposition draws.
    if (!canvas.ok() || !::PrintWindow(window, canvas.dc(), 2 /* PW_RENDERFULLCONTENT */))
        return std::nullopt;
    e2e::Image image = canvas.ToImage();
    // A window always shows a frame or text: a picture of one colour is one the window did not
    // draw (Wine answers PrintWindow for another process's window with an empty picture), and
    // the caller falls back to the screen.
    if (std::all_of(image.pixels.begin(), image.pixels.end(),
                    [&](auto p) { return p == image.pixels.front(); }))
        return std::nullopt;
    return image;
}

bool HasTaskbarButton(HWND window, std::string& why) {
    for (int depth = 0; window != nullptr && depth < 8; ++depth) {
        const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
        HWND owner = ::GetWindow(window, GW_OWNER);
        const std::string name = "\"" + e2e::TextOf(window) + "\"";
        if (!::IsWindowVisible(window)) {
            why += name + " is not visible";
            return false;
        }
        if (exStyle & WS_EX_APPWINDOW) {
            why += name + " has WS_EX_APPWINDOW";
            return true;
        }
        if (owner == nullptr) {
            if (exStyle & WS_EX_TOOLWINDOW) {
                why += name + " is an unowned tool window";
                return false;
            }
            why += name + " is unowned";
            return true;
        }
        why += name + " is owned by ";
        window = owner;
    }
    why += "(no end)";
    return false;
}

namespace {
struct Span {
    int first = 0;
    int last = 0;
};

bool IsInk(std::uint32_t p, std::uint32_t background) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((background >> shift) & 0xFF);
        if (d > 64 || d < -64) return true;
    }
    return false;
}
}  // namespace

StopPlace EndStopPlace(const e2e::Image& image, std::string& why) {
    if (image.width == 0 || image.height == 0) {
        why = "no pixels";
        return StopPlace::Unknown;
    }
    const std::uint32_t background = e2e::DominantColour(image);
    auto rowHasInk = [&](int y) {
        for (int x = 0; x < image.width; ++x) {
            if (IsInk(image.At(x, y), background)) return true;
        }
        return false;
    };
    // The last line of text: the last run of rows with ink.
    int bottom = image.height - 1;
    while (bottom >= 0 && !rowHasInk(bottom)) --bottom;
    if (bottom < 0) {
        why = "no text drawn";
        return StopPlace::Unknown;
    }
    int top = bottom;
    while (top > 0 && rowHasInk(top - 1)) --top;
    const int lineHeight = bottom - top + 1;
    // Glyph clusters: runs of columns with ink in that line.
    std::vector<Span> clusters;
    bool inCluster = false;
    for (int x = 0; x < image.width; ++x) {
        bool ink = false;
        for (int y = top; y <= bottom && !ink; ++y) ink = IsInk(image.At(x, y), background);
        if (ink && !inCluster) clusters.push_back({x, x});
        if (ink) clusters.back().last = x;
        inCluster = ink;
    }
    auto isStop = [&](const Span& s) {
        int inkTop = bottom + 1;
        int inkBottom = top - 1;
        for (int x = s.first; x <= s.last; ++x) {
            for (int y = top; y <= bottom; ++y) {
                if (!IsInk(image.At(x, y), background)) continue;
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
            }
        }
        const int height = inkBottom - inkTop + 1;
        const int width = s.last - s.first + 1;
        return height * 3 <= lineHeight && width * 2 <= lineHeight && inkTop >= top + lineHeight / 2;
    };
    char text[160];
    std::snprintf(text, sizeof text, "last line rows %d-%d, %zu glyph clusters, x %d-%d", top, bottom,
                  clusters.size(), clusters.empty() ? -1 : clusters.front().first,
                  clusters.empty() ? -1 : clusters.back().last);
    why = text;
    if (clusters.size() < 2) return StopPlace::Unknown;
    const bool left = isStop(clusters.front());
    const bool right = isStop(clusters.back());
    if (left && !right) return StopPlace::Left;
    if (right && !left) return StopPlace::Right;
    return StopPlace::Unknown;
}

std::string Hex(long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace kelto::acceptance

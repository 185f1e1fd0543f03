#include "intake/account.h"

#include <cstdint>

#include "base/text.h"

namespace kelto::intake {

namespace {
constexpr std::string_view kCurrentUserRoot = "HKCU\\";
constexpr const char* kProfileList = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
constexpr int kMaxSubAuthorities = 15;

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!text::IsAsciiDigit(c)) return false;
    return true;
}

// Decimal digits whose value fits in `maxDigits` digits and below `limit`.
bool IsNumberBelow(std::string_view s, std::size_t maxDigits, std::uint64_t limit) {
    if (!AllDigits(s) || s.size() > maxDigits) return false;
    std::uint64_t value = 0;
    for (char c : s) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    return value < limit;
}

// Replaces each %NAME% of `names` (case-blind, as Windows reads variable names) with its value.
std::string ExpandKnown(std::string text, const std::vector<std::pair<std::string, std::string>>& names) {
    for (const auto& [name, value] : names) {
        const std::string pattern = "%" + text::ToLowerAscii(name) + "%";
        for (;;) {
            const auto at = text::ToLowerAscii(text).find(pattern);
            if (at == std::string::npos) break;
            text.replace(at, pattern.size(), value);
        }
    }
    return text;
}

// A folder path as the account's settings give it, expanded; empty when a variable is left
// over, a value is empty, or it is not a full path.
std::string ExpandedFolder(platform::System& system, const std::string& stored, const std::string& profile) {
    std::vector<std::pair<std::string, std::string>> names = {
        {"SystemRoot", system.environment.Get("SystemRoot")},
        {"SystemDrive", system.environment.Get("SystemDrive")},
    };
    if (!profile.empty()) names.insert(names.begin(), {"USERPROFILE", profile});
    for (const auto& [name, value] : names)
        if (value.empty() &&
            text::ToLowerAscii(stored).find("%" + text::ToLowerAscii(name) + "%") != std::string::npos)
            return {};
    const std::string expanded = ExpandKnown(text::TrimSpaces(stored), names);
    if (expanded.find('%') != std::string::npos) return {};
    const bool fullPath =
        (expanded.size() >= 3 && expanded[1] == ':' && expanded[2] == '\\') || expanded.starts_with("\\\\");
    return fullPath ? expanded : std::string();
}
}  // namespace

bool IsWellFormedSidText(std::string_view sid) {
    if (!sid.starts_with("S-1-")) return false;
    sid.remove_prefix(4);
    const auto dash = sid.find('-');
    if (dash == std::string_view::npos) return false;
    // The authority is 48 bits wide.
    if (!IsNumberBelow(sid.substr(0, dash), 15, std::uint64_t{1} << 48)) return false;
    sid.remove_prefix(dash + 1);
    int count = 0;
    for (;;) {
        const auto next = sid.find('-');
        if (!IsNumberBelow(sid.substr(0, next), 10, std::uint64_t{1} << 32)) return false;
        if (++count > kMaxSubAuthorities) return false;
        if (next == std::string_view::npos) return true;
        sid.remove_prefix(next + 1);
    }
}

CustomerAccount ResolveCustomerAccount(platform::System& system, const std::optional<std::string>& sid) {
    CustomerAccount account;
    if (!sid || !IsWellFormedSidText(*sid)) return account;
    if (system.process.MatchAccount(*sid) != platform::AccountMatch::Other) return account;
    account.sid = *sid;
    account.registryRoot = "HKU\\" + *sid + "\\";
    std::string profile;
    if (system.registry.ReadString(kProfileList + *sid + "\\ProfileImagePath", profile))
        account.profileFolder = ExpandedFolder(system, profile, {});
    std::string temp;
    if (!account.profileFolder.empty() &&
        system.registry.ReadString(account.registryRoot + "Environment\\TEMP", temp)) {
        account.tempFolder = ExpandedFolder(system, temp, account.profileFolder);
    }
    return account;
}

std::string InCustomerHive(const CustomerAccount& account, std::string_view currentUserName) {
    if (!currentUserName.starts_with(kCurrentUserRoot)) return std::string(currentUserName);
    return account.registryRoot + std::string(currentUserName.substr(kCurrentUserRoot.size()));
}

std::string CustomerTempFolder(platform::System& system, const CustomerAccount& account) {
    return account.tempFolder.empty() ? system.environment.Get("TEMP") : account.tempFolder;
}

std::string CustomerProfileFolder(platform::System& system, const CustomerAccount& account) {
    return account.profileFolder.empty() ? system.environment.Get("USERPROFILE") : account.profileFolder;
}

}  // namespace kelto::intake

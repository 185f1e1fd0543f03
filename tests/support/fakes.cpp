#include "support/fakes.h"

#include <algorithm>

#include "base/registry_value.h"
#include "base/text.h"

namespace kelto::testing {

// ---- registry ----

std::string FakeRegistry::Fold(const std::string& s) { return text::ToLowerAscii(s); }

void FakeRegistry::Split(const std::string& name, std::string& key, std::string& value) {
    if (!name.empty() && name.back() == '\\') {
        key = name.substr(0, name.size() - 1);
        value.clear();
        return;
    }
    const auto cut = name.rfind('\\');
    key = cut == std::string::npos ? std::string() : name.substr(0, cut);
    value = cut == std::string::npos ? name : name.substr(cut + 1);
}

bool FakeRegistry::AllowWrite() {
    if (failWritesAfter && writes_ >= *failWritesAfter) return false;
    ++writes_;
    return true;
}

namespace {
using platform::RawRegistryValue;
using platform::ReadResult;
using platform::ReadStatus;
namespace regtype = platform::regtype;

void PutUnit(std::vector<std::uint8_t>& out, std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// UTF-8 to UTF-16LE bytes with a terminating null, as Windows stores a REG_SZ. Bytes that are
// not UTF-8 become U+FFFD.
std::vector<std::uint8_t> Utf16Bytes(const std::string& utf8) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC0 ? 2
                                                  : 0;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? (lead & 0x1F)
                             : length == 3 ? (lead & 0x0F)
                                           : (lead & 0x07);
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // As Windows converts: overlong forms, surrogates and code points past U+10FFFF are
        // not UTF-8 either.
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (lead >= 0xF8 || code < kSmallest[length] || code > 0x10FFFF ||
                      (code >= 0xD800 && code < 0xE000))) {
            valid = false;
        }
        if (!valid) {
            PutUnit(out, 0xFFFD);
            ++i;
            continue;
        }
        i += length;
        if (code >= 0x10000) {
            PutUnit(out, 0xD800 + ((code - 0x10000) >> 10));
            PutUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            PutUnit(out, code);
        }
    }
    PutUnit(out, 0);
    return out;
}

std::string DumpText(const RawRegistryValue& v) {
    if (std::string text; registry_value::AsText(v, text)) return text;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "(type " + std::to_string(v.type) + ")";
    for (const auto b : v.bytes) {
        out += ' ';
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    return out;
}
}  // namespace

void FakeRegistry::FailReads(const std::string& name, std::uint32_t error) {
    readErrors_[Fold(name)] = error;
}

ReadResult FakeRegistry::Find(const std::string& name, RawRegistryValue& value) {
    log.push_back("read " + name);
    if (const auto failure = readErrors_.find(Fold(name)); failure != readErrors_.end()) {
        return {ReadStatus::Failed, failure->second};
    }
    std::string key, valueName;
    Split(name, key, valueName);
    const auto k = keys_.find(Fold(key));
    if (k == keys_.end()) return {ReadStatus::Absent, 0};
    const auto v = k->second.find(Fold(valueName));
    if (v == k->second.end()) return {ReadStatus::Absent, 0};
    value = v->second;
    return {ReadStatus::Ok, 0};
}

ReadResult FakeRegistry::ReadString(const std::string& name, std::string& value) {
    RawRegistryValue raw;
    const ReadResult read = Find(name, raw);
    if (!read) return read;
    return registry_value::AsText(raw, value);
}

ReadResult FakeRegistry::ReadDword(const std::string& name, std::uint32_t& value) {
    RawRegistryValue raw;
    const ReadResult read = Find(name, raw);
    if (!read) return read;
    return registry_value::AsDword(raw, value);
}

ReadResult FakeRegistry::ReadRaw(const std::string& name, RawRegistryValue& value) {
    return Find(name, value);
}

platform::Outcome FakeRegistry::Store(const std::string& name, RawRegistryValue value) {
    log.push_back("write " + name);
    if (!AllowWrite()) return {kAccessDenied};
    std::string key, valueName;
    Split(name, key, valueName);
    // Create the key and every missing parent.
    for (std::size_t pos = key.find('\\');; pos = key.find('\\', pos + 1)) {
        const std::string part = pos == std::string::npos ? key : key.substr(0, pos);
        keys_[Fold(part)];
        displayNames_.emplace(Fold(part), part);
        if (pos == std::string::npos) break;
    }
    keys_[Fold(key)][Fold(valueName)] = std::move(value);
    displayNames_.emplace(Fold(key) + "\\" + Fold(valueName), valueName);
    return {};
}

bool FakeRegistry::WriteString(const std::string& name, const std::string& value) {
    return Store(name, {regtype::kSz, Utf16Bytes(value)}).Ok();
}

bool FakeRegistry::WriteDword(const std::string& name, std::uint32_t value) {
    std::vector<std::uint8_t> bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    return Store(name, {regtype::kDword, std::move(bytes)}).Ok();
}

platform::Outcome FakeRegistry::WriteRaw(const std::string& name, const RawRegistryValue& value) {
    return Store(name, value);
}

bool FakeRegistry::Delete(const std::string& name) {
    log.push_back("delete " + name);
    std::string key, valueName;
    Split(name, key, valueName);
    if (!name.empty() && name.back() == '\\') {
        const std::string folded = Fold(key);
        if (!keys_.count(folded)) return false;
        const std::string childPrefix = folded + "\\";
        for (const auto& [k, values] : keys_) {
            if (k.compare(0, childPrefix.size(), childPrefix) == 0) return false;  // has subkeys
        }
        keys_.erase(folded);
        return true;
    }
    const auto k = keys_.find(Fold(key));
    if (k == keys_.end()) return false;
    return k->second.erase(Fold(valueName)) > 0;
}

bool FakeRegistry::KeyExists(const std::string& keyPath) const {
    std::string key = keyPath;
    if (!key.empty() && key.back() == '\\') key.pop_back();
    return keys_.count(Fold(key)) > 0;
}

bool FakeRegistry::HasValue(const std::string& name) const {
    std::string key, valueName;
    Split(name, key, valueName);
    const auto k = keys_.find(Fold(key));
    return k != keys_.end() && k->second.count(Fold(valueName)) > 0;
}

std::vector<std::string> FakeRegistry::Dump() const {
    std::vector<std::string> out;
    for (const auto& [key, values] : keys_) {
        out.push_back(key + "\\");
        for (const auto& [name, value] : values) {
            out.push_back(key + "\\" + name + "=" + DumpText(value));
        }
    }
    return out;
}

// ---- environment ----

std::string FakeEnvironment::Get(const std::string& name) {
    for (const auto& [k, v] : variables) {
        if (text::ToLowerAscii(k) == text::ToLowerAscii(name)) return v;
    }
    return {};
}

// ---- file system ----

void FakeFileSystem::AddFile(const std::string& path, Attr attr, std::string content) {
    entries[path] = {attr, std::move(content)};
}

bool FakeFileSystem::IsNormalFile(const std::string& path) {
    probes.push_back(path);
    const auto it = entries.find(path);
    return it != entries.end() && it->second.first == Attr::Normal;
}

bool FakeFileSystem::FileExists(const std::string& path) {
    const auto it = entries.find(path);
    return it != entries.end() && it->second.first != Attr::Folder;
}

bool FakeFileSystem::FolderExists(const std::string& path) {
    const auto it = entries.find(path);
    return it != entries.end() && it->second.first == Attr::Folder;
}

static std::vector<std::string> Children(
    const std::map<std::string, std::pair<FakeFileSystem::Attr, std::string>>& entries,
    const std::string& folder, bool folders) {
    std::vector<std::string> out;
    const std::string prefix = folder + "\\";
    for (const auto& [path, entry] : entries) {
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string rest = path.substr(prefix.size());
        if (rest.empty() || rest.find('\\') != std::string::npos) continue;
        if ((entry.first == FakeFileSystem::Attr::Folder) == folders) out.push_back(rest);
    }
    return out;
}

std::vector<std::string> FakeFileSystem::List(const std::string& folder, bool folders) const {
    if (unlistableFolders.count(folder)) return {};
    auto names = Children(entries, folder, folders);
    const auto order = listingOrder.find(folder);
    if (order == listingOrder.end()) return names;
    const auto rank = [&](const std::string& name) {
        const auto at = std::find(order->second.begin(), order->second.end(), name);
        return at - order->second.begin();
    };
    std::stable_sort(names.begin(), names.end(),
                     [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    return names;
}

std::vector<std::string> FakeFileSystem::ListFiles(const std::string& folder) { return List(folder, false); }
std::vector<std::string> FakeFileSystem::ListFolders(const std::string& folder) { return List(folder, true); }

platform::Outcome FakeFileSystem::CreateFolder(const std::string& path) {
    constexpr std::uint32_t kAlreadyExists = 183;
    constexpr std::uint32_t kAccessDenied = 5;
    if (entries.count(path)) return {kAlreadyExists};
    if (readOnlyFolders.count(text::ParentFolder(path))) return {kAccessDenied};
    entries[path] = {Attr::Folder, {}};
    createdFolders.push_back(path);
    return {};
}

bool FakeFileSystem::DeleteFile(const std::string& path) {
    const auto it = entries.find(path);
    if (it == entries.end() || it->second.first == Attr::Folder) return false;
    entries.erase(it);
    return true;
}

namespace {
class FakeHeld : public platform::HeldPath {
public:
    FakeHeld(std::multiset<std::string>& held, std::string path) : held_(held), path_(std::move(path)) {
        held_.insert(path_);
    }
    ~FakeHeld() override { held_.erase(held_.find(path_)); }

private:
    std::multiset<std::string>& held_;
    std::string path_;
};

bool IsAtOrBelow(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "\\", 0) == 0;
}
}  // namespace

bool FakeFileSystem::IsLink(const std::string& path) const {
    const auto it = linkFacts.find(path);
    return it != linkFacts.end() && it->second.nameSurrogate;
}

platform::Outcome FakeFileSystem::OpenNoFollow(const std::string& path, platform::PathFacts& facts,
                                               std::unique_ptr<platform::HeldPath>& held) {
    constexpr std::uint32_t kFileNotFound = 2;
    const auto it = entries.find(path);
    if (it == entries.end()) return {kFileNotFound};
    const auto given = linkFacts.find(path);
    facts = given != linkFacts.end() ? given->second
                                     : platform::PathFacts{it->second.first == Attr::Folder, false, 1};
    held = std::make_unique<FakeHeld>(this->held, path);
    return {};
}

platform::Outcome FakeFileSystem::CreateSecuredFolder(const std::string& path,
                                                      const platform::FolderSecurity& wanted,
                                                      platform::PathFacts& facts,
                                                      std::unique_ptr<platform::HeldPath>& held) {
    const platform::Outcome created = CreateFolder(path);
    if (!created.Ok()) return created;
    security[path] = wanted;
    return OpenNoFollow(path, facts, held);
}

std::vector<std::string> FakeFileSystem::ListFilesNoLinks(const std::string& folder) {
    auto names = List(folder, false);
    std::erase_if(names, [&](const std::string& name) { return IsLink(folder + "\\" + name); });
    return names;
}

std::vector<std::string> FakeFileSystem::ListFoldersNoLinks(const std::string& folder) {
    auto names = List(folder, true);
    std::erase_if(names, [&](const std::string& name) { return IsLink(folder + "\\" + name); });
    return names;
}

platform::RemoveOutcome FakeFileSystem::RemoveFolderTreeIf(
    const std::string& path, const std::function<bool(const platform::FolderSecurity&)>& expected) {
    if (!FolderExists(path) || IsLink(path)) return platform::RemoveOutcome::NotMatching;
    const auto found = security.find(path);
    if (found == security.end() || !expected(found->second)) return platform::RemoveOutcome::NotMatching;
    for (const auto& busy : inUse)
        if (IsAtOrBelow(busy, path)) return platform::RemoveOutcome::InUse;
    for (const auto& open : held)
        if (IsAtOrBelow(open, path)) return platform::RemoveOutcome::InUse;
    std::erase_if(entries, [&](const auto& entry) { return IsAtOrBelow(entry.first, path); });
    security.erase(path);
    removedFolders.push_back(path);
    return platform::RemoveOutcome::Removed;
}

platform::AppendResult FakeFileSystem::Append(const std::string& path, const std::string& bytes) {
    ++appendCalls;
    if (readOnlyFolders.count(text::ParentFolder(path))) return platform::AppendResult::Failed;
    if (busyAppends > 0) {
        --busyAppends;
        return platform::AppendResult::Busy;
    }
    auto& entry = entries[path];
    entry.second += bytes;
    return platform::AppendResult::Ok;
}

// ---- process ----

namespace {
// A SID's numbers as Windows reads them: "S-1-" then an authority and its sub-authorities, or
// one of the two-letter aliases the string form also takes.
std::optional<std::vector<unsigned long long>> SidNumbers(const std::string& text) {
    if (text == "BA") return SidNumbers("S-1-5-32-544");
    if (text == "SY") return SidNumbers("S-1-5-18");
    if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return std::nullopt;
    std::vector<unsigned long long> numbers;
    std::size_t at = 2;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('-', at), text.size());
        if (end == at || end - at > 19) return std::nullopt;
        unsigned long long n = 0;
        for (std::size_t i = at; i < end; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            n = n * 10 + static_cast<unsigned>(text[i] - '0');
        }
        numbers.push_back(n);
        at = end + 1;
    }
    if (numbers.size() < 2 || numbers[0] != 1) return std::nullopt;
    return numbers;
}
}  // namespace

platform::AccountMatch FakeProcess::MatchAccount(const std::string& sid) {
    const auto other = SidNumbers(sid);
    if (!other) return platform::AccountMatch::NotASid;
    return other == SidNumbers(userSid) ? platform::AccountMatch::Own : platform::AccountMatch::Other;
}

std::string FakeProcess::ToAnsiCodePage(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        std::size_t length = (c >= 0xF0) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC0) ? 2 : 1;
        out.push_back('?');
        i += length;
    }
    return out;
}

// ---- dialogs ----

int FakeDialogs::MessageBox(platform::WindowHandle owner, const std::string& text, const std::string& title,
                            unsigned flags) {
    boxes.push_back({owner, text, title, flags});
    if (answers.empty()) return platform::mb::kIdOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::string FakeDialogs::InputBox(platform::WindowHandle owner, const std::string& prompt,
                                  const std::string& title) {
    inputBoxes.push_back({owner, prompt, title, 0});
    if (inputs.empty()) return {};
    std::string answer = inputs.front();
    inputs.pop_front();
    return answer;
}

// ---- main window ----

void FakeMainWindow::ShowEthernetGuide(bool owned) {
    events.push_back(owned ? "guide owned" : "guide");
    if (onEthernetGuide) onEthernetGuide();
}

// ---- bundle ----

std::vector<std::string> FakeSystem::LogLines() const {
    std::vector<std::string> lines;
    const auto it = files.entries.find(LogPath());
    if (it == files.entries.end()) return lines;
    const std::string& content = it->second.second;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const auto end = content.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(content.substr(pos) + "<no CR LF>");
            break;
        }
        lines.push_back(content.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::vector<std::string> FakeSystem::LogMessages() const {
    std::vector<std::string> out;
    for (const auto& line : LogLines()) out.push_back(line.size() >= 20 ? line.substr(20) : line);
    return out;
}

}  // namespace kelto::testing

#include "actions/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "intake/protocol_parse.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using actions::ActionInfo;
using actions::GetActionInfo;
using testing::FakeFileSystem;
using testing::FakeSystem;

// One row of tests/data/catalogue.tsv; nullopt where the file says "(none)".
struct ExpectedRow {
    std::string key;
    bool runas = false;
    std::string title, description;
    std::optional<std::string> file, arguments;
};

std::optional<std::string> Named(const std::string& cell) {
    if (cell == "(none)") return std::nullopt;
    return cell;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return cells;
        start = tab + 1;
    }
}

std::vector<ExpectedRow> LoadCatalogueFixture() {
    std::ifstream in(KELTO_TEST_DATA_DIR "/catalogue.tsv", std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read catalogue.tsv";
    std::vector<ExpectedRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto cells = SplitTabs(line);
        EXPECT_EQ(cells.size(), 6u) << line;
        if (cells.size() != 6) continue;
        EXPECT_TRUE(cells[1] == "preset" || cells[1] == "runas") << line;
        rows.push_back({cells[0], cells[1] == "runas", cells[2], cells[3], Named(cells[4]), Named(cells[5])});
    }
    return rows;
}

// The environment and files the fixture was written for (see its header).
void UseFixtureEnvironment(FakeSystem& f) {
    f.environment.variables = {{"SystemRoot", "C:\\Windows"},
                               {"TEMP", "C:\\Users\\Dana Levi\\AppData\\Local\\Temp"},
                               {"USERPROFILE", "C:\\Users\\Dana Levi"}};
    f.files.AddFile("C:\\Windows\\Sysnative\\msconfig.exe");
    f.files.AddFile("C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe");
}

// What callers hand in: every field empty, the verb preset to "open".
ActionInfo CallerPreset() {
    ActionInfo info;
    info.Verb = "open";
    return info;
}

std::string Upper(std::string_view key) {
    std::string upper(key);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

ActionInfo Sentinels() {
    return {"caller title", "caller description", "caller verb", "caller file", "caller arguments"};
}

void ExpectSame(const ActionInfo& actual, const ActionInfo& expected, const std::string& key) {
    EXPECT_EQ(actual.Title, expected.Title) << key;
    EXPECT_EQ(actual.Description, expected.Description) << key;
    EXPECT_EQ(actual.Verb, expected.Verb) << key;
    EXPECT_EQ(actual.File, expected.File) << key;
    EXPECT_EQ(actual.Arguments, expected.Arguments) << key;
}

TEST(Catalogue, EveryRowMatchesTheTranscribedTable) {
    const auto rows = LoadCatalogueFixture();
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        FakeSystem f;
        UseFixtureEnvironment(f);
        ActionInfo info = CallerPreset();
        ASSERT_TRUE(GetActionInfo(f.system, row.key, info)) << row.key;
        ExpectSame(info,
                   {row.title, row.description, row.runas ? "runas" : "open", row.file.value_or(""),
                    row.arguments.value_or("")},
                   row.key);
    }
}

TEST(Catalogue, KeysAreExactlyTheTableKeysLowerCaseLettersEachOnce) {
    std::set<std::string> fixtureKeys;
    for (const auto& row : LoadCatalogueFixture()) {
        EXPECT_TRUE(fixtureKeys.insert(row.key).second) << "twice in the fixture: " << row.key;
    }
    EXPECT_EQ(fixtureKeys.size(), 67u);

    std::set<std::string> codeKeys;
    for (const auto key : actions::CatalogueKeys()) {
        EXPECT_TRUE(codeKeys.insert(std::string(key)).second) << "twice in the catalogue: " << key;
        EXPECT_FALSE(key.empty());
        for (const char c : key) EXPECT_TRUE(c >= 'a' && c <= 'z') << key;
    }
    EXPECT_EQ(codeKeys, fixtureKeys);

    // The verb column as the catalogue's description lists it: fourteen rows ask for "runas".
    std::set<std::string> runasKeys;
    for (const auto& row : LoadCatalogueFixture()) {
        if (row.runas) runasKeys.insert(row.key);
    }
    EXPECT_EQ(runasKeys,
              (std::set<std::string>{"dhcprenew", "proxyreset", "winsockreset", "ipreset", "sfc", "dism",
                                     "chkdsk", "fullnetworkreset", "reinstallnetwork", "spoolerreset",
                                     "restartnormal", "safemodenetwork", "normalboot", "virtualiso"}));
}

// A row writes only what it names: the caller's verb, file and arguments survive on rows
// that name none.
TEST(Catalogue, RowsWriteOnlyTheFieldsTheyName) {
    for (const auto& row : LoadCatalogueFixture()) {
        FakeSystem f;
        UseFixtureEnvironment(f);
        const ActionInfo preset = Sentinels();
        ActionInfo info = preset;
        ASSERT_TRUE(GetActionInfo(f.system, row.key, info)) << row.key;
        ExpectSame(info,
                   {row.title, row.description, row.runas ? "runas" : preset.Verb,
                    row.file.value_or(preset.File), row.arguments.value_or(preset.Arguments)},
                   row.key);
    }
}

TEST(Catalogue, EveryKeyIsReachableAsAProtocolUrlKey) {
    for (const auto keyView : actions::CatalogueKeys()) {
        const std::string key(keyView);
        EXPECT_EQ(intake::ParseActionKey("kelto:" + key), key);
        EXPECT_EQ(intake::ParseActionKey("\"kelto://" + key + "/sid/AbC-9/host/10.0.0.5/port/443/tls/1\""),
                  key);
        EXPECT_EQ(intake::ParseActionKey("kelto:?tool=" + key + "&sid=abc"), key);
        EXPECT_EQ(intake::ParseActionKey("KELTO:" + Upper(key)), key);
    }
}

// Nothing but an exact table key yields a record.
TEST(Catalogue, AnyOtherKeyLeavesTheRecordUntouched) {
    std::vector<std::string> keys = {"",
                                     "IPCONFIG",
                                     "Ipconfig",
                                     "ipconfiG",
                                     "ipconfig ",
                                     " ipconfig",
                                     "ipconfig\t",
                                     "ipconfig\r\n",
                                     std::string("ipconfig\0", 9),
                                     "ipconfi",
                                     "ipconfigx",
                                     "ipconfig2",
                                     "kelto:ipconfig",
                                     "\"ipconfig\"",
                                     "offline",
                                     "ıpconfig",
                                     "ipconfig\xff",
                                     "cmd.exe",
                                     "restorelastkelto/",
                                     "virtual iso"};
    // Every real key in capitals, with a blank on either side, and cut by its last letter
    // (unless that happens to be a key of its own).
    const auto table = actions::CatalogueKeys();
    for (const auto key : table) {
        keys.push_back(Upper(key));
        keys.push_back(std::string(key) + " ");
        keys.push_back(" " + std::string(key));
        const auto cut = key.substr(0, key.size() - 1);
        if (std::find(table.begin(), table.end(), cut) == table.end()) keys.emplace_back(cut);
    }
    for (const auto& key : keys) {
        FakeSystem f;
        UseFixtureEnvironment(f);
        ActionInfo info = Sentinels();
        EXPECT_FALSE(GetActionInfo(f.system, key, info)) << "[" << key << "]";
        ExpectSame(info, Sentinels(), key);
    }
}

// The rows that read the system, beyond the fixture's one environment.
struct SystemCase {
    std::string name;
    std::string key;
    std::vector<std::pair<std::string, std::string>> variables;
    std::vector<std::pair<std::string, FakeFileSystem::Attr>> files;
    std::string file, arguments;
    std::string verb = "open";
};

void PrintTo(const SystemCase& c, std::ostream* os) { *os << c.name; }

class CatalogueSystemRows : public ::testing::TestWithParam<SystemCase> {};

TEST_P(CatalogueSystemRows, ReadTheEnvironmentAndDisk) {
    const SystemCase& c = GetParam();
    FakeSystem f;
    for (const auto& [name, value] : c.variables) f.environment.variables[name] = value;
    for (const auto& [path, attr] : c.files) f.files.AddFile(path, attr);
    ActionInfo info = CallerPreset();
    ASSERT_TRUE(GetActionInfo(f.system, c.key, info));
    EXPECT_EQ(info.File, c.file);
    EXPECT_EQ(info.Arguments, c.arguments);
    EXPECT_EQ(info.Verb, c.verb);
}

using Attr = FakeFileSystem::Attr;
INSTANTIATE_TEST_SUITE_P(
    Cases, CatalogueSystemRows,
    ::testing::Values(
        SystemCase{"TempWithBlanks",
                   "temp",
                   {{"TEMP", "D:\\Temp Files\\x y"}},
                   {},
                   "explorer.exe",
                   "D:\\Temp Files\\x y"},
        SystemCase{"TempUnset", "temp", {{"TMP", "C:\\Tmp"}}, {}, "explorer.exe", ""},
        SystemCase{"DownloadsHebrewProfile",
                   "downloads",
                   {{"USERPROFILE", "C:\\Users\\דנה לוי"}},
                   {},
                   "explorer.exe",
                   "C:\\Users\\דנה לוי\\Downloads"},
        SystemCase{"DownloadsProfileUnset",
                   "downloads",
                   {{"HOMEPATH", "\\Users\\x"}},
                   {},
                   "explorer.exe",
                   "\\Downloads"},
        SystemCase{"MsconfigNowhere", "msconfig", {{"SystemRoot", "C:\\Windows"}}, {}, "msconfig.exe", ""},
        SystemCase{"MsconfigNative",
                   "msconfig",
                   {{"SystemRoot", "C:\\Windows"}},
                   {{"C:\\Windows\\Sysnative\\msconfig.exe", Attr::Normal},
                    {"C:\\Windows\\System32\\msconfig.exe", Attr::Normal}},
                   "C:\\Windows\\Sysnative\\msconfig.exe",
                   ""},
        SystemCase{"MsconfigSystem32",
                   "msconfig",
                   {{"SystemRoot", "C:\\Windows"}},
                   {{"C:\\Windows\\System32\\msconfig.exe", Attr::Normal}},
                   "C:\\Windows\\System32\\msconfig.exe",
                   ""},
        SystemCase{"MsconfigHiddenNativeCopySkipped",
                   "msconfig",
                   {{"SystemRoot", "C:\\Windows"}},
                   {{"C:\\Windows\\Sysnative\\msconfig.exe", Attr::Hidden},
                    {"C:\\Windows\\SysWOW64\\msconfig.exe", Attr::Normal}},
                   "C:\\Windows\\SysWOW64\\msconfig.exe",
                   ""},
        SystemCase{"MsconfigWinDirRoot",
                   "msconfig",
                   {{"WinDir", "E:\\WINNT"}},
                   {{"E:\\WINNT\\msconfig.exe", Attr::Normal}},
                   "E:\\WINNT\\msconfig.exe",
                   ""},
        // The rows that read nothing stay as they are whatever the environment holds.
        SystemCase{"CmdHasNoArguments", "cmd", {{"TEMP", "C:\\T"}}, {}, "cmd.exe", ""},
        SystemCase{"ControlHasNoArguments", "control", {{"TEMP", "C:\\T"}}, {}, "control.exe", ""},
        SystemCase{"PrintersPassesTheWord", "printers", {}, {}, "control.exe", "printers"},
        SystemCase{"RestartNormalQuotesItsComment",
                   "restartnormal",
                   {},
                   {},
                   "shutdown.exe",
                   std::string("/r /t 15 /c ") + '"' + "Kelto Remote Restart" + '"',
                   "runas"}),
    [](const auto& info) { return info.param.name; });

// Values are taken at each lookup, not remembered from an earlier one.
TEST(Catalogue, ReadsTheEnvironmentAtEachLookup) {
    FakeSystem f;
    f.environment.variables["TEMP"] = "C:\\First";
    f.environment.variables["SystemRoot"] = "C:\\Windows";
    ActionInfo first = CallerPreset();
    ASSERT_TRUE(GetActionInfo(f.system, "temp", first));
    ASSERT_TRUE(GetActionInfo(f.system, "msconfig", first));
    EXPECT_EQ(first.Arguments, "C:\\First");
    EXPECT_EQ(first.File, "msconfig.exe");

    f.environment.variables["TEMP"] = "C:\\Second";
    f.files.AddFile("C:\\Windows\\System32\\msconfig.exe");
    ActionInfo second = CallerPreset();
    ASSERT_TRUE(GetActionInfo(f.system, "temp", second));
    EXPECT_EQ(second.Arguments, "C:\\Second");
    ASSERT_TRUE(GetActionInfo(f.system, "msconfig", second));
    EXPECT_EQ(second.File, "C:\\Windows\\System32\\msconfig.exe");
}

// No environment makes a row fail: every key is found with its texts under hostile values.
TEST(Catalogue, EveryKeyIsFoundWhateverTheEnvironmentHolds) {
    const std::vector<std::string> values = {
        "",         " ",   "\"", "C:\\a&b %PATH% ^|<>", std::string(70000, 'x'), std::string("a\0b", 3),
        "\xff\xfe", "שלום"};
    for (const auto& value : values) {
        FakeSystem f;
        for (const char* name : {"SystemRoot", "WinDir", "TEMP", "USERPROFILE"}) {
            f.environment.variables[name] = value;
        }
        for (const auto key : actions::CatalogueKeys()) {
            ActionInfo info = CallerPreset();
            EXPECT_TRUE(GetActionInfo(f.system, key, info)) << key;
            EXPECT_FALSE(info.Title.empty()) << key;
            EXPECT_FALSE(info.Description.empty()) << key;
        }
    }
}

}  // namespace
}  // namespace kelto

namespace kelto {
namespace {

// The entries the approval and the elevated instance treat apart; every other key gets the
// consent box alone, the restore question and a start through the shell.
TEST(CatalogueTraits, OnlyTheSpecialEntriesDifferFromTheDefault) {
    using actions::Confirmation;
    using actions::Performer;
    struct Special {
        std::string key;
        Confirmation confirmation;
        bool asksRestorePoint;
        Performer performer;
    };
    const std::vector<Special> specials = {
        {"restartnormal", Confirmation::Restart, true, Performer::Shell},
        {"safemodenetwork", Confirmation::SafeModeRestart, true, Performer::Shell},
        {"normalboot", Confirmation::NormalBootRestart, true, Performer::Shell},
        {"reinstallnetwork", Confirmation::NetworkReinstall, true, Performer::Shell},
        {"restorelastkelto", Confirmation::None, false, Performer::Rollback},
        {"virtualiso", Confirmation::RescueVm, false, Performer::RescueVm},
    };
    for (const auto key : actions::CatalogueKeys()) {
        SCOPED_TRACE(std::string(key));
        const auto traits = actions::GetActionTraits(key);
        ASSERT_TRUE(traits.has_value());
        const auto special =
            std::find_if(specials.begin(), specials.end(), [&](const Special& s) { return s.key == key; });
        if (special == specials.end()) {
            EXPECT_EQ(traits->confirmation, Confirmation::None);
            EXPECT_TRUE(traits->asksRestorePoint);
            EXPECT_EQ(traits->performer, Performer::Shell);
        } else {
            EXPECT_EQ(traits->confirmation, special->confirmation);
            EXPECT_EQ(traits->asksRestorePoint, special->asksRestorePoint);
            EXPECT_EQ(traits->performer, special->performer);
        }
    }
    for (const std::string other : {"", "Virtualiso", "offline", "virtualiso ", "restorelastkelto2"}) {
        EXPECT_FALSE(actions::GetActionTraits(other).has_value()) << other;
    }
}

}  // namespace
}  // namespace kelto

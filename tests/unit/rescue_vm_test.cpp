#include "rescuevm/rescue_vm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "actions/approval.h"
#include "rescuevm/vm_files.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using namespace platform::mb;
using ::testing::ElementsAre;
using testing::FakeFileSystem;
using testing::FakeSystem;
using ::testing::IsEmpty;

const std::string kFolder = "C:\\Program Files\\Kelto";
const std::string kQemuFolder = kFolder + "\\QEMU";
// The run folder: named after the fake clock's UTC moment, 2026-12-10 12:00:00.
const std::string kRunName = "Run-20261210-120000-1";
const std::string kRun = kQemuFolder + "\\" + kRunName;
const std::string kArchive = kRun + "\\QEMU.zip";
const std::string kIso = kRun + "\\Kelto-Rescue.iso";
const std::string kEmulator = kRun + "\\Portable QEMU\\bin\\qemu-system-x86_64.exe";
const std::string kCustomerSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
const std::string kCurl = "C:\\Windows\\System32\\curl.exe";
const std::string kTar = "C:\\Windows\\System32\\tar.exe";
const std::string kPowerShell = "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe";

const std::string kAddressRefused = "כתובת שרת Kelto אינה תקינה.";
const std::string kArchiveBox = "הורדת QEMU.zip נכשלה.\r\nודא שהקובץ QEMU.zip נמצא בתיקיית vm.";
const std::string kIsoBox = "הורדת קובץ ה-ISO נכשלה.\r\nודא שהקובץ Kelto-Rescue.iso נמצא בתיקיית vm.";
const std::string kUnpackBox = "חילוץ QEMU.zip נכשל.";
const std::string kNoEmulatorBox = "הקובץ qemu-system-x86_64.exe לא נמצא ב-ZIP.";
const std::string kStartedBox = "QEMU Portable הופעלה עם קובץ ה-ISO.";

// A PC with the helper in `folder`, the system programs in System32 and a server address.
// The children behave like the real ones: curl writes its output file, tar and PowerShell
// unpack an archive holding the emulator under "Portable QEMU\bin" - each only when its
// scripted exit code is 0.
struct RescueVm : ::testing::Test {
    FakeSystem f;
    std::string folder = kFolder;

    void SetUp() override {
        f.environment.variables["SystemRoot"] = "C:\\Windows";
        f.process.userSid = kCustomerSid;
        f.files.AddFile(folder, FakeFileSystem::Attr::Folder);
        for (const auto& program : {kCurl, kTar, kPowerShell}) f.files.AddFile(program);
        f.request.CurrentSessionId = "vm-1";
        f.request.ServerHost = "10.0.0.5";
        f.request.ServerPort = 8080;
        f.children.onRun = [this](const std::string& line) { Behave(line); };
    }

    void PlaceHelperIn(const std::string& programFolder) {
        folder = programFolder;
        f.process.moduleFileName = folder + "\\KeltoClientHelper.exe";
        f.process.commandLine = "\"" + f.process.moduleFileName + "\"";
        f.files.AddFile(folder, FakeFileSystem::Attr::Folder);
    }

    std::string RunFolder() const { return folder + "\\QEMU\\" + kRunName; }

    void Behave(const std::string& line) {
        if (!f.children.exitCodes.empty() && f.children.exitCodes.front() != 0u) return;
        if (line.find("curl.exe") != std::string::npos) {
            const bool archive = line.find("/vm/qemu.zip?sid=") != std::string::npos;
            f.files.AddFile(RunFolder() + (archive ? "\\QEMU.zip" : "\\Kelto-Rescue.iso"),
                            FakeFileSystem::Attr::Normal, "bytes");
        } else {
            const std::string unpacked = RunFolder();
            for (const auto& sub : {"\\Portable QEMU", "\\Portable QEMU\\bin"})
                f.files.AddFile(unpacked + sub, FakeFileSystem::Attr::Folder);
            f.files.AddFile(unpacked + "\\Portable QEMU\\bin\\qemu-system-x86_64.exe");
        }
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& box : f.dialogs.boxes) out.push_back(box.text);
        return out;
    }
    // The one box of a run, checked whole.
    void ExpectOneBox(const std::string& text, unsigned icon) const {
        ASSERT_EQ(f.dialogs.boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
        EXPECT_EQ(f.dialogs.boxes[0].text, text);
        EXPECT_EQ(f.dialogs.boxes[0].title, "Kelto Remote");
        EXPECT_EQ(f.dialogs.boxes[0].flags, kOk | icon);
        EXPECT_EQ(f.dialogs.boxes[0].owner, f.mainWindow.handle);
    }
};

// ---- quoting and command lines ----

struct TextCase {
    std::string in, out;
};

TEST(RescueVmQuoting, QuoteArgumentDropsEveryQuoteAndAddsOnePair) {
    for (const auto& c :
         {TextCase{"", "\"\""}, TextCase{"C:\\Program Files\\x", "\"C:\\Program Files\\x\""},
          TextCase{"a\"b\"\"c\"", "\"abc\""}, TextCase{"\" --output C:\\evil", "\" --output C:\\evil\""},
          TextCase{"O'Neil", "\"O'Neil\""}})
        EXPECT_EQ(rescuevm::QuoteArgument(c.in), c.out) << c.in;
}

TEST(RescueVmQuoting, EscapeSingleQuotesDoublesThem) {
    for (const auto& c : {TextCase{"", ""}, TextCase{"O'Neil", "O''Neil"}, TextCase{"''", "''''"},
                          TextCase{"no quote", "no quote"}, TextCase{"a\"b", "a\"b"},
                          // PowerShell's typographic single quotes, U+2018 to U+201B
                          TextCase{"Dan\xE2\x80\x99s PC", "Dan\xE2\x80\x99\xE2\x80\x99s PC"},
                          TextCase{"\xE2\x80\x98"
                                   "a\xE2\x80\x9A",
                                   "\xE2\x80\x98\xE2\x80\x98"
                                   "a\xE2\x80\x9A\xE2\x80\x9A"},
                          TextCase{"\xE2\x80\x9B'", "\xE2\x80\x9B\xE2\x80\x9B''"},
                          // neighbours PowerShell does not take for quotes stay single
                          TextCase{"\xE2\x80\x9C\xE2\x80\x97", "\xE2\x80\x9C\xE2\x80\x97"}})
        EXPECT_EQ(rescuevm::EscapeSingleQuotes(c.in), c.out) << c.in;
}

TEST_F(RescueVm, CommandLinesFromAFolderWithABlankAndAQuote) {
    PlaceHelperIn("C:\\Tools\\O'Neil kit");
    f.children.exitCodes = {0u, 0u, 1u, 0u};  // tar fails: PowerShell unpacks
    rescuevm::LaunchRescueVm(f.context);
    EXPECT_THAT(
        f.children.commandLines,
        ElementsAre(
            "\"C:\\Windows\\System32\\curl.exe\" -q --fail --location --retry 2 --connect-timeout 20 --output "
            "\"C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\\QEMU.zip\" "
            "\"http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1\"",
            "\"C:\\Windows\\System32\\curl.exe\" -q --fail --location --retry 2 --connect-timeout 20 --output "
            "\"C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\\Kelto-Rescue.iso\" "
            "\"http://10.0.0.5:8080/vm/kelto-rescue.iso?sid=vm-1\"",
            "\"C:\\Windows\\System32\\tar.exe\" -xf \"C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\\QEMU.zip\" "
            "-C \"C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\"",
            "\"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -ExecutionPolicy "
            "Bypass "
            "-Command \"Expand-Archive -LiteralPath 'C:\\Tools\\O''Neil kit\\QEMU\\Run-20261210-120000-1\\QEMU.zip' "
            "-DestinationPath 'C:\\Tools\\O''Neil kit\\QEMU\\Run-20261210-120000-1' -Force\""));
    EXPECT_THAT(f.children.showModes, ElementsAre(1, 1, 1, 1));
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].file,
              "C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\\Portable QEMU\\bin\\qemu-system-x86_64.exe");
    EXPECT_EQ(f.shell.calls[0].parameters,
              "-name \"Kelto Rescue\" -machine accel=whpx:tcg -m 3072 -smp 2 -boot order=d,menu=on -cdrom "
              "\"C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\\Kelto-Rescue.iso\" -device qemu-xhci "
              "-device usb-tablet -nic user,model=e1000 -no-reboot");
    EXPECT_EQ(f.shell.calls[0].directory,
              "C:\\Tools\\O'Neil kit\\QEMU\\Run-20261210-120000-1\\Portable QEMU\\bin");
}

// ---- system programs only from the system folders ----

TEST_F(RescueVm, ProgramInNoSystemFolderIsNeverRun) {
    for (const auto& program : {kCurl, kTar, kPowerShell}) f.files.entries.erase(program);
    EXPECT_FALSE(rescuevm::DownloadFile(f.context, "http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1", kArchive));
    EXPECT_FALSE(rescuevm::ExtractZip(f.context, kArchive, kQemuFolder));
    EXPECT_FALSE(rescuevm::ExpandArchiveWithPowerShell(f.context, kArchive, kQemuFolder));
    EXPECT_THAT(f.children.commandLines, IsEmpty());
    // The download was still announced: the line says what was asked for, not what ran.
    EXPECT_THAT(f.LogMessages(),
                ElementsAre("Downloading VM file: http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1"));
}

TEST_F(RescueVm, ProgramsAreTakenFromTheNativeFolderFirst) {
    f.files.AddFile("C:\\Windows\\Sysnative\\tar.exe");
    EXPECT_TRUE(rescuevm::ExtractZip(f.context, kArchive, kQemuFolder));
    EXPECT_THAT(f.children.commandLines, ElementsAre("\"C:\\Windows\\Sysnative\\tar.exe\" -xf \"" + kArchive +
                                                     "\" -C \"" + kQemuFolder + "\""));
}

TEST_F(RescueVm, MissingTarFallsBackToPowerShell) {
    f.files.entries.erase(kTar);
    EXPECT_TRUE(rescuevm::ExtractZip(f.context, kArchive, kQemuFolder));
    ASSERT_EQ(f.children.commandLines.size(), 1u);
    EXPECT_EQ(f.children.commandLines[0].rfind("\"" + kPowerShell + "\" -NoProfile", 0), 0u);
}

// ---- RunAndWait ----

TEST_F(RescueVm, RunAndWaitGivesTheExitCodeAsASignedNumber) {
    f.children.exitCodes = {0u, 22u, 0xFFFFFFFEu, std::nullopt};
    EXPECT_EQ(rescuevm::RunAndWait(f.context, "x", 1), 0);
    EXPECT_EQ(rescuevm::RunAndWait(f.context, "x", 1), 22);
    EXPECT_EQ(rescuevm::RunAndWait(f.context, "x", 1), -2);
    EXPECT_EQ(rescuevm::RunAndWait(f.context, "x", 1), -1);  // not started
}

// ---- DownloadFile ----

struct DownloadCase {
    std::string name;
    std::optional<std::uint32_t> exitCode;
    bool writesFile;
    bool oldFile;
    bool expected;
};

class Download : public RescueVm, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, SucceedsOnlyOnExitZeroWithTheFileThere) {
    const auto& c = GetParam();
    f.children.onRun = [&](const std::string&) {
        if (c.writesFile) f.files.AddFile(kArchive, FakeFileSystem::Attr::Normal, "");  // empty counts
    };
    if (c.oldFile) f.files.AddFile(kArchive, FakeFileSystem::Attr::Normal, "old run");
    f.children.exitCodes = {c.exitCode};
    EXPECT_EQ(rescuevm::DownloadFile(f.context, "http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1", kArchive),
              c.expected);
    EXPECT_THAT(f.children.showModes, ElementsAre(1));
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Download,
                         ::testing::Values(DownloadCase{"HttpErrorWithAnOldFile", 22u, false, true, false},
                                           DownloadCase{"ExitZeroWithoutAFile", 0u, false, false, false},
                                           DownloadCase{"ExitZeroWithAnEmptyFile", 0u, true, false, true},
                                           DownloadCase{"NotStartedWithAnOldFile", std::nullopt, false, true,
                                                        false}),
                         [](const auto& info) { return info.param.name; });

// ---- the search ----

struct SearchCase {
    std::string name;
    std::vector<std::string> files;    // below C:\Q
    std::vector<std::string> folders;  // below C:\Q
    std::map<std::string, std::vector<std::string>> order;
    std::set<std::string> unlistable;
    std::string expected;
    std::set<std::string> links = {};  // below C:\Q: junctions and symbolic links
};

class Search : public RescueVm, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(Search, FindsTheFirstEmulatorFilesBeforeSubfolders) {
    const auto& c = GetParam();
    f.files.AddFile("C:\\Q", FakeFileSystem::Attr::Folder);
    for (const auto& sub : c.folders) f.files.AddFile("C:\\Q\\" + sub, FakeFileSystem::Attr::Folder);
    for (const auto& file : c.files) f.files.AddFile("C:\\Q\\" + file);
    for (const auto& [folderName, names] : c.order) f.files.listingOrder[folderName] = names;
    f.files.unlistableFolders = c.unlistable;
    for (const auto& link : c.links) {
        const std::string path = "C:\\Q\\" + link;
        f.files.linkFacts[path] = {f.files.FolderExists(path), true, 1};
    }
    EXPECT_EQ(rescuevm::FindQemuExecutable(f.context, "C:\\Q"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, Search,
    ::testing::Values(SearchCase{"TopLevelBeatsSubfolder",
                                 {"a\\qemu-system-x86_64.exe", "qemu-system-x86_64.exe"},
                                 {"a"},
                                 {},
                                 {},
                                 "C:\\Q\\qemu-system-x86_64.exe"},
                      SearchCase{"CapitalsInASubfolder",
                                 {"qemu-system-x86_64.exe.txt", "Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE"},
                                 {"Portable QEMU", "Portable QEMU\\bin"},
                                 {},
                                 {},
                                 "C:\\Q\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE"},
                      SearchCase{"FirstInListingOrder",
                                 {"a\\qemu-system-x86_64.exe", "b\\qemu-system-x86_64.exe"},
                                 {"a", "b"},
                                 {{"C:\\Q", {"b", "a"}}},
                                 {},
                                 "C:\\Q\\b\\qemu-system-x86_64.exe"},
                      SearchCase{"DeeperMatchInAnEarlierFolderWins",
                                 {"a\\x\\y\\qemu-system-x86_64.exe", "b\\qemu-system-x86_64.exe"},
                                 {"a", "a\\x", "a\\x\\y", "b"},
                                 {},
                                 {},
                                 "C:\\Q\\a\\x\\y\\qemu-system-x86_64.exe"},
                      SearchCase{"UnreadableSubfolderSkipped",
                                 {"a\\qemu-system-x86_64.exe", "b\\qemu-system-x86_64.exe"},
                                 {"a", "b"},
                                 {},
                                 {"C:\\Q\\a"},
                                 "C:\\Q\\b\\qemu-system-x86_64.exe"},
                      SearchCase{"AFolderOfThatNameIsNoFile", {}, {"qemu-system-x86_64.exe"}, {}, {}, ""},
                      // A link is neither entered nor taken, whatever it leads to.
                      SearchCase{"LinkedFolderIsNotEntered",
                                 {"a\\qemu-system-x86_64.exe", "b\\qemu-system-x86_64.exe"},
                                 {"a", "b"},
                                 {},
                                 {},
                                 "C:\\Q\\b\\qemu-system-x86_64.exe",
                                 {"a"}},
                      SearchCase{"LinkedFileIsNotTaken",
                                 {"qemu-system-x86_64.exe", "b\\qemu-system-x86_64.exe"},
                                 {"b"},
                                 {},
                                 {},
                                 "C:\\Q\\b\\qemu-system-x86_64.exe",
                                 {"qemu-system-x86_64.exe"}},
                      SearchCase{
                          "NoEmulator", {"qemu-img.exe", "bin\\qemu-system-i386.exe"}, {"bin"}, {}, {}, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(RescueVm, SearchOfAMissingFolderIsEmpty) {
    EXPECT_EQ(rescuevm::FindQemuExecutable(f.context, "C:\\Nowhere"), "");
}

// ---- folders ----

TEST_F(RescueVm, EnsureFolderCreatesTheLevelNearestTheExistingFolderFirst) {
    f.files.AddFile("C:\\Kelto", FakeFileSystem::Attr::Folder);
    rescuevm::EnsureFolder(f.context, "C:\\Kelto\\QEMU\\bin");
    EXPECT_THAT(f.files.createdFolders, ElementsAre("C:\\Kelto\\QEMU", "C:\\Kelto\\QEMU\\bin"));
    rescuevm::EnsureFolder(f.context, "C:\\Kelto\\QEMU\\bin");
    EXPECT_EQ(f.files.createdFolders.size(), 2u);  // it exists now: nothing more is created
}

TEST_F(RescueVm, EnsureFolderReportsAFolderThatCannotBeCreated) {
    f.files.AddFile("C:\\Kelto", FakeFileSystem::Attr::Folder);
    f.files.AddFile("C:\\Kelto\\QEMU");  // a file of that name
    f.files.AddFile("C:\\Locked", FakeFileSystem::Attr::Folder);
    f.files.readOnlyFolders.insert("C:\\Locked");
    for (const auto& c :
         {TextCase{"C:\\Kelto\\QEMU", "Cannot create folder C:\\Kelto\\QEMU (error 183)"},
          TextCase{"C:\\Locked\\QEMU\\bin", "Cannot create folder C:\\Locked\\QEMU (error 5)"}}) {
        try {
            rescuevm::EnsureFolder(f.context, c.in);
            ADD_FAILURE() << "no failure reported for " << c.in;
        } catch (const rescuevm::RescueVmFailure& failure) {
            EXPECT_EQ(failure.what(), c.out);
        }
    }
}

TEST(RescueVmFolders, ParentFolderAsTheFileSystemObjectNamesIt) {
    for (const auto& c :
         {TextCase{"C:\\qemu-system-x86_64.exe", "C:\\"}, TextCase{"D:\\QEMU", "D:\\"},
          TextCase{"C:\\Kelto\\QEMU\\bin\\qemu.exe", "C:\\Kelto\\QEMU\\bin"},
          TextCase{"C:\\Kelto\\QEMU\\", "C:\\Kelto"}, TextCase{"C:\\", ""}, TextCase{"C:", ""},
          TextCase{"qemu.exe", ""}, TextCase{"\\\\server\\share\\q.exe", "\\\\server\\share"}})
        EXPECT_EQ(rescuevm::GetParentFolder(c.in), c.out) << c.in;
}

// ---- LaunchRescueVm ----

struct AddressCase {
    std::string name;
    std::string host;
    std::int32_t port;
};

class RefusedAddress : public RescueVm, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(RefusedAddress, IsRefusedWithNothingLoggedOrStarted) {
    f.request.ServerHost = GetParam().host;
    f.request.ServerPort = GetParam().port;
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox(kAddressRefused, kIconExclamation);
    EXPECT_THAT(f.LogMessages(), IsEmpty());
    EXPECT_THAT(f.children.commandLines, IsEmpty());
    EXPECT_THAT(f.files.createdFolders, IsEmpty());
    EXPECT_THAT(f.mainWindow.events, IsEmpty());
    EXPECT_THAT(f.shell.calls, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Addresses, RefusedAddress,
                         ::testing::Values(AddressCase{"PortZero", "10.0.0.5", 0},
                                           AddressCase{"Port65536", "10.0.0.5", 65536},
                                           AddressCase{"NegativePort", "10.0.0.5", -1},
                                           AddressCase{"HostWithUnderscore", "bad_host", 8080},
                                           AddressCase{"NoHost", "", 8080},
                                           AddressCase{"HostWithQuote", "a\"b", 8080}),
                         [](const auto& info) { return info.param.name; });

TEST_F(RescueVm, SuccessDownloadsUnpacksAndBootsTheIso) {
    rescuevm::LaunchRescueVm(f.context);

    EXPECT_THAT(f.files.createdFolders,
                ElementsAre("C:\\Program Files\\Kelto\\QEMU", "C:\\Program Files\\Kelto\\QEMU\\Run-20261210-120000-1"));
    EXPECT_THAT(f.mainWindow.events, ElementsAre("show", "status מוריד את QEMU.zip לתיקיית הממשק...", "show",
                                                 "status מוריד את קובץ ה-ISO. ההורדה עשויה להימשך...", "show",
                                                 "status מחלץ את QEMU.zip לתיקיית QEMU...", "show",
                                                 "status מפעיל את קובץ ה-ISO ב-QEMU Portable..."));
    EXPECT_EQ(f.children.commandLines.size(), 3u);  // curl, curl, tar
    ASSERT_EQ(f.shell.calls.size(), 1u);
    const auto& call = f.shell.calls[0];
    EXPECT_EQ(call.owner, f.mainWindow.handle);
    EXPECT_EQ(call.verb, "open");
    EXPECT_EQ(call.file, kEmulator);
    EXPECT_EQ(call.parameters,
              "-name \"Kelto Rescue\" -machine accel=whpx:tcg -m 3072 -smp 2 -boot order=d,menu=on -cdrom "
              "\"C:\\Program Files\\Kelto\\QEMU\\Run-20261210-120000-1\\Kelto-Rescue.iso\" -device qemu-xhci "
              "-device usb-tablet -nic user,model=e1000 -no-reboot");
    EXPECT_EQ(call.directory, "C:\\Program Files\\Kelto\\QEMU\\Run-20261210-120000-1\\Portable QEMU\\bin");
    EXPECT_EQ(call.showMode, 1);
    EXPECT_THAT(f.LogMessages(),
                ElementsAre("Downloading VM file: http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1",
                            "Downloading VM file: http://10.0.0.5:8080/vm/kelto-rescue.iso?sid=vm-1",
                            "Virtual ISO started: C:\\Program Files\\Kelto\\QEMU\\Run-20261210-120000-1\\Kelto-Rescue.iso"));
    ExpectOneBox(kStartedBox, kIconInformation);
    // The files stay for the customer's next run to overwrite.
    EXPECT_TRUE(f.files.FileExists(kArchive));
    EXPECT_TRUE(f.files.FileExists(kIso));
}

struct UrlCase {
    std::string name;
    std::string host;
    std::int32_t port;
    bool tls;
    std::string sid;
    std::string archiveUrl, isoUrl;
    std::string curlOptions;  // between the quoted program and the output path
};

class Urls : public RescueVm, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(Urls, AreBuiltFromTheServerAddressAndTheSession) {
    const auto& c = GetParam();
    f.request.ServerHost = c.host;
    f.request.ServerPort = c.port;
    f.request.ServerUseTls = c.tls;
    f.request.CurrentSessionId = c.sid;
    rescuevm::LaunchRescueVm(f.context);
    EXPECT_THAT(f.LogMessages(),
                ElementsAre("Downloading VM file: " + c.archiveUrl, "Downloading VM file: " + c.isoUrl,
                            "Virtual ISO started: " + kIso));
    ASSERT_EQ(f.children.commandLines.size(), 3u);
    EXPECT_EQ(f.children.commandLines[0],
              "\"" + kCurl + "\"" + c.curlOptions + " --output \"" + kArchive + "\" \"" + c.archiveUrl + "\"");
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, Urls,
    ::testing::Values(
        UrlCase{"Plain", "10.0.0.5", 8080, false, "vm-1", "http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1",
                "http://10.0.0.5:8080/vm/kelto-rescue.iso?sid=vm-1",
                " -q --fail --location --retry 2 --connect-timeout 20"},
        UrlCase{"TlsWithItsDefaultPortWritten", "support.example.com", 443, true, "AbC_9",
                "https://support.example.com:443/vm/qemu.zip?sid=AbC_9",
                "https://support.example.com:443/vm/kelto-rescue.iso?sid=AbC_9",
                " -q --fail --location --retry 2 --connect-timeout 20 --proto-redir =https"},
        UrlCase{"PlainOnPort80", "kelto", 80, false, "s", "http://kelto:80/vm/qemu.zip?sid=s",
                "http://kelto:80/vm/kelto-rescue.iso?sid=s", " -q --fail --location --retry 2 --connect-timeout 20"},
        UrlCase{"EmptySession", "10.0.0.5", 65535, false, "", "http://10.0.0.5:65535/vm/qemu.zip?sid=",
                "http://10.0.0.5:65535/vm/kelto-rescue.iso?sid=",
                " -q --fail --location --retry 2 --connect-timeout 20"}),
    [](const auto& info) { return info.param.name; });

TEST_F(RescueVm, ArchiveDownloadFailureStopsBeforeTheIso) {
    f.files.AddFile(kArchive, FakeFileSystem::Attr::Normal, "old run");
    f.children.exitCodes = {22u};
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox(kArchiveBox, kIconExclamation);
    EXPECT_THAT(f.LogMessages(),
                ElementsAre("Downloading VM file: http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1"));
    EXPECT_EQ(f.children.commandLines.size(), 1u);
    EXPECT_THAT(f.mainWindow.events, ElementsAre("show", "status מוריד את QEMU.zip לתיקיית הממשק..."));
    EXPECT_TRUE(f.files.FolderExists(kQemuFolder));  // made before the download; it stays
}

TEST_F(RescueVm, IsoDownloadFailureStopsBeforeUnpacking) {
    f.children.exitCodes = {0u, 7u};
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox(kIsoBox, kIconExclamation);
    EXPECT_THAT(f.LogMessages(),
                ElementsAre("Downloading VM file: http://10.0.0.5:8080/vm/qemu.zip?sid=vm-1",
                            "Downloading VM file: http://10.0.0.5:8080/vm/kelto-rescue.iso?sid=vm-1"));
    EXPECT_EQ(f.children.commandLines.size(), 2u);
    EXPECT_TRUE(f.files.FileExists(kArchive));
}

TEST_F(RescueVm, TarNotStartedFallsBackToPowerShell) {
    f.children.exitCodes = {0u, 0u, std::nullopt, 0u};
    rescuevm::LaunchRescueVm(f.context);
    ASSERT_EQ(f.children.commandLines.size(), 4u);
    EXPECT_EQ(f.children.commandLines[3].rfind("\"" + kPowerShell + "\"", 0), 0u);
    ExpectOneBox(kStartedBox, kIconInformation);
}

TEST_F(RescueVm, UnpackingFailureOfBothProgramsIsRefused) {
    f.children.exitCodes = {0u, 0u, 2u, 1u};
    rescuevm::LaunchRescueVm(f.context);
    EXPECT_EQ(f.children.commandLines.size(), 4u);
    ExpectOneBox(kUnpackBox, kIconExclamation);
    EXPECT_EQ(f.LogMessages().size(), 2u);  // the downloads only
    EXPECT_THAT(f.shell.calls, IsEmpty());
}

TEST_F(RescueVm, ArchiveWithoutTheEmulatorIsRefused) {
    f.children.onRun = [&](const std::string& line) {
        if (line.find("curl.exe") != std::string::npos)
            Behave(line);
        else
            f.files.AddFile(kQemuFolder + "\\qemu-system-x86_64.exe.txt");
    };
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox(kNoEmulatorBox, kIconExclamation);
    EXPECT_EQ(f.LogMessages().size(), 2u);
    EXPECT_THAT(f.shell.calls, IsEmpty());
    EXPECT_EQ(f.mainWindow.events.size(), 6u);  // no launch status
}

TEST_F(RescueVm, ShellRefusalShowsItsResultAndLogsNothingMore) {
    f.shell.result = 2;
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox("QEMU לא הצליחה להפעיל את ה-ISO.\r\nקוד שגיאה: 2", kIconExclamation);
    EXPECT_EQ(f.LogMessages().size(), 2u);
    f.dialogs.boxes.clear();
    f.shell.result = 32;
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox("QEMU לא הצליחה להפעיל את ה-ISO.\r\nקוד שגיאה: 32", kIconExclamation);
}

TEST_F(RescueVm, FolderThatCannotBeCreatedGoesToTheFailureHandler) {
    f.files.AddFile(kQemuFolder, FakeFileSystem::Attr::Normal);  // a file named QEMU
    rescuevm::LaunchRescueVm(f.context);
    const std::string description = "Cannot create folder C:\\Program Files\\Kelto\\QEMU (error 183)";
    ExpectOneBox("הפעלת המכונה הווירטואלית נכשלה.\r\n" + description, kIconExclamation);
    EXPECT_THAT(f.LogMessages(), ElementsAre("Virtual ISO failed: " + description));
    EXPECT_THAT(f.children.commandLines, IsEmpty());
    EXPECT_THAT(f.mainWindow.events, IsEmpty());
}

// A download or an unpack holds the thread for minutes: each runs with the main window on
// screen, its status text saying what runs.
TEST_F(RescueVm, EachLongStepRunsWithItsStatusOnScreen) {
    std::vector<std::string> seen;
    f.children.onRun = [&](const std::string& line) {
        seen.push_back(std::string(f.mainWindow.visible ? "shown: " : "hidden: ") +
                       f.mainWindow.texts[ui::kLblStatus]);
        Behave(line);
    };
    rescuevm::LaunchRescueVm(f.context);
    EXPECT_THAT(seen, ElementsAre("shown: מוריד את QEMU.zip לתיקיית הממשק...",
                                  "shown: מוריד את קובץ ה-ISO. ההורדה עשויה להימשך...",
                                  "shown: מחלץ את QEMU.zip לתיקיית QEMU..."));
    EXPECT_TRUE(f.mainWindow.visible);
}

// ---- the run folder ----

platform::FolderSecurity SecurityFor(const std::string& customer) {
    return {"S-1-5-32-544",
            true,
            true,
            {{"S-1-5-32-544", 0x1F01FF, 3}, {"S-1-5-18", 0x1F01FF, 3}, {customer, 0x1200A9, 3}}};
}

TEST_F(RescueVm, RunFolderIsMadeWithAProtectedListForTheCustomerAndHeldUntilTheStart) {
    std::multiset<std::string> heldAtStart;
    f.shell.onExecute = [&](const testing::FakeShell::Call&) { heldAtStart = f.files.held; };
    rescuevm::LaunchRescueVm(f.context);
    // Administrators and SYSTEM full control, the account this process runs as read and
    // execute, all inherited inward and nothing from above.
    EXPECT_EQ(f.files.security.at(kRun), SecurityFor("S-1-5-21-1004336348-1177238915-682003330-1001"));
    EXPECT_THAT(heldAtStart, ElementsAre(kQemuFolder, kRun));
    EXPECT_THAT(f.files.held, IsEmpty());
    ExpectOneBox(kStartedBox, kIconInformation);

    // A customer named by the caller reads in place of the process's account.
    f.files.entries.clear();
    f.files.AddFile(kFolder, FakeFileSystem::Attr::Folder);
    rescuevm::LaunchRescueVm(f.context, "S-1-5-21-7-8-9-1002");
    EXPECT_EQ(f.files.security.at(kRun), SecurityFor("S-1-5-21-7-8-9-1002"));
}

TEST(RescueVmRunFolder, RecognisedByOwnerAndTheWholeList) {
    const auto ours = SecurityFor("S-1-5-21-1-2-3-1001");
    EXPECT_TRUE(rescuevm::IsRunFolderSecurity(ours));
    EXPECT_TRUE(rescuevm::IsRunFolderSecurity(SecurityFor("S-1-5-21-4-5-6-1005")));  // another customer's run
    auto ownedByCustomer = ours;
    ownedByCustomer.owner = "S-1-5-21-1-2-3-1001";
    auto inheriting = ours;
    inheriting.isProtected = false;
    auto withDeny = ours;
    withDeny.onlyAllowing = false;
    auto customerWrites = ours;
    customerWrites.allowed[2].mask = 0x1301BF;
    auto extraEntry = ours;
    extraEntry.allowed.push_back({"S-1-1-0", 0x1200A9, 3});
    auto notInherited = ours;
    notInherited.allowed[0].inheritance = 0;
    auto noReader = ours;
    noReader.allowed[2].sid = "";
    for (const auto& other : {ownedByCustomer, inheriting, withDeny, customerWrites, extraEntry, notInherited, noReader,
                              platform::FolderSecurity{}})
        EXPECT_FALSE(rescuevm::IsRunFolderSecurity(other)) << ::testing::PrintToString(other.owner);
}

// Files planted in QEMU by the customer's account stay where they are and are never run:
// the emulator that starts is the one of this run's archive, in this run's folder.
TEST_F(RescueVm, EarlierRunFoldersGoAndNothingElseInQemuIsTouched) {
    auto addFolder = [&](const std::string& name, const platform::FolderSecurity& security) {
        f.files.AddFile(kQemuFolder + "\\" + name, FakeFileSystem::Attr::Folder);
        f.files.security[kQemuFolder + "\\" + name] = security;
    };
    f.files.AddFile(kQemuFolder, FakeFileSystem::Attr::Folder);
    addFolder("Run-20261209-080000-1", SecurityFor("S-1-5-21-4-5-6-1005"));
    f.files.AddFile(kQemuFolder + "\\Run-20261209-080000-1\\bin\\qemu-system-x86_64.exe");
    addFolder("Run-20261209-090000-1", SecurityFor(kCustomerSid));
    f.files.inUse.insert(kQemuFolder + "\\Run-20261209-090000-1\\qemu-system-x86_64.exe");
    f.files.AddFile(kQemuFolder + "\\Run-20261209-090000-1\\qemu-system-x86_64.exe");
    auto lookalike = SecurityFor(kCustomerSid);
    lookalike.owner = kCustomerSid;  // what a customer's program can make
    addFolder("Run-20261209-100000-1", lookalike);
    addFolder("Linked", SecurityFor(kCustomerSid));
    f.files.linkFacts[kQemuFolder + "\\Linked"] = {true, true, 1};
    addFolder("Customer", {});
    const std::vector<std::string> planted = {kQemuFolder + "\\qemu-system-x86_64.exe", kQemuFolder + "\\SDL2.dll",
                                              kQemuFolder + "\\notes.txt", kQemuFolder + "\\Customer\\keep.txt"};
    for (const auto& file : planted) f.files.AddFile(file);

    rescuevm::LaunchRescueVm(f.context);

    EXPECT_THAT(f.files.removedFolders, ElementsAre(kQemuFolder + "\\Run-20261209-080000-1"));
    for (const auto& file : planted) EXPECT_TRUE(f.files.FileExists(file)) << file;
    for (const auto& name : {"Run-20261209-090000-1", "Run-20261209-100000-1", "Linked", "Customer"})
        EXPECT_TRUE(f.files.FolderExists(kQemuFolder + "\\" + name)) << name;
    ASSERT_EQ(f.shell.calls.size(), 1u);
    EXPECT_EQ(f.shell.calls[0].file, kEmulator);
    ExpectOneBox(kStartedBox, kIconInformation);
}

TEST_F(RescueVm, NameInUseIsNeverAdopted) {
    f.files.AddFile(kRun, FakeFileSystem::Attr::Folder);
    f.files.security[kRun] = SecurityFor(kCustomerSid);
    f.files.inUse.insert(kRun);  // a run of the same second still going
    f.children.onRun = [](const std::string&) {};
    rescuevm::LaunchRescueVm(f.context);
    EXPECT_THAT(f.files.createdFolders,
                ElementsAre(kQemuFolder, "C:\\Program Files\\Kelto\\QEMU\\Run-20261210-120000-2"));
    EXPECT_EQ(f.children.commandLines[0].find(kRun + "\\"), std::string::npos);
}

// What stands in QEMU's place is checked from the handle that holds it: a link refuses the
// road at the unpack step's box before anything is downloaded through it. So does a run
// folder whose creation reports anything but a plain folder.
struct PlaceCase {
    std::string name;
    std::string path;
    platform::PathFacts facts;
};

class RefusedPlace : public RescueVm, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(RefusedPlace, StopsWithTheUnpackBoxBeforeAnyDownload) {
    const auto& c = GetParam();
    f.files.AddFile(kQemuFolder, FakeFileSystem::Attr::Folder);
    f.files.linkFacts[c.path] = c.facts;
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox(kUnpackBox, kIconExclamation);
    EXPECT_THAT(f.children.commandLines, IsEmpty());
    EXPECT_THAT(f.LogMessages(), IsEmpty());
    EXPECT_THAT(f.shell.calls, IsEmpty());
    EXPECT_THAT(f.files.held, IsEmpty());
    if (c.path == kQemuFolder) {
        EXPECT_THAT(f.files.createdFolders, IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Places, RefusedPlace,
                         ::testing::Values(PlaceCase{"QemuIsAJunction", kQemuFolder, {true, true, 1}},
                                           PlaceCase{"QemuIsASymbolicLinkToAFile", kQemuFolder, {false, true, 1}},
                                           PlaceCase{"RunFolderIsALink", kRun, {true, true, 1}},
                                           PlaceCase{"RunFolderIsAFile", kRun, {false, false, 1}}),
                         [](const auto& info) { return info.param.name; });

// A download counts only as one regular file: never a link, never a second name of a file.
struct DownloadedCase {
    std::string name;
    bool archive;
    platform::PathFacts facts;
    std::string box;
    size_t downloads;
};

class NotRegularDownload : public RescueVm, public ::testing::WithParamInterface<DownloadedCase> {};

TEST_P(NotRegularDownload, IsRefusedWithThatDownloadsBox) {
    const auto& c = GetParam();
    f.children.onRun = [&](const std::string& line) {
        Behave(line);
        f.files.linkFacts[c.archive ? kArchive : kIso] = c.facts;
    };
    rescuevm::LaunchRescueVm(f.context);
    ExpectOneBox(c.box, kIconExclamation);
    EXPECT_EQ(f.children.commandLines.size(), c.downloads);
    EXPECT_THAT(f.shell.calls, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, NotRegularDownload,
    ::testing::Values(DownloadedCase{"ArchiveIsASymbolicLink", true, {false, true, 1}, kArchiveBox, 1},
                      DownloadedCase{"ArchiveHasTwoNames", true, {false, false, 2}, kArchiveBox, 1},
                      DownloadedCase{"IsoIsASymbolicLink", false, {false, true, 1}, kIsoBox, 2},
                      DownloadedCase{"IsoIsAFolder", false, {true, false, 1}, kIsoBox, 2}),
    [](const auto& info) { return info.param.name; });

// ---- the confirmation names the server ----

TEST_F(RescueVm, ConfirmationNamesTheDownloadServer) {
    f.request.ServerHost = "support.example.com";
    f.request.ServerPort = 443;
    f.request.ServerUseTls = true;
    f.dialogs.answers = {kIdNo};
    EXPECT_FALSE(actions::ConfirmRescueVm(f.context));
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        f.dialogs.boxes[0].text,
        "הפעולה תוריד את QEMU.zip ואת קובץ ה-ISO.\r\nה-ZIP יחולץ לתיקיית QEMU ליד כלי העזר.\r\nQEMU לא תותקן "
        "ב-Windows ולא יימחקו קבצים אחרים.\r\nשרת ההורדה: https://support.example.com:443\r\n\r\nלהמשיך "
        "בהורדה ובהפעלה?");
    f.dialogs.answers = {kIdYes};
    EXPECT_TRUE(actions::ConfirmRescueVm(f.context));
}

}  // namespace
}  // namespace kelto

// The rescue VM with the real executable: downloads from a test server on 127.0.0.1 through
// curl, unpacking through tar, the emulator's start through the shell.
//
// Wine has neither curl.exe nor tar.exe. The fixture installs the forwarding stand-in as both
// into the folder the helper sees as System32 (syswow64 for the 32-bit helper), which it
// reaches through the System32 candidate of its system-folder lookup (nothing of that name is
// in the native folder it probes first). The stand-in records its start and runs Debian's
// curl or bsdtar. The archive the server sends holds the recording stand-in as the emulator.
#include "http_server.h"
// After winsock2.h, which must precede <windows.h>.
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// The helper names its system programs by the System32 candidate.
const std::string kCurlPath = "C:\\windows\\System32\\curl.exe";
const std::string kTarPath = "C:\\windows\\System32\\tar.exe";
// PowerShell is found in the native folder, which the helper probes first.
constexpr const char* kPowerShellInSystemFolder = "\\WindowsPowerShell\\v1.0\\powershell.exe";
const std::string kIsoBytes = "rescue image stand-in\n";

constexpr const char* kTitle = "Kelto Remote";
constexpr const char* kConfirmTitle = "Kelto Remote - מכונה וירטואלית";
constexpr const char* kArchiveBox = "הורדת QEMU.zip נכשלה.\r\nודא שהקובץ QEMU.zip נמצא בתיקיית vm.";
constexpr const char* kIsoBox = "הורדת קובץ ה-ISO נכשלה.\r\nודא שהקובץ Kelto-Rescue.iso נמצא בתיקיית vm.";
constexpr const char* kNoEmulatorBox = "הקובץ qemu-system-x86_64.exe לא נמצא ב-ZIP.";
constexpr const char* kStartedBox = "QEMU Portable הופעלה עם קובץ ה-ISO.";
constexpr const char* kAddressRefused = "כתובת שרת Kelto אינה תקינה.";

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) throw DriverError("cannot write " + Narrow(path));
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string QemuArguments(const std::string& isoPath) {
    return "-name \"Kelto Rescue\" -machine accel=whpx:tcg -m 3072 -smp 2 -boot order=d,menu=on -cdrom \"" +
           isoPath + "\" -device qemu-xhci -device usb-tablet -nic user,model=e1000 -no-reboot";
}

// The run folders ("Run-...") the helper made in the QEMU folder of `folder`, as full paths.
std::vector<std::wstring> RunFoldersIn(const std::wstring& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\QEMU\\Run-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            out.push_back(folder + L"\\QEMU\\" + data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(out.begin(), out.end());  // by name: the moment each run began
    return out;
}

std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return "?";
    const std::string out = Narrow(text);
    ::LocalFree(text);
    return out;
}

// The account this test (and every program it starts) runs as.
// Owner, protection and allowing entries of a folder as Windows reports them by name:
// "owner|protected|sid mask flags;..."
std::string SecurityByName(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return "unreadable";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    std::string out = SidText(owner) + ((control & SE_DACL_PROTECTED) ? "|protected|" : "|inheriting|");
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ::GetAce(dacl, i, &ace);
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            out += "other;";
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        char entry[64];
        std::snprintf(entry, sizeof entry, " %08lX %02X;", static_cast<unsigned long>(allowed->Mask),
                      header->AceFlags);
        out += SidText(&allowed->SidStart) + entry;
    }
    ::LocalFree(descriptor);
    return out;
}

// Whether this system keeps the security descriptor given to a new folder. Windows does;
// Wine reports one made from the Unix file mode instead, whatever was set. Where it is not
// kept, the checks that read the run folder's access list back are left to Windows and the
// unit tests' doubles.
bool KeepsFolderSecurity(const std::wstring& scratch) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)", SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = ::CreateDirectoryW(scratch.c_str(), &attributes);
    ::LocalFree(descriptor);
    if (!made) return false;
    const std::string read = SecurityByName(scratch);
    ::RemoveDirectoryW(scratch.c_str());
    const auto owner = read.find('|');
    return owner != std::string::npos && read.substr(owner) == "|protected|S-1-5-18 001F01FF 03;";
}

// Makes `link` (a new empty folder) a junction to `target` as mklink /J does; false when this
// file system or Wine cannot.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE handle = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const std::wstring substitute = L"\\??\\" + target;
    const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
    const USHORT printBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
    // REPARSE_DATA_BUFFER's mount-point form: tag, sizes, then both names each with its NUL.
    std::vector<BYTE> buffer(8 + 8 + substituteBytes + 2 + printBytes + 2, 0);
    auto put16 = [&](size_t at, USHORT value) { std::memcpy(&buffer[at], &value, 2); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(&buffer[0], &tag, 4);
    put16(4, static_cast<USHORT>(buffer.size() - 8));
    put16(8, 0);
    put16(10, substituteBytes);
    put16(12, static_cast<USHORT>(substituteBytes + 2));
    put16(14, printBytes);
    std::memcpy(&buffer[16], substitute.data(), substituteBytes);
    std::memcpy(&buffer[16 + substituteBytes + 2], target.data(), printBytes);
    DWORD returned = 0;
    const bool made = ::DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    ::CloseHandle(handle);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    return made && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The text of a launch's command line after its program, which the shell writes in quotes.
std::string ArgumentsOf(const std::string& commandLine) {
    if (commandLine.empty() || commandLine[0] != '"') return commandLine.substr(commandLine.find(' ') + 1);
    const size_t close = commandLine.find('"', 1);
    return close == std::string::npos || close + 2 > commandLine.size() ? std::string()
                                                                        : commandLine.substr(close + 2);
}

class RescueVmTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        if (Programs().forwarder.empty() || Programs().standin.empty() || Programs().rescueData.empty())
            GTEST_FAIL() << "--forwarder=, --standin= and --rescue-data= are needed";
        InstallSystemProgram(Programs().forwarder, HelpersSystem32() + L"\\curl.exe");
        InstallSystemProgram(Programs().forwarder, HelpersSystem32() + L"\\tar.exe");
        server.Serve("/vm/qemu.zip", HttpServer::File(ReadWholeFile(Programs().rescueData + L"\\qemu.zip")));
        server.Serve("/vm/kelto-rescue.iso", HttpServer::File(kIsoBytes));
    }

    void TearDown() override {
        HelperTest::TearDown();
        for (const auto& path : installed_) ::DeleteFileW(path.c_str());
        if (powerShellOverridden_) {
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"powershell.exe");
            ::MoveFileExW((powerShellNative_ + L".kelto").c_str(), powerShellNative_.c_str(),
                          MOVEFILE_REPLACE_EXISTING);
        }
    }

    void InstallSystemProgram(const std::wstring& program, const std::wstring& target) {
        if (!::CopyFileW(program.c_str(), target.c_str(), FALSE))
            throw DriverError("cannot install " + Narrow(target) + ", error " +
                              std::to_string(::GetLastError()));
        installed_.push_back(target);
    }
    void UninstallSystemProgram(const std::wstring& target) { ::DeleteFileW(target.c_str()); }

    // The recording stand-in in place of PowerShell. Wine has a PowerShell of its own in the
    // native system folder, which the helper probes first: the stand-in goes there, and the
    // prefix is told to run that file rather than Wine's builtin.
    void ReplacePowerShell() {
        powerShellNative_ = std::wstring(kOwnNativeSystemFolder) + Widen(kPowerShellInSystemFolder);
        if (!::MoveFileExW(powerShellNative_.c_str(), (powerShellNative_ + L".kelto").c_str(),
                           MOVEFILE_REPLACE_EXISTING))
            throw DriverError("cannot move Wine's powershell.exe aside, error " +
                              std::to_string(::GetLastError()));
        powerShellOverridden_ = true;
        if (!::CopyFileW(Programs().standin.c_str(), powerShellNative_.c_str(), FALSE))
            throw DriverError("cannot install the PowerShell stand-in");
        WriteOverride(L"powershell.exe", L"native");
    }

    static void WriteOverride(const std::wstring& name, const std::wstring& value) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            throw DriverError("cannot open the DLL overrides");
        ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }

    std::string Base(bool tls = false) const {
        return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(server.Port());
    }
    std::string Folder8() const { return Narrow(Folder()); }

    // The elevated instance started by hand for an authorized session, as the shell would.
    Process StartElevated(const std::string& host, const std::string& port, bool tls = false) {
        StoreAuthorizedSession("vm-1", LocalSecondsSince2024() + 3600);
        return StartHelper(Widen("/elevated:virtualiso::0:vm-1:" + host + ":" + port + (tls ? ":1" : ":0")));
    }
    Process StartElevatedForServer(bool tls = false) {
        return StartElevated("127.0.0.1", std::to_string(server.Port()), tls);
    }

    // The one box of the run; answered, and the run over. Its screenshot is kept under
    // `shot` when one is named.
    void ExpectOutcome(const Process& helper, const std::string& text, IconKind icon,
                       const char* shot = nullptr) {
        const auto box = WaitForDialog(helper, milliseconds(90000));
        ExpectMessageBox(box, kTitle, text, icon, {IDOK});
        if (shot != nullptr) SaveScreenshot(box.hwnd, shot);
        Answer(box, IDOK);
        WaitForExit(helper);
        WaitUntilAllEnded();
    }

    std::vector<std::string> RescueLogLines() const {
        std::vector<std::string> out;
        for (const auto& m : LogMessages()) {
            if (m.rfind("Downloading VM file: ", 0) == 0 || m.rfind("Virtual ISO ", 0) == 0) out.push_back(m);
        }
        return out;
    }

    std::vector<Launch> LaunchesOf(const std::string& nameEnd) const {
        std::vector<Launch> out;
        for (const auto& l : Launches()) {
            if (l.program.size() >= nameEnd.size() &&
                _stricmp(l.program.c_str() + l.program.size() - nameEnd.size(), nameEnd.c_str()) == 0)
                out.push_back(l);
        }
        return out;
    }

    std::string CurlLine(const std::string& output, const std::string& url, bool tls = false) const {
        return "\"" + kCurlPath + "\" -q --fail --location --retry 2 --connect-timeout 20" +
               (tls ? " --proto-redir =https" : "") + " --output \"" + output + "\" \"" + url + "\"";
    }

    // The one run folder of this test's QEMU folder; fails the test when there is not one.
    std::string OnlyRunFolder() const {
        const auto runs = RunFoldersIn(Folder());
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? std::string("(none)") : Narrow(runs[0]);
    }

    HttpServer server;

private:
    std::vector<std::wstring> installed_;
    std::wstring powerShellNative_;
    bool powerShellOverridden_ = false;
};

// The whole road: URL, consent, the confirmation naming the server, the relaunch, both
// downloads, the unpacking and the emulator's start.
TEST_F(RescueVmTest, UrlToBootedIso) {
    StoreAuthorizedSession("vm-1", LocalSecondsSince2024() + 3600);
    const std::string port = std::to_string(server.Port());
    auto helper =
        StartHelper(Widen("\"kelto://virtualiso/sid/vm-1/host/127.0.0.1/port/" + port + "/tls/0\""));

    const auto consent = WaitForDialog(helper);
    EXPECT_EQ(consent.title, kConsentTitle);
    Answer(consent, IDYES);
    const auto confirm = WaitForDialog(helper);
    ExpectMessageBox(
        confirm, kConfirmTitle,
        "הפעולה תוריד את QEMU.zip ואת קובץ ה-ISO.\r\nה-ZIP יחולץ לתיקיית QEMU ליד כלי העזר.\r\nQEMU לא "
        "תותקן ב-Windows ולא יימחקו קבצים אחרים.\r\nשרת ההורדה: http://127.0.0.1:" +
            port + "\r\n\r\nלהמשיך בהורדה ובהפעלה?",
        IconKind::Exclamation, {IDYES, IDNO});
    SaveScreenshot(confirm.hwnd, "rescue-vm-confirmation");
    Answer(confirm, IDYES);
    WaitForExit(helper);

    const auto box = WaitForDialogOfTest(milliseconds(90000));
    ExpectMessageBox(box, kTitle, kStartedBox, IconKind::Information, {IDOK});
    SaveScreenshot(box.hwnd, "rescue-vm-started");
    Answer(box, IDOK);
    WaitUntilAllEnded(milliseconds(30000));

    // Everything of the run is in one new folder of QEMU: "Run-" and the moment in UTC.
    const std::string run = OnlyRunFolder();
    EXPECT_EQ(run.rfind(Folder8() + "\\QEMU\\Run-", 0), 0u) << run;
    const std::string iso = run + "\\Kelto-Rescue.iso";
    const auto emulator = LaunchesOf("QEMU-SYSTEM-X86_64.EXE");
    ASSERT_THAT(emulator, SizeIs(1));
    EXPECT_EQ(emulator[0].program, run + "\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE");
    EXPECT_EQ(ArgumentsOf(emulator[0].commandLine), QemuArguments(iso));
    EXPECT_EQ(emulator[0].workingFolder, run + "\\Portable QEMU\\bin");
    EXPECT_EQ(emulator[0].showMode, "1");

    const auto curl = LaunchesOf("\\curl.exe");
    ASSERT_THAT(curl, SizeIs(2));
    EXPECT_EQ(curl[0].commandLine, CurlLine(run + "\\QEMU.zip", Base() + "/vm/qemu.zip?sid=vm-1"));
    EXPECT_EQ(curl[1].commandLine, CurlLine(iso, Base() + "/vm/kelto-rescue.iso?sid=vm-1"));
    const auto tar = LaunchesOf("\\tar.exe");
    ASSERT_THAT(tar, SizeIs(1));
    EXPECT_EQ(tar[0].commandLine, "\"" + kTarPath + "\" -xf \"" + run + "\\QEMU.zip\" -C \"" + run + "\"");

    // Read back by name: owner Administrators, nothing inherited, Administrators and SYSTEM
    // full control, the account that asked read and execute, each passed on to everything
    // inside (object and container inherit).
    if (KeepsFolderSecurity(Folder() + L"\\security-probe"))
        EXPECT_EQ(SecurityByName(Widen(run)),
                  "S-1-5-32-544|protected|S-1-5-32-544 001F01FF 03;S-1-5-18 001F01FF 03;" + OwnUserSid() +
                      " 001200A9 03;");
    else
        std::cout
            << "[ note ] this system keeps no folder security descriptor: the run folder's access list is "
               "checked by the unit tests' doubles\n";
    for (const auto& l : {curl[0], curl[1], tar[0]}) EXPECT_EQ(l.showMode, "1") << l.commandLine;

    EXPECT_THAT(RescueLogLines(),
                ElementsAre("Downloading VM file: " + Base() + "/vm/qemu.zip?sid=vm-1",
                            "Downloading VM file: " + Base() + "/vm/kelto-rescue.iso?sid=vm-1",
                            "Virtual ISO started: " + iso));
    EXPECT_THAT(server.Requests(), ElementsAre("/vm/qemu.zip?sid=vm-1", "/vm/kelto-rescue.iso?sid=vm-1"));
    // Archive, image and the unpacked tree stay in the run folder.
    EXPECT_EQ(ReadWholeFile(Widen(run) + L"\\QEMU.zip"),
              ReadWholeFile(Programs().rescueData + L"\\qemu.zip"));
    EXPECT_EQ(ReadWholeFile(Widen(iso)), kIsoBytes);
    EXPECT_TRUE(IsFile(Widen(run) + L"\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE"));
    EXPECT_TRUE(IsFile(Widen(run) + L"\\qemu-system-x86_64.exe.txt"));
}

// A download holds the helper's thread for as long as the line takes: here the image comes
// 8 s after it was asked for. Throughout, the main window is on screen as the status display,
// answers WM_NULL (how Windows tells a hung window) and the end of the session in time,
// repaints, and ignores clicks on its buttons and WM_CLOSE; afterwards the road ends as it
// always does.
TEST_F(RescueVmTest, TheStatusWindowStaysAliveThroughASlowDownload) {
    constexpr int kLineDelayMs = 8000;
    constexpr const char* kIsoStatus = "מוריד את קובץ ה-ISO. ההורדה עשויה להימשך...";
    server.Serve("/vm/kelto-rescue.iso", HttpServer::Late(HttpServer::File(kIsoBytes), kLineDelayMs));
    auto helper = StartElevatedForServer();
    ASSERT_TRUE(PollUntil(Deadline::In(milliseconds(60000)), [&] { return server.Requests().size() == 2; }))
        << "the image was never asked for";
    const auto askedAt = SteadyClock::now();
    const auto answeredAt = askedAt + milliseconds(kLineDelayMs);

    HWND status = nullptr;
    for (HWND w : AllTopLevelWindows(helper.id))
        if (ClassNameOf(w) == "KeltoClientHelperMain") status = w;
    ASSERT_NE(status, nullptr) << DescribeWindows(helper.id);
    EXPECT_TRUE(::IsWindowVisible(status)) << "the status window is not on screen during the download";
    const HWND label = ::GetDlgItem(status, 1002);
    EXPECT_EQ(TextOf(label), kIsoStatus);

    // Clicks on its buttons (register, offline help, close) and a request to close.
    for (int button : {1003, 1006, 1005}) PressControl(::GetDlgItem(status, button));
    ::PostMessageW(status, WM_CLOSE, 0, 0);

    // A repaint asked for from outside is done, and the text is in the picture.
    ::RedrawWindow(status, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    EXPECT_TRUE(PollUntil(Deadline::In(milliseconds(2000)), [&] { return !::GetUpdateRect(label, nullptr, FALSE); }))
        << "the status window did not repaint";
    SaveScreenshot(status, "rescue-vm-status-downloading");
    if (ScreenIsReadable()) {
        EXPECT_GE(PixelsNear(CaptureWindow(label).value_or(Image{}), Rgb(0, 0, 0), 96), 40)
            << "no text painted in the status line";
    }

    DWORD_PTR endAnswer = 0;
    const LRESULT endAnswered = ::SendMessageTimeoutW(status, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP,
                                                      SMTO_ABORTIFHUNG, 5000, &endAnswer);
    EXPECT_NE(endAnswered, 0) << "WM_QUERYENDSESSION was not answered within 5 s";
    EXPECT_EQ(endAnswer, static_cast<DWORD_PTR>(TRUE));

    int asked = 0, answered = 0;
    while (SteadyClock::now() < answeredAt - milliseconds(500)) {
        DWORD_PTR ignored = 0;
        ++asked;
        if (::SendMessageTimeoutW(status, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000 * Slowness(), &ignored) != 0)
            ++answered;
        ::Sleep(250);
    }
    EXPECT_GT(asked, 0);
    EXPECT_EQ(answered, asked) << "WM_NULL went unanswered during the download";
    EXPECT_TRUE(::IsWindow(status)) << "the status window was closed during the download";

    ExpectOutcome(helper, kStartedBox, IconKind::Information);
    const std::string iso = OnlyRunFolder() + "\\Kelto-Rescue.iso";
    EXPECT_THAT(RescueLogLines(),
                ElementsAre("Downloading VM file: " + Base() + "/vm/qemu.zip?sid=vm-1",
                            "Downloading VM file: " + Base() + "/vm/kelto-rescue.iso?sid=vm-1",
                            "Virtual ISO started: " + iso));
    EXPECT_THAT(LaunchesOf("\\curl.exe"), SizeIs(2));
    EXPECT_THAT(LaunchesOf("\\tar.exe"), SizeIs(1));
    EXPECT_THAT(LaunchesOf("QEMU-SYSTEM-X86_64.EXE"), SizeIs(1));
    EXPECT_FALSE(RegistryKeyExists(L"Software\\Classes\\kelto")) << "a click registered the handler";
}

TEST_F(RescueVmTest, ArchiveNotFoundKeepsTheOldArchiveAndStops) {
    WriteFileBytes(Folder() + L"\\QEMU.zip", "archive of an earlier run");
    server.Serve("/vm/qemu.zip", HttpServer::Status(404));
    ExpectOutcome(StartElevatedForServer(), kArchiveBox, IconKind::Exclamation, "rescue-vm-archive-failed");
    EXPECT_THAT(RescueLogLines(), ElementsAre("Downloading VM file: " + Base() + "/vm/qemu.zip?sid=vm-1"));
    EXPECT_THAT(server.Requests(), ElementsAre("/vm/qemu.zip?sid=vm-1"));
    EXPECT_THAT(LaunchesOf("\\tar.exe"), IsEmpty());
    EXPECT_EQ(ReadWholeFile(Folder() + L"\\QEMU.zip"), "archive of an earlier run");
}

TEST_F(RescueVmTest, IsoNotFoundStopsBeforeUnpacking) {
    server.Serve("/vm/kelto-rescue.iso", HttpServer::Status(404));
    ExpectOutcome(StartElevatedForServer(), kIsoBox, IconKind::Exclamation, "rescue-vm-iso-failed");
    EXPECT_THAT(RescueLogLines(),
                ElementsAre("Downloading VM file: " + Base() + "/vm/qemu.zip?sid=vm-1",
                            "Downloading VM file: " + Base() + "/vm/kelto-rescue.iso?sid=vm-1"));
    EXPECT_THAT(LaunchesOf("\\tar.exe"), IsEmpty());
}

TEST_F(RescueVmTest, ArchiveWithoutTheEmulatorIsRefused) {
    server.Serve("/vm/qemu.zip",
                 HttpServer::File(ReadWholeFile(Programs().rescueData + L"\\no-emulator.zip")));
    ExpectOutcome(StartElevatedForServer(), kNoEmulatorBox, IconKind::Exclamation, "rescue-vm-no-emulator");
    EXPECT_THAT(LaunchesOf("\\tar.exe"), SizeIs(1));
    EXPECT_TRUE(IsFile(Widen(OnlyRunFolder()) + L"\\qemu-system-x86_64.exe.txt"));
    EXPECT_THAT(LaunchesOf("QEMU-SYSTEM-X86_64.EXE"), IsEmpty());
    EXPECT_THAT(RescueLogLines(), SizeIs(2));
}

// curl opens a TLS handshake that the plain server cannot answer: the download fails.
TEST_F(RescueVmTest, TlsUrlsUseHttps) {
    ExpectOutcome(StartElevatedForServer(true), kArchiveBox, IconKind::Exclamation);
    EXPECT_THAT(RescueLogLines(),
                ElementsAre("Downloading VM file: " + Base(true) + "/vm/qemu.zip?sid=vm-1"));
    // No .curlrc is read, and a redirect could lead to https only.
    const auto curl = LaunchesOf("\\curl.exe");
    ASSERT_THAT(curl, SizeIs(1));
    EXPECT_EQ(curl[0].commandLine,
              CurlLine(OnlyRunFolder() + "\\QEMU.zip", Base(true) + "/vm/qemu.zip?sid=vm-1", true));
    EXPECT_THAT(server.Requests(), ElementsAre("(not HTTP)"));
}

// curl has no limit on the whole transfer: a server that never answers is ended by the
// customer closing curl's console, which ends curl with the console's close code.
TEST_F(RescueVmTest, ClosingAStalledDownloadEndsIt) {
    server.Serve("/vm/qemu.zip", HttpServer::Silence());
    auto helper = StartElevatedForServer();
    ASSERT_TRUE(PollUntil(Deadline::In(kDefaultWait), [&] { return server.Requests().size() == 1; }));
    bool closed = false;
    std::string seen;
    for (const auto& member : RunningProcesses()) {
        seen += " " + member.image;
        const std::string name = "curl.exe";
        if (member.image.size() < name.size() ||
            _stricmp(member.image.c_str() + member.image.size() - name.size(), name.c_str()) != 0)
            continue;
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, member.id));
        closed = process && ::TerminateProcess(process.get(), STATUS_CONTROL_C_EXIT);
    }
    ASSERT_TRUE(closed) << "no curl to close among:" << seen;
    ExpectOutcome(helper, kArchiveBox, IconKind::Exclamation);
    EXPECT_THAT(RescueLogLines(), ElementsAre("Downloading VM file: " + Base() + "/vm/qemu.zip?sid=vm-1"));
}

TEST_F(RescueVmTest, WithoutCurlNothingIsRequested) {
    UninstallSystemProgram(HelpersSystem32() + L"\\curl.exe");
    ExpectOutcome(StartElevatedForServer(), kArchiveBox, IconKind::Exclamation);
    EXPECT_THAT(RescueLogLines(), ElementsAre("Downloading VM file: " + Base() + "/vm/qemu.zip?sid=vm-1"));
    EXPECT_THAT(server.Requests(), IsEmpty());
}

// Without tar, PowerShell gets the archive; the folder's "'" is doubled inside its literals.
TEST_F(RescueVmTest, WithoutTarPowerShellUnpacks) {
    UninstallSystemProgram(HelpersSystem32() + L"\\tar.exe");
    ReplacePowerShell();
    const std::wstring folder = MakeFolder(L"O'Neil kit");
    const std::wstring exe = CopyInto(ExePath(), folder);
    StoreAuthorizedSession("vm-1", LocalSecondsSince2024() + 3600);
    auto helper = StartRaw(L"\"" + exe + L"\" /elevated:virtualiso::0:vm-1:127.0.0.1:" +
                           std::to_wstring(server.Port()) + L":0");
    // The stand-in unpacks nothing.
    ExpectOutcome(helper, kNoEmulatorBox, IconKind::Exclamation);
    const auto runs = RunFoldersIn(folder);
    ASSERT_THAT(runs, SizeIs(1));
    std::string escaped = Narrow(runs[0]);
    escaped.replace(escaped.find('\''), 1, "''");
    const auto powerShell = LaunchesOf("\\powershell.exe");
    ASSERT_THAT(powerShell, SizeIs(1));
    EXPECT_EQ(powerShell[0].commandLine,
              "\"" + NativeSystemFolder() + kPowerShellInSystemFolder +
                  "\" -NoProfile -ExecutionPolicy Bypass -Command \"Expand-Archive "
                  "-LiteralPath '" +
                  escaped + "\\QEMU.zip' -DestinationPath '" + escaped + "' -Force\"");
    EXPECT_EQ(powerShell[0].showMode, "1");
}

// A customer's program can write into QEMU: an emulator and DLLs planted there, at the top
// and where the archive keeps its own, are never run or loaded. What runs is the archive's
// emulator in this run's own folder, which holds the archive's files and nothing else. A
// second run removes the first run's folder and leaves everything else in QEMU as it was.
TEST_F(RescueVmTest, PlantedFilesInQemuAreNeverRunAndASecondRunRemovesTheFirstRunsFolder) {
    MakeFolder(L"QEMU");
    MakeFolder(L"QEMU\\Portable QEMU");
    MakeFolder(L"QEMU\\Portable QEMU\\bin");
    const std::vector<std::wstring> planted = {L"QEMU\\qemu-system-x86_64.exe", L"QEMU\\SDL2.dll",
                                               L"QEMU\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE",
                                               L"QEMU\\Portable QEMU\\bin\\SDL2.dll"};
    for (const auto& name : planted)
        CopyInto(Programs().standin, Folder() + L"\\" + name.substr(0, name.rfind(L'\\')),
                 name.substr(name.rfind(L'\\') + 1));
    WriteFileBytes(Folder() + L"\\QEMU\\notes.txt", "the customer's own file");

    ExpectOutcome(StartElevatedForServer(), kStartedBox, IconKind::Information);
    const auto first = RunFoldersIn(Folder());
    ASSERT_THAT(first, SizeIs(1));
    const auto emulator = LaunchesOf("QEMU-SYSTEM-X86_64.EXE");
    ASSERT_THAT(emulator, SizeIs(1));
    EXPECT_EQ(emulator[0].program, Narrow(first[0]) + "\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE");
    // The emulator's folder, where Windows looks for its DLLs first, holds only the archive's.
    EXPECT_FALSE(IsFile(first[0] + L"\\Portable QEMU\\bin\\SDL2.dll"));
    EXPECT_FALSE(IsFile(first[0] + L"\\SDL2.dll"));

    // The next run comes at least a second later, so its folder has a name of its own.
    const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(1100);
    ASSERT_TRUE(
        PollUntil(Deadline::In(kDefaultWait), [&] { return std::chrono::steady_clock::now() >= later; }));
    ExpectOutcome(StartElevatedForServer(), kStartedBox, IconKind::Information);
    auto second = RunFoldersIn(Folder());
    // An earlier run folder is recognised by the owner and access list it was created with.
    // Where the system keeps no folder security descriptor, nothing can be recognised, and
    // the first run's folder stays: nothing is removed that is not known to be the helper's.
    if (KeepsFolderSecurity(Folder() + L"\\security-probe")) {
        ASSERT_THAT(second, SizeIs(1));
        EXPECT_EQ(::GetFileAttributesW(first[0].c_str()), INVALID_FILE_ATTRIBUTES);
    } else {
        ASSERT_THAT(second, SizeIs(2));
        EXPECT_EQ(second[0], first[0]);
        EXPECT_TRUE(IsFile(first[0] + L"\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE"));
        second.erase(second.begin());
    }
    EXPECT_NE(second[0], first[0]);
    const auto emulators = LaunchesOf("QEMU-SYSTEM-X86_64.EXE");
    ASSERT_THAT(emulators, SizeIs(2));
    EXPECT_EQ(emulators[1].program, Narrow(second[0]) + "\\Portable QEMU\\bin\\QEMU-SYSTEM-X86_64.EXE");

    for (const auto& name : planted)
        EXPECT_EQ(ReadWholeFile(Folder() + L"\\" + name), ReadWholeFile(Programs().standin)) << Narrow(name);
    EXPECT_EQ(ReadWholeFile(Folder() + L"\\QEMU\\notes.txt"), "the customer's own file");
}

// A junction named QEMU would carry the administrator's unpacking wherever it points.
TEST_F(RescueVmTest, JunctionNamedQemuIsRefusedAndNothingIsWrittenThroughIt) {
    const std::wstring target = MakeFolder(L"elsewhere");
    if (!MakeJunction(Folder() + L"\\QEMU", target))
        GTEST_SKIP() << "this Wine cannot make a junction; the unit tests' doubles cover the refusal";
    ExpectOutcome(StartElevatedForServer(), "חילוץ QEMU.zip נכשל.", IconKind::Exclamation);
    EXPECT_THAT(RescueLogLines(), IsEmpty());
    EXPECT_THAT(server.Requests(), IsEmpty());
    EXPECT_THAT(Launches(), IsEmpty());
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((target + L"\\*").c_str(), &data);
    int entries = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (std::wstring(data.cFileName) != L"." && std::wstring(data.cFileName) != L"..") ++entries;
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    EXPECT_EQ(entries, 0) << "something was written through the junction";
}

TEST_F(RescueVmTest, FileNamedQemuGoesToTheFailureHandler) {
    WriteFileBytes(Folder() + L"\\QEMU", "not a folder");
    const std::string description = "Cannot create folder " + Folder8() + "\\QEMU (error 183)";
    ExpectOutcome(StartElevatedForServer(), "הפעלת המכונה הווירטואלית נכשלה.\r\n" + description,
                  IconKind::Exclamation, "rescue-vm-failed");
    EXPECT_THAT(RescueLogLines(), ElementsAre("Virtual ISO failed: " + description));
    EXPECT_THAT(server.Requests(), IsEmpty());
}

TEST_F(RescueVmTest, HandMadeLinesWithoutAUsableServerAreRefused) {
    const std::string token = TokenOfWindow(SettledTokenWindow());
    for (const std::string& address : {std::string("127.0.0.1:70000"), std::string("127.0.0.1:0"),
                                       "bad_host:" + std::to_string(server.Port())}) {
        SCOPED_TRACE(address);
        auto helper = StartHelper(Widen("/elevated:virtualiso:" + token + ":0:vm-1:" + address + ":0"));
        ExpectOutcome(helper, kAddressRefused, IconKind::Exclamation,
                      address.ends_with(":0") ? "rescue-vm-address-refused" : nullptr);
    }
    EXPECT_THAT(RescueLogLines(), IsEmpty());
    EXPECT_THAT(server.Requests(), IsEmpty());
    EXPECT_THAT(Launches(), IsEmpty());
}

}  // namespace
}  // namespace kelto::e2e

#include "harness.h"

#include <sddl.h>
// After <windows.h>, which the harness brings.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace kelto::e2e {

namespace {

const std::wstring kSuiteRoot = L"C:\\kelto-e2e";
const std::wstring kHelperBaseName = L"KeltoClientHelper.exe";
const std::wstring kLogBaseName = L"KeltoClientHelper.log";
// The keys the helper writes; every test starts and ends without them.
const wchar_t* const kHelperKeys[] = {L"Software\\Classes\\kelto", L"Software\\KeltoRemote"};

std::string FormatLocal(const SYSTEMTIME& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return buffer;
}

}  // namespace

namespace {

// "yyyy-mm-dd hh:nn:ss " at the start of a line: the pattern ^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ,
// checked by hand because std::regex recurses per character and overflows the stack on
// the long lines some tests log.
bool StartsWithTimestamp(std::string_view line) {
    static constexpr std::string_view kPattern = "dddd-dd-dd dd:dd:dd ";
    if (line.size() < kPattern.size()) return false;
    for (size_t i = 0; i < kPattern.size(); ++i) {
        const char c = line[i];
        if (kPattern[i] == 'd' ? (c < '0' || c > '9') : c != kPattern[i]) return false;
    }
    return true;
}

std::wstring SanitisedTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|') {
            c = '_';
        }
    }
    return Widen(name);
}

class UniqueKey {
public:
    UniqueKey() = default;
    ~UniqueKey() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::int64_t SecondsSince2024(const SYSTEMTIME& t) {
    const auto isLeap = [](int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; };
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::int64_t days = 0;
    for (int year = 2024; year < t.wYear; ++year) days += isLeap(year) ? 366 : 365;
    for (int month = 1; month < t.wMonth; ++month)
        days += kMonthDays[month - 1] + (month == 2 && isLeap(t.wYear));
    days += t.wDay - 1;
    return days * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
}

std::int64_t LocalSecondsSince2024() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return SecondsSince2024(now);
}

ScreenDpi::ScreenDpi(DWORD dpi) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof previous_;
    hadPrevious_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&previous_), &size) == ERROR_SUCCESS;
    ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
}

ScreenDpi::~ScreenDpi() {
    if (hadPrevious_) {
        ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_),
                         sizeof previous_);
    } else {
        ::RegDeleteValueW(key_, L"LogPixels");
    }
    ::RegCloseKey(key_);
}

std::int64_t UtcSecondsSince2024() {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    return SecondsSince2024(now);
}

std::string TokenOfWindow(std::int64_t window) {
    std::int64_t v = ((window % 1000000) * 7919 + 731927) % 1000000;
    for (char c : std::string_view("PLOVA5216SIGIL")) v = (v * 131 + 17 * c) % 1000000;
    char text[16];
    std::snprintf(text, sizeof text, "%06lld", static_cast<long long>(v));
    return text;
}

std::int64_t SettledTokenWindow(std::int64_t secondsLeft) {
    // A slow helper takes that much longer from this moment to its checks of the token.
    secondsLeft = std::min<std::int64_t>(secondsLeft * Slowness(), kTokenWindowSeconds / 2);
    std::int64_t seconds = 0;
    const bool settled = PollUntil(
        Deadline::In(milliseconds((secondsLeft + 5) * 1000)),
        [&] {
            seconds = UtcSecondsSince2024();
            return seconds % kTokenWindowSeconds < kTokenWindowSeconds - secondsLeft;
        },
        milliseconds(100));
    if (!settled) throw DriverError("the clock did not reach a new token window");
    return seconds / kTokenWindowSeconds;
}

TestPrograms& Programs() {
    static TestPrograms programs;
    return programs;
}

bool HelperIs32Bit() {
    static const bool is32 = [] {
        // The machine field of the PE header: e_lfanew at offset 60 of the DOS header, then
        // "PE\0\0" and the machine. Without a readable helper, this test program's own kind.
        const std::string image = Programs().helper.empty() ? std::string() : ReadWholeFile(Programs().helper);
        std::uint32_t offset = 0;
        if (image.size() >= 64 && image.compare(0, 2, "MZ") == 0) std::memcpy(&offset, image.data() + 60, 4);
        if (offset == 0 || image.size() < std::size_t{offset} + 6 || image.compare(offset, 4, std::string("PE\0\0", 4)) != 0) {
#ifdef _WIN64
            return false;
#else
            return true;
#endif
        }
        std::uint16_t machine = 0;
        std::memcpy(&machine, image.data() + offset + 4, 2);
        return machine == IMAGE_FILE_MACHINE_I386;
    }();
    return is32;
}

const std::string& NativeSystemFolder() {
    static const std::string folder = HelperIs32Bit() ? "C:\\windows\\Sysnative" : "C:\\windows\\System32";
    return folder;
}

const std::wstring& HelpersSystem32() {
    static const std::wstring folder = HelperIs32Bit() ? L"C:\\windows\\syswow64" : L"C:\\windows\\system32";
    return folder;
}

namespace {
class LogLineMatcher : public ::testing::MatcherInterface<const std::string&> {
public:
    explicit LogLineMatcher(std::string message) : message_(std::move(message)) {}
    bool MatchAndExplain(const std::string& line, ::testing::MatchResultListener*) const override {
        return StartsWithTimestamp(line) && std::string_view(line).substr(20) == message_;
    }
    void DescribeTo(std::ostream* os) const override {
        *os << "is a log line \"yyyy-mm-dd hh:nn:ss " << message_ << "\"";
    }
    void DescribeNegationTo(std::ostream* os) const override {
        *os << "is not a log line \"yyyy-mm-dd hh:nn:ss " << message_ << "\"";
    }

private:
    std::string message_;
};
}  // namespace

::testing::Matcher<const std::string&> IsLogLine(const std::string& message) {
    return ::testing::MakeMatcher(new LogLineMatcher(message));
}

std::string OwnUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        throw DriverError("OpenProcessToken");
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    const BOOL read = ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    ::CloseHandle(token);
    LPWSTR text = nullptr;
    if (!read || !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        throw DriverError("the test's own user SID");
    const std::string sid = Narrow(text);
    ::LocalFree(text);
    return sid;
}

std::string VersionLine(const std::string& commandLine) {
    return "Version 1.12.0 Command: [" + commandLine + "]";
}

const ControlInfo& EntryField(const WindowSnapshot& window) {
    for (const auto& c : window.controls) {
        if (c.className == "Edit") return c;
    }
    throw DriverError("the window \"" + window.title + "\" has no entry field");
}

void ExpectMessageBox(const WindowSnapshot& box, const std::string& title, const std::string& text,
                      IconKind icon, const std::vector<int>& buttonIds) {
    EXPECT_EQ(box.title, title);
    EXPECT_EQ(box.text, text) << "in the box \"" << box.title << "\"";
    // Two RIGHT-TO-LEFT MARKs: the text reads right to left on any Windows, whatever its language.
    EXPECT_EQ(box.leadingRightToLeftMarks, 2) << "in the box \"" << box.title << "\"";
    // The customer can find it: unowned (a taskbar button of its own) or owned by a visible
    // window, never by the hidden main window.
    EXPECT_TRUE(box.owner == nullptr || ::IsWindowVisible(box.owner))
        << "the box \"" << box.title << "\" is owned by a hidden window";
    EXPECT_EQ(box.icon, icon) << "in the box \"" << box.title << "\"";
    EXPECT_EQ(box.ButtonIds(), buttonIds) << "in the box \"" << box.title << "\"";
    if (buttonIds.empty()) return;
    for (const auto& b : box.buttons) {
        EXPECT_EQ((b.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON, b.id == buttonIds.front())
            << "default button of the box \"" << box.title << "\": button " << b.id;
    }
}

Image CaptureControl(const ControlInfo& control) {
    auto image = CaptureScreen(control.screenRect);
    if (!image) throw DriverError("the screen cannot be read here (no X display): pixels are unknown");
    return *image;
}

int PixelsNear(const Image& image, std::uint32_t colour, int tolerance) {
    int count = 0;
    for (auto p : image.pixels) {
        bool within = true;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int d = static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF);
            if (d > tolerance || d < -tolerance) within = false;
        }
        if (within) ++count;
    }
    return count;
}

std::optional<InkColumns> InkColumnsOf(const Image& image, int tolerance) {
    const std::uint32_t background = DominantColour(image);
    std::optional<InkColumns> ink;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (PixelsNear(Image{1, 1, {image.At(x, y)}}, background, tolerance) == 1) continue;
            if (!ink) ink = InkColumns{x, x};
            ink->left = std::min(ink->left, x);
            ink->right = std::max(ink->right, x);
        }
    }
    return ink;
}

void ExpectTextHugsRightEdge(const ControlInfo& label, int margin) {
    const Image image = CaptureControl(label);
    const auto ink = InkColumnsOf(image);
    ASSERT_TRUE(ink.has_value()) << "no text drawn in \"" << label.text << "\"";
    const int rightRoom = image.width - 1 - ink->right;
    EXPECT_LE(rightRoom, margin) << "room right of the text \"" << label.text << "\"";
    EXPECT_GT(ink->left, rightRoom) << "the text \"" << label.text << "\" is not drawn from the right";
}

void ExpectRightToLeftReading(const WindowSnapshot& window) {
    EXPECT_TRUE(window.exStyle & WS_EX_LAYOUTRTL) << "\"" << window.title << "\" is not mirrored";
    EXPECT_FALSE(window.exStyle & WS_EX_RTLREADING) << "\"" << window.title << "\" reads left to right";
    for (const auto& c : window.controls)
        EXPECT_FALSE(c.exStyle & WS_EX_RTLREADING) << "the control \"" << c.text << "\" reads left to right";
}

bool WaitForText(HWND control, const std::string& expected, milliseconds wait) {
    return PollUntil(Deadline::In(wait), [&] { return TextOf(control) == expected; });
}

void HelperTest::SetUp() {
    ::GetLocalTime(&startedLocal_);
    if (Programs().helper.empty()) GTEST_FAIL() << "the helper's path was not given (--helper=)";
    ::CreateDirectoryW(kSuiteRoot.c_str(), nullptr);
    folder_ = kSuiteRoot + L"\\" + SanitisedTestName();
    RemoveFolderTree(folder_);  // a test run again in the same prefix starts afresh
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr)) << "error " << ::GetLastError();
    exePath_ = folder_ + L"\\" + kHelperBaseName;
    ASSERT_TRUE(::CopyFileW(Programs().helper.c_str(), exePath_.c_str(), FALSE))
        << "copying the helper failed, error " << ::GetLastError();

    launchRecord_ = folder_ + L"\\launches.txt";
    ::DeleteFileW(launchRecord_.c_str());
    ::SetEnvironmentVariableW(L"KELTO_LAUNCH_RECORD", launchRecord_.c_str());

    for (const wchar_t* key : kHelperKeys) DeleteRegistryTree(key);

    job_.reset(::CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(job_) << "CreateJobObjectW failed, error " << ::GetLastError();
    // If the suite itself dies, closing the job ends what it started.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

void HelperTest::TearDown() {
    if (job_) {
        const auto leftovers = RunningProcesses();
        if (!leftovers.empty()) {
            std::string list;
            for (const auto& p : leftovers) list += "\n  process " + std::to_string(p.id) + " " + p.image;
            // A test that already failed may leave its processes behind; that is no news.
            if (!HasFailure()) ADD_FAILURE() << "still running at the end of the test:" << list;
            ::TerminateJobObject(job_.get(), 1);
            if (!PollUntil(Deadline::In(milliseconds(10000)), [&] { return RunningProcesses().empty(); })) {
                ADD_FAILURE() << "processes of the test did not end after TerminateJobObject";
            }
        }
    }
    for (const wchar_t* key : kHelperKeys) DeleteRegistryTree(key);
    ::SetEnvironmentVariableW(L"KELTO_LAUNCH_RECORD", nullptr);
}

Process HelperTest::StartHelper(std::wstring_view arguments, const std::wstring& workingDirectory) {
    std::wstring line = L"\"" + exePath_ + L"\"";
    if (!arguments.empty()) line += L" " + std::wstring(arguments);
    return StartRaw(line, workingDirectory);
}

Process HelperTest::StartRaw(const std::wstring& commandLine, const std::wstring& workingDirectory) {
    return StartProcess(commandLine, workingDirectory.empty() ? folder_ : workingDirectory, job_.get());
}

WindowSnapshot HelperTest::WaitForDialog(const Process& process, milliseconds wait) {
    return e2e::WaitForDialog(process.id, Deadline::In(wait));
}

WindowSnapshot HelperTest::WaitForDialogOfTest(milliseconds wait) {
    DWORD owner = 0;
    const bool found = PollUntil(Deadline::In(wait), [&] {
        for (const auto& member : RunningProcesses()) {
            for (HWND w : VisibleTopLevelWindows(member.id)) {
                if (ClassNameOf(w) == "#32770") {
                    owner = member.id;
                    return true;
                }
            }
        }
        return false;
    });
    if (!found) {
        std::string list;
        for (const auto& p : RunningProcesses()) {
            list += "\n  process " + std::to_string(p.id) + " " + p.image + ": " + DescribeWindows(p.id);
        }
        throw DriverError("no dialog of a process of the test appeared in time:" + list);
    }
    return e2e::WaitForDialog(owner, Deadline::In(wait));
}

WindowSnapshot HelperTest::WaitForMainWindow(const Process& process, milliseconds wait) {
    return e2e::WaitForMainWindow(process.id, Deadline::In(wait));
}

namespace {
std::string DescribeJob(HANDLE job) {
    std::string list;
    for (const auto& p : RunningJobMembers(job)) {
        list += "\n  process " + std::to_string(p.id) + " " + p.image + ": " + DescribeWindows(p.id);
    }
    return list.empty() ? " none running" : list;
}
}  // namespace

WindowSnapshot HelperTest::WaitForDialogOfAnyProcess(milliseconds wait) {
    const Deadline deadline = Deadline::In(wait);
    HWND dialog = FindWindowOfJob(job_.get(), deadline, [](HWND w) { return ClassNameOf(w) == "#32770"; });
    if (dialog == nullptr)
        throw DriverError("no dialog of the test's processes appeared in time:" + DescribeJob(job_.get()));
    DWORD processId = 0;
    ::GetWindowThreadProcessId(dialog, &processId);
    // Its text and (where pixels exist) its icon, as for a dialog of a known process.
    return e2e::WaitForDialog(processId, deadline);
}

WindowSnapshot HelperTest::WaitForMainWindowOfAnyProcess(milliseconds wait) {
    const Deadline deadline = Deadline::In(wait);
    HWND main = FindWindowOfJob(job_.get(), deadline, [](HWND w) { return ClassNameOf(w) != "#32770"; });
    if (main == nullptr) {
        throw DriverError("no main window of the test's processes appeared in time:" +
                          DescribeJob(job_.get()));
    }
    return Snapshot(main);
}

Process HelperTest::ProcessOf(DWORD processId) {
    Process process;
    process.id = processId;
    process.handle.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    const auto members = RunningProcesses();
    const bool ofThisTest = std::any_of(members.begin(), members.end(),
                                        [&](const JobMember& member) { return member.id == processId; });
    if (!process.handle || !ofThisTest) {
        throw DriverError("process " + std::to_string(processId) + " is not a running process of this test");
    }
    process.commandLine = Widen(ImagePathOf(processId));
    return process;
}

WindowSnapshot HelperTest::WaitForWindow(const Process& process, const std::string& title,
                                         milliseconds wait) {
    HWND found = nullptr;
    PollUntil(Deadline::In(wait), [&] {
        for (HWND w : VisibleTopLevelWindows(process.id)) {
            if (TextOf(w) == title) {
                found = w;
                return true;
            }
        }
        return false;
    });
    if (!found) throw DriverError("no window \"" + title + "\"; there are: " + DescribeWindows(process.id));
    // Painted once the message queue has gone idle.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return Snapshot(found);
}

DWORD HelperTest::WaitForExit(const Process& process, milliseconds wait) {
    const auto code = e2e::WaitForExit(process, Deadline::In(wait));
    if (!code) {
        throw DriverError("process " + std::to_string(process.id) + " (" + Narrow(process.commandLine) +
                          ") did not end in time; its windows: " + DescribeWindows(process.id));
    }
    return *code;
}

void HelperTest::CloseMainWindow(const Process& process, const WindowSnapshot& window) {
    ::PostMessageW(window.hwnd, WM_CLOSE, 0, 0);
    WaitForExit(process);
}

void HelperTest::Answer(const WindowSnapshot& dialog, int buttonId) {
    Press(dialog.hwnd, buttonId);
    WaitUntilGone(dialog.hwnd, Deadline::In(kDefaultWait));
}

void HelperTest::WaitUntilAllEnded(milliseconds wait) {
    if (PollUntil(Deadline::In(wait), [&] { return RunningProcesses().empty(); })) return;
    std::string list;
    for (const auto& p : RunningProcesses()) {
        list += "\n  process " + std::to_string(p.id) + " " + p.image + ": " + DescribeWindows(p.id);
    }
    throw DriverError("processes of the test still running:" + list);
}

std::string HelperTest::LogBytes(const std::wstring& folder) const {
    return ReadWholeFile((folder.empty() ? folder_ : folder) + L"\\" + kLogBaseName);
}

std::vector<std::string> HelperTest::LogLines(const std::wstring& folder) const {
    const std::string bytes = LogBytes(folder);
    std::vector<std::string> lines;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    // The log's clock is the local one, to the second: every line lies within this test.
    SYSTEMTIME from = startedLocal_;
    from.wMilliseconds = 0;
    const std::string earliest = FormatLocal(from);
    const std::string latest = FormatLocal(now);
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the log's last line does not end in CR LF: \"" << bytes.substr(start) << "\"";
            lines.push_back(bytes.substr(start));
            break;
        }
        std::string line = bytes.substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string::npos) {
            ADD_FAILURE() << "a log line holds a stray CR or LF: \"" << line << "\"";
        }
        if (!StartsWithTimestamp(line)) {
            ADD_FAILURE() << "a log line does not start with a timestamp: \"" << line << "\"";
        } else {
            const std::string stamp = line.substr(0, 19);
            if (stamp < earliest || stamp > latest) {
                ADD_FAILURE() << "log timestamp " << stamp << " is not the local time of the test (between "
                              << earliest << " and " << latest << ")";
            }
        }
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> HelperTest::LogMessages(const std::wstring& folder) const {
    std::vector<std::string> messages;
    for (const auto& line : LogLines(folder)) messages.push_back(line.size() >= 20 ? line.substr(20) : line);
    return messages;
}

std::vector<Launch> HelperTest::Launches() const {
    const std::string bytes = ReadWholeFile(launchRecord_);
    std::vector<Launch> launches;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        const std::string entry = bytes.substr(start, end - start);
        // "<program>\t<working folder>\t<show mode>\t<command line>": the command line may hold a tab.
        std::vector<std::string> fields;
        size_t from = 0;
        for (int i = 0; i < 3; ++i) {
            const size_t tab = entry.find('\t', from);
            fields.push_back(entry.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            from = tab == std::string::npos ? entry.size() : tab + 1;
        }
        fields.push_back(entry.substr(from));
        launches.push_back(Launch{fields[0], fields[3], fields[1], fields[2]});
        start = end + 1;
    }
    return launches;
}

std::vector<Launch> HelperTest::WaitForLaunches(size_t count, milliseconds wait) const {
    std::vector<Launch> launches;
    PollUntil(Deadline::In(wait), [&] {
        launches = Launches();
        return launches.size() >= count;
    });
    return launches;
}

std::optional<RegistryValue> HelperTest::ReadRegistry(const std::wstring& key,
                                                      const std::wstring& valueName) const {
    UniqueKey handle;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, handle.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    const wchar_t* name = valueName.empty() ? nullptr : valueName.c_str();
    if (::RegQueryValueExW(handle.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(handle.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegistryValue value;
    value.type = type;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        data.resize(bytes / sizeof(wchar_t));
        // The stored size counts the terminating NUL; the text is what precedes it.
        if (!data.empty() && data.back() == L'\0') data.pop_back();
        value.data = Narrow(data);
    }
    return value;
}

bool HelperTest::RegistryKeyExists(const std::wstring& key) const {
    UniqueKey handle;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.put()) == ERROR_SUCCESS;
}

std::vector<std::string> HelperTest::RegistrySubkeys(const std::wstring& key) const {
    std::vector<std::string> names;
    UniqueKey handle;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumKeyExW(handle.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.push_back(Narrow(std::wstring_view(name, length)));
    }
    return names;
}

std::vector<std::string> HelperTest::RegistryValueNames(const std::wstring& key) const {
    std::vector<std::string> names;
    UniqueKey handle;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = static_cast<DWORD>(std::size(name));
        if (::RegEnumValueW(handle.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.push_back(Narrow(std::wstring_view(name, length)));
    }
    return names;
}

void HelperTest::WriteRegistryString(const std::wstring& key, const std::wstring& valueName,
                                     std::string_view data) {
    UniqueKey handle;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(),
                          nullptr) != ERROR_SUCCESS) {
        throw DriverError("cannot create HKCU\\" + Narrow(key));
    }
    const std::wstring wide = Widen(data);
    if (::RegSetValueExW(handle.get(), valueName.empty() ? nullptr : valueName.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(wide.c_str()),
                         static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        throw DriverError("cannot write HKCU\\" + Narrow(key) + "\\" + Narrow(valueName));
    }
}

void HelperTest::DeleteRegistryTree(const std::wstring& key) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

void HelperTest::StoreAuthorizedSession(std::string_view sessionId, std::int64_t expiresAt) {
    WriteRegistryString(kSessionKey, L"SessionID", sessionId);
    WriteRegistryString(kSessionKey, L"ExpiresAt", std::to_string(expiresAt));
}

Process HelperTest::ShellOpen(const std::wstring& file) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) {
        throw DriverError("ShellExecuteExW(" + Narrow(file) + ") failed, error " +
                          std::to_string(::GetLastError()));
    }
    if (info.hProcess == nullptr) throw DriverError("the shell started no process for " + Narrow(file));
    Process process;
    process.handle.reset(info.hProcess);
    process.id = ::GetProcessId(info.hProcess);
    process.commandLine = L"(shell) " + file;
    // What it starts from now on belongs to the test as well.
    ::AssignProcessToJobObject(job_.get(), info.hProcess);
    return process;
}

void HelperTest::SaveScreenshot(HWND window, std::string_view name) {
    const std::wstring& folder = Programs().artifacts;
    if (folder.empty() || !ScreenIsReadable()) return;
    // Whatever is still to be painted is painted first: the window's thread handles the
    // paint messages before it answers.
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    const auto shot = CaptureWindow(window);
    ASSERT_TRUE(shot.has_value()) << "no picture of the window for " << name;
    // The folder and any missing folder above it.
    for (size_t end = folder.find(L'\\', 3); ; end = folder.find(L'\\', end + 1)) {
        ::CreateDirectoryW(folder.substr(0, end).c_str(), nullptr);
        if (end == std::wstring::npos) break;
    }
    EXPECT_TRUE(WriteBmp(folder + L"\\" + Widen(name) + L".bmp", *shot)) << name;

    // One short write to a file opened for appending only: the shards of a run write to the
    // same index, and their lines do not mix.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string line = std::string(name) + "\t" + info->test_suite_name() + "." + info->name() + "\n";
    UniqueHandle index(::CreateFileW((folder + L"\\index.tsv").c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(index &&
                ::WriteFile(index.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                written == line.size())
        << "the screenshot index cannot be written";
}

std::wstring HelperTest::MakeFolder(const std::wstring& name) {
    const std::wstring path = folder_ + L"\\" + name;
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::wstring HelperTest::CopyInto(const std::wstring& program, const std::wstring& folder,
                                  const std::wstring& name) {
    std::wstring base = name;
    if (base.empty()) {
        const size_t slash = program.find_last_of(L"\\/");
        base = slash == std::wstring::npos ? program : program.substr(slash + 1);
    }
    const std::wstring target = folder + L"\\" + base;
    if (!::CopyFileW(program.c_str(), target.c_str(), FALSE)) {
        throw DriverError("cannot copy " + Narrow(program) + " to " + Narrow(target));
    }
    return target;
}

std::vector<JobMember> HelperTest::RunningProcesses() const { return RunningJobMembers(job_.get()); }

}  // namespace kelto::e2e

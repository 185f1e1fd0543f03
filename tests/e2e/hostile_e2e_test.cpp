// Hostile input against the real program: every line of tests/data/hostile-inputs.txt is one
// start of the helper. The URL road runs in a stored support session (a token prompt, where a
// line names another session, gets the current token); every box is answered with its
// go-ahead button (Yes; No at the restore question; OK) and every other window is closed,
// until every process of the test has ended. Elevated lines carry the current token.
//
// For every line:
//   - every process of the test exits with 0;
//   - nothing starts but helper instances and at most one catalogue program, with exactly the
//     file and parameters of its row in tests/data/catalogue.tsv (the rescue VM may start its
//     own download, unpacking and emulator programs);
//   - no copy planted beside the helper runs, nor any program the line names itself;
//   - every log line is one the helper defines, one version line per helper start.
//
// What started is observed twice: the stand-ins over the system's programs record their path
// and command line, and the job's completion port reports every process the job took in.
#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "harness.h"

namespace kelto::e2e {
namespace {

constexpr const char* kSession = "hostile-session";
constexpr const char* kHelperName = "keltoclienthelper.exe";

// Copies of the stand-in planted beside the helper: programs and console files the catalogue
// names, and programs a hostile line names.
const wchar_t* const kPlanted[] = {
    L"cmd.exe",      L"mmc.exe",      L"taskmgr.exe",  L"control.exe",    L"explorer.exe", L"shutdown.exe",
    L"ipconfig.exe", L"netsh.exe",    L"bcdedit.exe",  L"powershell.exe", L"calc.exe",     L"notepad.exe",
    L"mshta.exe",    L"rundll32.exe", L"certutil.exe", L"x.exe",          L"curl.exe",     L"tar.exe",
    L"devmgmt.msc",  L"eventvwr.msc", L"services.msc", L"ncpa.cpl"};

// Program names a line may name that must never start unless they are the catalogue's own.
const char* const kNamedPrograms[] = {"calc.exe",      "notepad.exe", "mshta.exe",    "rundll32.exe",
                                      "regsvr32.exe",  "wscript.exe", "cscript.exe",  "certutil.exe",
                                      "x.exe",         "cmd.exe",     "shutdown.exe", "control.exe",
                                      "powershell.exe"};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string EnvironmentValue(const wchar_t* name) {
    wchar_t value[4096];
    const DWORD length = ::GetEnvironmentVariableW(name, value, static_cast<DWORD>(std::size(value)));
    return length == 0 || length >= std::size(value) ? std::string()
                                                     : Narrow(std::wstring_view(value, length));
}

std::string ReadTextFile(const std::wstring& path) {
    std::ifstream file(Narrow(path), std::ios::binary);
    if (!file) throw DriverError("cannot read " + Narrow(path));
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void AppendUtf8(std::string& out, unsigned codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The corpus notation (see make-hostile-inputs.py) turned into the command line's text.
std::string Expand(const std::string& line, const std::string& token) {
    std::string out;
    size_t i = 0;
    while (i < line.size()) {
        const size_t open = line.find("~{", i);
        if (open == std::string::npos) {
            out += line.substr(i);
            break;
        }
        out += line.substr(i, open - i);
        const size_t close = line.find('}', open);
        if (close == std::string::npos) throw DriverError("unclosed ~{ in the corpus: " + line);
        const std::string name = line.substr(open + 2, close - open - 2);
        const size_t star = name.find('*');
        if (name == "TAB") {
            out += '\t';
        } else if (name == "CR") {
            out += '\r';
        } else if (name == "LF") {
            out += '\n';
        } else if (name == "TOKEN") {
            out += token;
        } else if (name == "SID") {
            out += kSession;
        } else if (name.rfind("U+", 0) == 0) {
            AppendUtf8(out, static_cast<unsigned>(std::stoul(name.substr(2), nullptr, 16)));
        } else if (star != std::string::npos && star + 2 == name.size()) {
            out.append(std::stoul(name.substr(0, star)), name.back());
        } else {
            throw DriverError("unknown ~{" + name + "} in the corpus");
        }
        i = close + 1;
    }
    return out;
}

struct CatalogueRow {
    std::string key;
    std::string file;       // as resolved for this run's environment
    std::string arguments;  // empty for "(none)"
};

// tests/data/catalogue.tsv with its computed rows filled from this run's TEMP, USERPROFILE
// and SystemRoot.
std::map<std::string, CatalogueRow> LoadCatalogue() {
    const std::string fixtureTemp = "C:\\Users\\Dana Levi\\AppData\\Local\\Temp";
    const std::string fixtureProfile = "C:\\Users\\Dana Levi";
    const std::string fixtureRoot = "C:\\Windows";
    const auto fill = [&](std::string text) {
        if (text == "(none)") return std::string();
        const std::pair<std::string, std::string> swaps[] = {
            {fixtureTemp, EnvironmentValue(L"TEMP")},
            {fixtureProfile, EnvironmentValue(L"USERPROFILE")},
            {fixtureRoot, EnvironmentValue(L"SystemRoot")}};
        for (const auto& [from, to] : swaps) {
            for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
                text.replace(at, from.size(), to);
        }
        return text;
    };
    std::map<std::string, CatalogueRow> rows;
    std::istringstream lines(ReadTextFile(Programs().data + L"\\catalogue.tsv"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() != 6) throw DriverError("catalogue.tsv: not six fields: " + line);
        rows[fields[0]] = {fields[0], fill(fields[4]), fill(fields[5])};
    }
    return rows;
}

// A launch the stand-ins recorded, split into its program and what follows it.
std::pair<std::string, std::string> SplitCommandLine(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        const size_t close = commandLine.find('"', 1);
        if (close == std::string::npos) return {commandLine.substr(1), ""};
        const size_t rest = commandLine.find_first_not_of(' ', close + 1);
        return {commandLine.substr(1, close - 1), rest == std::string::npos ? "" : commandLine.substr(rest)};
    }
    const size_t space = commandLine.find(' ');
    if (space == std::string::npos) return {commandLine, ""};
    return {commandLine.substr(0, space), commandLine.substr(space + 1)};
}

// Whether a recorded launch is exactly the row's program with the row's parameters: the file
// by its name (native launch resolves the folder), a console file through mmc.exe with its
// full path in the system folder, a settings page through its URL class.
bool IsRowLaunch(const Launch& launch, const CatalogueRow& row) {
    const auto [program, arguments] = SplitCommandLine(launch.commandLine);
    const std::string file = Lower(row.file);
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".msc") == 0) {
        return Lower(BaseName(launch.program)) == "mmc.exe" &&
               Lower(arguments) ==
                   Lower("\"" + EnvironmentValue(L"SystemRoot") + "\\System32\\" + row.file + "\"");
    }
    if (file.rfind("ms-settings:", 0) == 0) {
        return Lower(BaseName(launch.program)) == "systemsettings.exe" &&
               (arguments == "\"" + row.file + "\"" || arguments == row.file);
    }
    return Lower(BaseName(program)) == Lower(BaseName(row.file)) &&
           Lower(BaseName(launch.program)) == Lower(BaseName(row.file)) && arguments == row.arguments;
}

// Programs the rescue VM starts on its own: the download, the unpacking, the emulator.
bool IsRescueVmChild(const std::string& image) {
    const std::string name = Lower(BaseName(image));
    return name == "curl.exe" || name == "tar.exe" || name == "powershell.exe" ||
           (Lower(image).find("qemu") != std::string::npos && name.rfind("qemu-system-", 0) == 0);
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; });
}

bool IsKey(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

bool IsSessionId(std::string_view text) {
    return text.size() <= 80 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
           });
}

bool IsNumber(std::string_view text) {
    const std::string_view digits = !text.empty() && text[0] == '-' ? text.substr(1) : text;
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Between(std::string_view message, std::string_view prefix, std::string_view suffix,
             std::string_view& inner) {
    if (message.size() < prefix.size() + suffix.size() || message.substr(0, prefix.size()) != prefix ||
        message.substr(message.size() - suffix.size()) != suffix) {
        return false;
    }
    inner = message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
    return true;
}

// The log lines the helper defines, written out: a message is allowed when one of these fits.
bool IsDefinedLogMessage(std::string_view message) {
    if (HasControlCharacter(message)) return false;
    std::string_view inner;
    if (Between(message, "Version 1.12.0 Command: [", "]", inner)) return true;
    if (Between(message, "Parsed tool: [", "]", inner)) return inner.empty() || IsKey(inner);
    if (Between(message, "Support session: [", "]", inner)) return IsSessionId(inner);
    if (Between(message, "Support session authorized: ", "", inner)) return IsSessionId(inner);
    if (Between(message, "Approved offline tool: ", "", inner)) return IsKey(inner);
    if (Between(message, "Invalid or expired token for tool: ", "", inner)) return IsKey(inner);
    if (Between(message, "Open failed. Tool: ", "", inner)) {
        const size_t result = inner.find(" Result: ");
        const size_t file = inner.find(" File: ");
        return result != std::string_view::npos && file != std::string_view::npos && result < file &&
               IsKey(inner.substr(0, result)) && IsNumber(inner.substr(result + 9, file - result - 9));
    }
    if (Between(message, "Restore point error: ", "", inner)) return IsNumber(inner);
    if (Between(message, "System restore failed: ", "", inner)) return IsNumber(inner);
    if (Between(message, "Downloading VM file: ", "", inner)) return true;
    if (Between(message, "Virtual ISO started: ", "", inner)) return true;
    if (Between(message, "Virtual ISO failed: ", "", inner)) return true;
    if (Between(message, "Offline: ", "", inner)) return true;
    return message == "Offline Ethernet cable guide opened." ||
           message == "Internet restored after Ethernet cable guide." ||
           message == "Ethernet cable connected but internet still offline.";
}

// Every process the job took in, as its completion port reports them.
struct JobRecord {
    struct Member {
        std::string image;
        UniqueHandle handle;  // to read its exit code; empty when it ended before it was opened
    };
    std::map<DWORD, Member> members;
    std::vector<DWORD> abnormalExits;
    bool activeZero = false;
};

class HostileInputTest : public HelperTest {
public:
    HostileInputTest(int lineNumber, std::string line) : lineNumber_(lineNumber), line_(std::move(line)) {}

    void TestBody() override;

private:
    void WatchJob() {
        port_.reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
        ASSERT_TRUE(port_) << "CreateIoCompletionPort failed, error " << ::GetLastError();
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
        association.CompletionKey = nullptr;
        association.CompletionPort = port_.get();
        ASSERT_TRUE(::SetInformationJobObject(Job(), JobObjectAssociateCompletionPortInformation,
                                              &association, sizeof association))
            << "error " << ::GetLastError();
    }

    // Reads the job's notices on a thread of its own, so that a process is opened (and its
    // image and exit code kept) the moment the job takes it in, however briefly it runs.
    void StartJobWatcher() {
        watcher_ = std::thread([this] {
            for (;;) {
                DWORD message = 0;
                ULONG_PTR key = 0;
                LPOVERLAPPED overlapped = nullptr;
                if (!::GetQueuedCompletionStatus(port_.get(), &message, &key, &overlapped, INFINITE)) return;
                if (key == kStopWatching) return;
                const auto pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(overlapped));
                std::lock_guard lock(recordMutex_);
                if (message == JOB_OBJECT_MSG_NEW_PROCESS) {
                    auto& member = record_.members[pid];
                    member.handle.reset(
                        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
                    // Wine names the image only once the new process has started running.
                    member.image = ImageOf(member.handle.get());
                } else if (message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) {
                    record_.abnormalExits.push_back(pid);
                } else if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
                    record_.activeZero = true;
                }
            }
        });
    }

    void StopJobWatcher() {
        if (!watcher_.joinable()) return;
        // The job's notices are queued in order: whatever arrived before this one is read.
        ::PostQueuedCompletionStatus(port_.get(), 0, kStopWatching, nullptr);
        watcher_.join();
    }

    static std::string ImageOf(HANDLE process) {
        if (process == nullptr) return "?";
        wchar_t path[MAX_PATH * 2];
        DWORD size = static_cast<DWORD>(std::size(path));
        if (!::QueryFullProcessImageNameW(process, 0, path, &size)) return "?";
        return Narrow(std::wstring_view(path, size));
    }

    void TearDown() override {
        StopJobWatcher();
        HelperTest::TearDown();
    }

    // The go-ahead for one window: the token where one is asked for, No at the restore question
    // (Yes, No and Cancel), Yes, OK; any other window is closed.
    void AnswerWindow(HWND window, const std::string& token) {
        const WindowSnapshot snapshot = Snapshot(window);
        seenWindows_.insert(snapshot.title);
        for (const auto& control : snapshot.controls) {
            if (control.className == "Edit") {
                SetEditText(window, control.id, token);
                Press(window, IDOK);
                return;
            }
        }
        const auto ids = snapshot.ButtonIds();
        const auto has = [&](int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
        if (has(IDYES) && has(IDNO) && has(IDCANCEL)) {
            Press(window, IDNO);
        } else if (has(IDYES)) {
            Press(window, IDYES);
        } else if (has(IDOK)) {
            Press(window, IDOK);
        } else {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }

    // Answers what the test's processes show until every one of them has ended.
    void DriveToTheEnd(const std::string& token) {
        std::map<HWND, DWORD> answeredAt;
        const bool ended = PollUntil(
            Deadline::In(milliseconds(90000)),
            [&] {
                const auto running = RunningProcesses();
                if (running.empty()) return true;
                for (const auto& member : running) {
                    for (HWND window : VisibleTopLevelWindows(member.id)) {
                        const DWORD now = ::GetTickCount();
                        const auto earlier = answeredAt.find(window);
                        // A window that is still there a while after its answer is answered again.
                        if (earlier != answeredAt.end() && now - earlier->second < 3000) continue;
                        answeredAt[window] = now;
                        try {
                            AnswerWindow(window, token);
                        } catch (const DriverError&) {
                            // The window went away while it was read: nothing left to answer.
                        }
                    }
                }
                return false;
            },
            milliseconds(50));
        if (!ended) WaitUntilAllEnded(milliseconds(0));
        StopJobWatcher();
    }

    int lineNumber_;
    std::string line_;
    static constexpr ULONG_PTR kStopWatching = 1;
    UniqueHandle port_;
    std::thread watcher_;
    std::mutex recordMutex_;
    JobRecord record_;
    std::set<std::string> seenWindows_;
};

// Planted in the QEMU folder beside the helper, where a customer's program can write: an
// emulator at the top and where an archive keeps its own, and a DLL beside each. None may run.
const wchar_t* const kPlantedInQemu[] = {L"qemu-system-x86_64.exe", L"SDL2.dll",
                                         L"Portable QEMU\\bin\\qemu-system-x86_64.exe",
                                         L"Portable QEMU\\bin\\SDL2.dll"};

void HostileInputTest::TestBody() {
    for (const wchar_t* name : kPlanted) CopyInto(Programs().standin, Folder(), name);
    const std::wstring qemu = Folder() + L"\\QEMU";
    MakeFolder(L"QEMU");
    MakeFolder(L"QEMU\\Portable QEMU");
    MakeFolder(L"QEMU\\Portable QEMU\\bin");
    for (const wchar_t* name : kPlantedInQemu) {
        const std::wstring path = qemu + L"\\" + name;
        CopyInto(Programs().standin, path.substr(0, path.rfind(L'\\')), path.substr(path.rfind(L'\\') + 1));
    }
    StoreAuthorizedSession(kSession, LocalSecondsSince2024() + 600);
    WatchJob();
    if (HasFatalFailure()) return;
    StartJobWatcher();
    const std::string token = TokenOfWindow(SettledTokenWindow());
    const std::string commandLine = Expand(line_, token);
    SCOPED_TRACE("corpus line " + std::to_string(lineNumber_) + ": " + line_.substr(0, 300));

    auto helper = StartHelper(Widen(commandLine));
    DriveToTheEnd(token);

    std::string shown;
    for (const auto& title : seenWindows_) shown += " [" + title + "]";
    SCOPED_TRACE("windows answered:" + shown);

    // Every process exited with 0, none abnormally.
    int helperStarts = 0;
    std::vector<std::string> others;
    for (auto& [pid, member] : record_.members) {
        if (member.image == "?") member.image = ImageOf(member.handle.get());
        if (member.handle) {
            DWORD code = 0;
            ::GetExitCodeProcess(member.handle.get(), &code);
            EXPECT_EQ(code, 0u) << "process " << pid << " " << member.image;
        }
        if (Lower(member.image) == Lower(ExePathUtf8())) {
            ++helperStarts;
        } else {
            others.push_back(member.image);
        }
    }
    EXPECT_THAT(record_.abnormalExits, ::testing::IsEmpty());
    EXPECT_GE(helperStarts, 1) << "the job reported no start of the helper";

    // The key the helper acted on, from its own log: the approved one (URL road) or the
    // elevated line's first field.
    const auto messages = LogMessages();
    std::string actedKey;
    for (const auto& message : messages) {
        std::string_view inner;
        if (Between(message, "Approved offline tool: ", "", inner)) actedKey = inner;
        if (Between(message, "Version 1.12.0 Command: [/elevated:", "]", inner) ||
            Between(message, "Version 1.12.0 Command: [/ELEVATED:", "]", inner)) {
            // The elevated reader drops quotes and trims spaces around each field.
            actedKey.clear();
            for (char c : inner.substr(0, inner.find(':'))) {
                if (c != '"' && c != ' ') actedKey += c;
            }
            actedKey = Lower(actedKey);
        }
    }
    static const auto catalogue = LoadCatalogue();
    const auto row = catalogue.find(actedKey);

    // What the stand-ins saw: at most one start, never a planted copy, exactly the row's.
    const auto launches = Launches();
    EXPECT_LE(launches.size(), 1u);
    for (const auto& launch : launches) {
        EXPECT_NE(Lower(launch.program).rfind(Lower(Narrow(Folder())), 0), 0u)
            << "a copy planted beside the helper ran: " << launch.program;
        ASSERT_NE(row, catalogue.end()) << "a program started for no catalogue key: " << launch.commandLine;
        EXPECT_TRUE(IsRowLaunch(launch, row->second))
            << "started " << launch.program << " as [" << launch.commandLine << "], the row of \""
            << row->first << "\" is [" << row->second.file << "] [" << row->second.arguments << "]";
    }

    // What the job held besides the helper: the row's program or the rescue VM's children.
    const bool rescueVm = actedKey == "virtualiso";
    if (!rescueVm) {
        EXPECT_LE(others.size(), 1u) << "more than one program besides the helper";
    }
    for (const auto& image : others) {
        EXPECT_EQ(Lower(image).rfind(Lower(Narrow(Folder())), 0), std::string::npos)
            << "a copy planted beside the helper ran: " << image;
        const std::string name = Lower(BaseName(image));
        const bool rowProgram =
            row != catalogue.end() &&
            (name == Lower(BaseName(row->second.file)) ||
             (name == "mmc.exe" && Lower(row->second.file).find(".msc") != std::string::npos) ||
             (name == "systemsettings.exe" && row->second.file.rfind("ms-settings:", 0) == 0));
        EXPECT_TRUE(rowProgram || (rescueVm && IsRescueVmChild(image)))
            << "started " << image << " (the acted key is \"" << actedKey << "\")";
        for (const char* named : kNamedPrograms) {
            if (name == named && !rowProgram) ADD_FAILURE() << "a program the input names ran: " << image;
        }
    }

    // Whatever the rescue VM did, what was planted in QEMU is still there as it was.
    for (const wchar_t* name : kPlantedInQemu) {
        const std::wstring path = qemu + L"\\" + name;
        EXPECT_EQ(ReadWholeFile(path), ReadWholeFile(Programs().standin)) << Narrow(path);
    }

    // The log: defined lines only, one version line per start of the helper.
    int versionLines = 0;
    for (const auto& message : messages) {
        EXPECT_TRUE(IsDefinedLogMessage(message)) << "not a line the helper defines: [" << message << "]";
        if (message.rfind("Version 1.12.0 Command: [", 0) == 0) ++versionLines;
    }
    EXPECT_EQ(versionLines, helperStarts);
}

}  // namespace

void RegisterHostileInputTests() {
    if (Programs().data.empty()) return;
    std::istringstream lines(ReadTextFile(Programs().data + L"\\hostile-inputs.txt"));
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::string name = "Line" + std::to_string(number);
        ::testing::RegisterTest(
            "HostileInput", name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
            [number, line]() -> HelperTest* { return new HostileInputTest(number, line); });
    }
}

}  // namespace kelto::e2e

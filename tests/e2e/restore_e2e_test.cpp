// Restore points with the real executable. Wine's SystemRestore methods are stubs, so no
// restore point is made and no rollback starts here: these tests show the roads where that
// fails (the action is not started, the creation-frequency value is left as it was, in the
// machine's native view and nowhere else) and that nothing reaches shutdown.exe. A stand-in
// replaces shutdown.exe in both system folders, and a copy planted beside the helper must
// never run.
#include "harness.h"

namespace kelto::e2e {
namespace {

using ::testing::IsEmpty;

constexpr const char* kSession = "rp-1";
const wchar_t* const kFrequencyKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
const wchar_t* const kFrequencyName = L"SystemRestorePointCreationFrequency";

constexpr const char* kCreatingStatus = "יוצר נקודת שחזור לפני הפעולה...";
constexpr const char* kRollbackStatus = "מכין שחזור לנקודת Kelto האחרונה...";
constexpr const char* kNoPointCreated =
    "לא נוצרה נקודת שחזור ולכן הפעולה בוטלה.\r\nבדוק שהגנת המערכת פעילה ושיש מקום פנוי בדיסק.";
constexpr const char* kNoHelperPoint = "לא נמצאה נקודת שחזור שנוצרה על ידי Kelto.";
constexpr const char* kCannotStartRestore = "לא ניתן היה להתחיל את שחזור המערכת.";
constexpr const char* kRestoreQuestionTitle = "Kelto - נקודת שחזור";

// A value of the machine registry in one view: its type and bytes.
struct MachineValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    friend bool operator==(const MachineValue&, const MachineValue&) = default;
};

std::optional<MachineValue> ReadFrequency(REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFrequencyKey, 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    MachineValue value;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, kFrequencyName, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        status = ::RegQueryValueExW(key, kFrequencyName, nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void WriteFrequency(REGSAM view, const std::optional<MachineValue>& value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFrequencyKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        throw DriverError("cannot open the restore settings key");
    }
    if (value) {
        ::RegSetValueExW(key, kFrequencyName, 0, value->type, value->bytes.data(),
                         static_cast<DWORD>(value->bytes.size()));
    } else {
        ::RegDeleteValueW(key, kFrequencyName);
    }
    ::RegCloseKey(key);
}

const MachineValue kDword1440{REG_DWORD, {0xA0, 0x05, 0x00, 0x00}};

std::string StartLine(const std::string& commandLine) {
    return "Version 1.12.0 Command: [" + commandLine + "]";
}

// "Restore point error: " + a non-zero number, or "Restore point failed. Result: " + a number.
bool IsCreationFailureLine(const std::string& line) {
    const auto numberAfter = [&](const std::string& prefix, bool nonZero) {
        if (!line.starts_with(prefix)) return false;
        std::string number = line.substr(prefix.size());
        if (!number.empty() && number[0] == '-') number.erase(0, 1);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
        return !nonZero || number.find_first_not_of('0') != std::string::npos;
    };
    return numberAfter("Restore point error: ", true) || numberAfter("Restore point failed. Result: ", false);
}

class RestorePointTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        if (HasFatalFailure()) return;
        saved64_ = ReadFrequency(KEY_WOW64_64KEY);
        saved32_ = ReadFrequency(KEY_WOW64_32KEY);
        WriteFrequency(KEY_WOW64_64KEY, std::nullopt);
        WriteFrequency(KEY_WOW64_32KEY, std::nullopt);
        ASSERT_FALSE(Programs().standin.empty()) << "the stand-in's path was not given (--standin=)";
        // As a web page could drop it into the folder the helper runs from.
        CopyInto(Programs().standin, Folder(), L"shutdown.exe");
        StoreAuthorizedSession(kSession, LocalSecondsSince2024() + 600);
    }
    void TearDown() override {
        WriteFrequency(KEY_WOW64_64KEY, saved64_);
        WriteFrequency(KEY_WOW64_32KEY, saved32_);
        HelperTest::TearDown();
    }

    // The elevated instance's box over its status window: the status text it shows, the box
    // itself, and the process, answered with OK and awaited. With `shots`, screenshots of the
    // status window and of the box are kept as <shots>-status and <shots>-box.
    void ExpectBoxOverStatus(const std::string& status, const std::string& text, IconKind icon,
                             const char* shots = nullptr) {
        const auto box = WaitForDialogOfAnyProcess();
        auto elevated = ProcessOf(box.processId);
        const auto window = WaitForMainWindow(elevated);
        const ControlInfo* label = window.ControlWithText(status);
        EXPECT_NE(label, nullptr) << "the status window does not show \"" << status << "\"";
        ExpectMessageBox(box, "Kelto", text, icon, {IDOK});
        if (shots != nullptr) {
            SaveScreenshot(window.hwnd, std::string(shots) + "-status");
            SaveScreenshot(box.hwnd, std::string(shots) + "-box");
        }
        Answer(box, IDOK);
        EXPECT_EQ(WaitForExit(elevated), 0u);
    }

    // The first instance's consent (and, where asked, the restore question) answered Yes.
    void ApproveInFirstInstance(const Process& helper, bool restoreQuestion) {
        Answer(WaitForDialog(helper), IDYES);
        if (restoreQuestion) {
            const auto question = WaitForDialog(helper);
            EXPECT_EQ(question.title, kRestoreQuestionTitle);
            Answer(question, IDYES);
        }
        EXPECT_EQ(WaitForExit(helper), 0u);
    }

    std::optional<MachineValue> saved64_, saved32_;
};

struct CreationCase {
    const char* name;
    bool throughUrl;
    std::optional<MachineValue> before;
    friend void PrintTo(const CreationCase& c, std::ostream* os) { *os << c.name; }
};

class RestorePointCreationTest : public RestorePointTest,
                                 public ::testing::WithParamInterface<CreationCase> {};

// The action is not started, the box says why, the log ends in the creation's failure line,
// and the creation-frequency value is as it was in the native view and absent in the 32-bit one.
TEST_P(RestorePointCreationTest, WithoutARestorePointTheActionIsNotStarted) {
    const auto& c = GetParam();
    if (c.before) WriteFrequency(KEY_WOW64_64KEY, c.before);
    const std::string elevatedLine = "/elevated:flushdns::1:rp-1::0:0";
    if (c.throughUrl) {
        auto helper = StartHelper(L"\"kelto://flushdns/sid/rp-1\"");
        ApproveInFirstInstance(helper, true);
    } else {
        StartHelper(Widen(elevatedLine));
    }
    ExpectBoxOverStatus(kCreatingStatus, kNoPointCreated, IconKind::Exclamation,
                        c.throughUrl && !c.before ? "restore-point-not-created" : nullptr);
    WaitUntilAllEnded();

    EXPECT_THAT(Launches(), IsEmpty());
    const auto log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    // The first instance adds its account's SID; a hand-made line is logged as given.
    EXPECT_EQ(log[log.size() - 2],
              StartLine(c.throughUrl ? elevatedLine + ":" + OwnUserSid() : elevatedLine));
    EXPECT_TRUE(IsCreationFailureLine(log.back())) << log.back();
    EXPECT_EQ(ReadFrequency(KEY_WOW64_64KEY), c.before);
    EXPECT_EQ(ReadFrequency(KEY_WOW64_32KEY), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Roads, RestorePointCreationTest,
                         ::testing::Values(CreationCase{"UrlValueAbsent", true, std::nullopt},
                                           CreationCase{"UrlValue1440", true, kDword1440},
                                           CreationCase{"ElevatedLineValueAbsent", false, std::nullopt},
                                           CreationCase{"ElevatedLineValue1440", false, kDword1440}),
                         [](const auto& info) { return std::string(info.param.name); });

// Wine lists no restore points (or cannot list them): either the information box without a
// line of its own, or the failure box with its line. Never a restart.
TEST_F(RestorePointTest, RollbackWithoutAHelperMadePointRestartsNothing) {
    WriteFrequency(KEY_WOW64_64KEY, kDword1440);
    auto helper = StartHelper(L"\"kelto://restorelastkelto/sid/rp-1\"");
    ApproveInFirstInstance(helper, false);

    const auto box = WaitForDialogOfAnyProcess();
    auto elevated = ProcessOf(box.processId);
    const auto status = WaitForMainWindow(elevated);
    EXPECT_NE(status.ControlWithText(kRollbackStatus), nullptr);
    SaveScreenshot(status.hwnd, "restore-rollback-status");
    SaveScreenshot(box.hwnd, box.text == kNoHelperPoint ? "restore-no-helper-point" : "restore-cannot-start");
    const std::string elevatedLine = "/elevated:restorelastkelto::0:rp-1::0:0:" + OwnUserSid();
    const auto log = LogMessages();
    ASSERT_FALSE(log.empty());
    if (box.text == kNoHelperPoint) {
        ExpectMessageBox(box, "Kelto", kNoHelperPoint, IconKind::Information, {IDOK});
        EXPECT_EQ(log.back(), StartLine(elevatedLine));
    } else {
        ExpectMessageBox(box, "Kelto", kCannotStartRestore, IconKind::Exclamation, {IDOK});
        EXPECT_TRUE(log.back().starts_with("System restore failed: ")) << log.back();
    }
    std::printf("[ rollback ] Wine gives: %s / %s\n",
                box.text == kNoHelperPoint ? "no helper-made point" : "failure", log.back().c_str());
    Answer(box, IDOK);
    EXPECT_EQ(WaitForExit(elevated), 0u);
    WaitUntilAllEnded();
    EXPECT_THAT(Launches(), IsEmpty());
    EXPECT_EQ(ReadFrequency(KEY_WOW64_64KEY), kDword1440);
}

}  // namespace
}  // namespace kelto::e2e

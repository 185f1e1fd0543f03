#include "restore/restore_points.h"

#include <gtest/gtest.h>

#include "platform/session_end.h"
#include "support/fakes.h"

namespace kelto {
namespace {

using namespace platform::mb;
using platform::RawRegistryValue;
using testing::FakeSystem;

const std::string kFrequency =
    "HKLM\\SOFTWARE\\Microsoft\\Windows "
    "NT\\CurrentVersion\\SystemRestore\\SystemRestorePointCreationFrequency";
const std::string kRecord = "HKLM\\SOFTWARE\\KeltoRemote\\RestorePointFrequencyBefore";
// Under the lock: a record left by an interrupted run is looked for, the value read, what it
// was recorded, and the value held at 0.
const std::vector<std::string> kSuspended = {"read " + kRecord, "read " + kFrequency, "write " + kRecord,
                                             "write " + kFrequency};

// The value as Windows stores it: REG_DWORD 1440 and 0, REG_SZ "1440" in UTF-16LE.
const RawRegistryValue kDword1440{4, {0xA0, 0x05, 0x00, 0x00}};
const RawRegistryValue kDword0{4, {0x00, 0x00, 0x00, 0x00}};
const RawRegistryValue kText1440{1, {'1', 0, '4', 0, '4', 0, '0', 0, 0, 0}};

constexpr std::int32_t kUnexpected = -2147418113;         // E_UNEXPECTED, 0x8000FFFF
constexpr std::int32_t kInvalidParameters = -2147217361;  // WBEM_E_INVALID_METHOD_PARAMETERS
constexpr std::int32_t kServiceDisabled = 1058;

const std::string kCreateCall = "CreateRestorePoint Kelto Before flushdns 20261207-071530 0 100";

struct Before {
    const char* name;
    std::optional<RawRegistryValue> value;  // nothing: absent
};

struct Road {
    const char* name;
    std::int32_t bindError, enableError, createError, createResult;
    bool created;
    std::vector<std::string> calls;
    std::vector<std::string> log;
};

void PrintTo(const Before& before, std::ostream* os) { *os << before.name; }
void PrintTo(const Road& road, std::ostream* os) { *os << road.name; }

const Before kBefores[] = {{"Absent", std::nullopt}, {"Dword1440", kDword1440}, {"Text1440", kText1440}};

const Road kRoads[] = {
    {"Created",
     0,
     0,
     0,
     0,
     true,
     {"Bind", "Enable C:\\", kCreateCall},
     {"Restore point created: Kelto Before flushdns 20261207-071530"}},
    {"NonZeroResult",
     0,
     0,
     0,
     kServiceDisabled,
     false,
     {"Bind", "Enable C:\\", kCreateCall},
     {"Restore point failed. Result: 1058"}},
    {"BindingFails", kUnexpected, 0, 0, 0, false, {"Bind"}, {"Restore point error: -2147418113"}},
    {"EnableFailsAloneAndCreationIsStillTried",
     0,
     kInvalidParameters,
     0,
     0,
     true,
     {"Bind", "Enable C:\\", kCreateCall},
     {"Restore point created: Kelto Before flushdns 20261207-071530"}},
    {"CreationRaises",
     0,
     0,
     kUnexpected,
     0,
     false,
     {"Bind", "Enable C:\\", kCreateCall},
     {"Restore point error: -2147418113"}},
};

class CreateRestorePoint : public ::testing::TestWithParam<std::tuple<Before, Road>> {};

TEST_P(CreateRestorePoint, LogsItsOutcomeAndLeavesTheFrequencyValueAsItWas) {
    const auto& [before, road] = GetParam();
    FakeSystem f;
    f.environment.variables["SystemDrive"] = "C:";
    f.clock.local = {2026, 12, 7, 7, 15, 30};
    if (before.value) {
        ASSERT_TRUE(f.registry.WriteRaw(kFrequency, *before.value).Ok());
    }
    f.registry.log.clear();
    f.systemRestore.bindError = road.bindError;
    f.systemRestore.enableError = road.enableError;
    f.systemRestore.enableResult = road.enableError ? 0 : 1;  // a refused Enable is ignored as well
    f.systemRestore.createError = road.createError;
    f.systemRestore.createResult = road.createResult;

    std::vector<std::string> registryAtEnable, registryAtCreate, registryAtAcquire, registryAtRelease;
    f.restoreLock.onCall = [&](const std::string& call) {
        (call == "acquire" ? registryAtAcquire : registryAtRelease) = f.registry.log;
    };
    RawRegistryValue valueAtCreate;
    f.systemRestore.onCall = [&](const std::string& call) {
        if (call.starts_with("Enable")) registryAtEnable = f.registry.log;
        if (call.starts_with("CreateRestorePoint")) {
            registryAtCreate = f.registry.log;
            f.registry.ReadRaw(kFrequency, valueAtCreate);
            f.registry.log.pop_back();
        }
    };

    EXPECT_EQ(restore::CreateActionRestorePoint(f.context, "flushdns"), road.created);

    EXPECT_EQ(f.systemRestore.calls, road.calls);
    EXPECT_EQ(f.LogMessages(), road.log);
    EXPECT_TRUE(f.dialogs.boxes.empty());
    EXPECT_TRUE(registryAtEnable.empty()) << "the value is touched only around the creation";
    const bool creationCalled = road.calls.size() == 3;
    if (!creationCalled) {
        EXPECT_TRUE(f.registry.log.empty()) << "nothing was suspended, so nothing is resumed";
    } else {
        EXPECT_EQ(registryAtCreate, kSuspended);
        EXPECT_EQ(valueAtCreate, kDword0);
        std::vector<std::string> whole = kSuspended;
        whole.push_back((before.value ? "write " : "delete ") + kFrequency);
        whole.push_back("delete " + kRecord);
        EXPECT_EQ(f.registry.log, whole);
        // The machine-wide lock is held from before the read until after the value is back.
        EXPECT_EQ(f.restoreLock.calls, (std::vector<std::string>{"acquire", "release"}));
        EXPECT_EQ(f.restoreLock.waits, std::vector<std::uint32_t>{300000});
        EXPECT_TRUE(registryAtAcquire.empty());
        EXPECT_EQ(registryAtRelease, whole);
        EXPECT_FALSE(f.restoreLock.Held());
    }
    RawRegistryValue after;
    const auto read = f.registry.ReadRaw(kFrequency, after);
    if (before.value) {
        ASSERT_TRUE(read.Ok());
        EXPECT_EQ(after, *before.value);
    } else {
        EXPECT_EQ(read.status, platform::ReadStatus::Absent);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CreateRestorePoint,
                         ::testing::Combine(::testing::ValuesIn(kBefores), ::testing::ValuesIn(kRoads)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(RestorePointDescription, UsesTheLocalTimeOnTheTwentyFourHourClock) {
    const std::pair<platform::DateTime, std::string> rows[] = {
        {{2026, 12, 6, 23, 59, 59}, "Restore point created: Kelto Before flushdns 20261206-235959"},
        {{2026, 12, 7, 0, 0, 5}, "Restore point created: Kelto Before flushdns 20261207-000005"},
        {{2026, 1, 2, 13, 4, 9}, "Restore point created: Kelto Before flushdns 20260102-130409"},
    };
    for (const auto& [local, line] : rows) {
        FakeSystem f;
        f.clock.local = local;
        ASSERT_TRUE(restore::CreateActionRestorePoint(f.context, "flushdns"));
        EXPECT_EQ(f.LogMessages(), std::vector<std::string>{line});
    }
}

TEST(RestoreFrequency, AValueTheSystemRefusesToReadCountsAsAbsent) {
    FakeSystem f;
    ASSERT_TRUE(f.registry.WriteRaw(kFrequency, kDword1440).Ok());
    f.registry.FailReads(kFrequency, 5);
    restore::SavedFrequency saved;
    restore::SuspendRestoreFrequency(f.context, saved);
    EXPECT_FALSE(saved.existed);
    restore::ResumeRestoreFrequency(f.context, saved);
    EXPECT_FALSE(f.registry.HasValue(kFrequency));
}

TEST(RestoreFrequency, AFailedSuspensionStillTriesTheCreationAndPutsBackWhatWasThere) {
    FakeSystem f;
    ASSERT_TRUE(f.registry.WriteRaw(kFrequency, kText1440).Ok());
    f.registry.failWritesAfter = 1;  // the value itself cannot be written
    EXPECT_TRUE(restore::CreateActionRestorePoint(f.context, "ipconfig"));
    RawRegistryValue after;
    ASSERT_TRUE(f.registry.ReadRaw(kFrequency, after).Ok());
    EXPECT_EQ(after, kText1440);
}

// ---- a run ended while it held the value at 0 ----

// The record, as REG_BINARY bytes: 0 for an absent value; 1, the type (four bytes, least
// significant first), the value's bytes.
TEST(FrequencyRecord, KeepsPresenceTypeAndBytes) {
    const std::pair<restore::SavedFrequency, RawRegistryValue> rows[] = {
        {{false, {}}, {3, {0}}},
        {{true, kDword1440}, {3, {1, 4, 0, 0, 0, 0xA0, 0x05, 0x00, 0x00}}},
        {{true, kText1440}, {3, {1, 1, 0, 0, 0, '1', 0, '4', 0, '4', 0, '0', 0, 0, 0}}},
        {{true, {0x12345678, {}}}, {3, {1, 0x78, 0x56, 0x34, 0x12}}},
    };
    for (const auto& [saved, record] : rows) {
        EXPECT_EQ(restore::EncodeFrequencyRecord(saved), record);
        EXPECT_EQ(restore::DecodeFrequencyRecord(record), saved);
    }
}

struct Interruption {
    const char* name;
    std::optional<RawRegistryValue> original;  // nothing: absent
    bool lockLeftBehind;                       // the ended run still held the lock (WAIT_ABANDONED)
};

void PrintTo(const Interruption& c, std::ostream* os) { *os << c.name; }

class InterruptedRun : public ::testing::TestWithParam<Interruption> {};

// The first run was ended while the creation ran (sign-out, Task Manager, a crash): the value
// stayed 0 and its record stayed. The next run first puts the original back from the record,
// so what it records and puts back afterwards is the original, never that 0.
TEST_P(InterruptedRun, TheNextRunPutsTheOriginalBackFirst) {
    const Interruption& c = GetParam();
    FakeSystem ended, next;
    next.restoreLock.machine = ended.restoreLock.machine;
    // The machine registry is one for both processes.
    platform::System nextSystem{ended.registry, next.shell,   next.clock,      next.environment,
                                next.files,     next.process, next.children,   next.systemRestore,
                                next.http,      next.dialogs, next.restoreLock, next.boot};
    intake::Context nextContext{nextSystem, next.request, next.mainWindow};
    if (c.original) {
        ASSERT_TRUE(ended.registry.WriteRaw(kFrequency, *c.original).Ok());
    }
    if (c.lockLeftBehind) {
        ASSERT_TRUE(ended.restoreLock.Acquire(300000).Ok());
        ended.restoreLock.machine->holderEnded = true;
    }
    restore::SavedFrequency lost;
    restore::SuspendRestoreFrequency(ended.context, lost);  // and then the process was gone
    RawRegistryValue value;
    ASSERT_TRUE(ended.registry.ReadRaw(kFrequency, value).Ok());
    ASSERT_EQ(value, kDword0);

    RawRegistryValue valueAtCreate, recordAtCreate;
    next.systemRestore.onCall = [&](const std::string& call) {
        if (!call.starts_with("CreateRestorePoint")) return;
        ended.registry.ReadRaw(kFrequency, valueAtCreate);
        ended.registry.ReadRaw(kRecord, recordAtCreate);
    };
    EXPECT_TRUE(restore::CreateActionRestorePoint(nextContext, "flushdns"));

    EXPECT_EQ(next.LogMessages(),
              (std::vector<std::string>{"Restore point frequency put back after an interrupted run",
                                        "Restore point created: Kelto Before flushdns 20261210-140000"}));
    EXPECT_EQ(valueAtCreate, kDword0);
    EXPECT_EQ(restore::DecodeFrequencyRecord(recordAtCreate),
              (restore::SavedFrequency{c.original.has_value(), c.original.value_or(RawRegistryValue{})}));
    const auto read = ended.registry.ReadRaw(kFrequency, value);
    if (c.original) {
        ASSERT_TRUE(read.Ok());
        EXPECT_EQ(value, *c.original);
    } else {
        EXPECT_EQ(read.status, platform::ReadStatus::Absent);
    }
    EXPECT_FALSE(ended.registry.HasValue(kRecord));
}

INSTANTIATE_TEST_SUITE_P(Table, InterruptedRun,
                         ::testing::Values(Interruption{"Absent", std::nullopt, false},
                                           Interruption{"Dword1440", kDword1440, false},
                                           Interruption{"AbsentLockLeftBehind", std::nullopt, true},
                                           Interruption{"Dword1440LockLeftBehind", kDword1440, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A record that cannot be read as one is removed and logged; what it holds never reaches the
// value, which this run then records and puts back as it finds it.
TEST(InterruptedRunRecord, AMalformedRecordIsRemovedAndNeverWrittenIntoTheValue) {
    const std::pair<const char*, RawRegistryValue> records[] = {
        {"text", {1, {'1', 0, 0, 0}}},
        {"dword", {4, {0, 0, 0, 0}}},
        {"empty", {3, {}}},
        {"unknown first byte", {3, {2, 4, 0, 0, 0}}},
        {"absent with more", {3, {0, 0}}},
        {"type cut short", {3, {1, 4, 0, 0}}},
    };
    for (const auto& [name, record] : records) {
        SCOPED_TRACE(name);
        FakeSystem f;
        ASSERT_TRUE(f.registry.WriteRaw(kFrequency, kText1440).Ok());
        ASSERT_TRUE(f.registry.WriteRaw(kRecord, record).Ok());
        EXPECT_FALSE(restore::DecodeFrequencyRecord(record).has_value());
        EXPECT_TRUE(restore::CreateActionRestorePoint(f.context, "flushdns"));
        EXPECT_EQ(f.LogMessages(),
                  (std::vector<std::string>{"Restore point frequency record removed: malformed",
                                            "Restore point created: Kelto Before flushdns 20261210-140000"}));
        RawRegistryValue value;
        ASSERT_TRUE(f.registry.ReadRaw(kFrequency, value).Ok());
        EXPECT_EQ(value, kText1440);
        EXPECT_FALSE(f.registry.HasValue(kRecord));
    }
}

// The session ends while the creation runs: the value is back (and its record gone) by the time
// the windows have answered WM_ENDSESSION, after which Windows may end the process at once.
TEST(RestoreFrequency, TheValueIsBackBeforeTheSessionEnds) {
    FakeSystem f;
    ASSERT_TRUE(f.registry.WriteRaw(kFrequency, kDword1440).Ok());
    RawRegistryValue valueAfterEnd;
    bool recordAfterEnd = true;
    f.systemRestore.onCall = [&](const std::string& call) {
        if (!call.starts_with("CreateRestorePoint")) return;
        platform::RunSessionEndDuties();
        f.registry.ReadRaw(kFrequency, valueAfterEnd);
        recordAfterEnd = f.registry.HasValue(kRecord);
    };
    EXPECT_TRUE(restore::CreateActionRestorePoint(f.context, "flushdns"));
    EXPECT_EQ(valueAfterEnd, kDword1440);
    EXPECT_FALSE(recordAfterEnd);
    // Put back once; and no duty is left behind once the creation is over.
    f.registry.log.clear();
    platform::RunSessionEndDuties();
    EXPECT_TRUE(f.registry.log.empty());
    RawRegistryValue after;
    ASSERT_TRUE(f.registry.ReadRaw(kFrequency, after).Ok());
    EXPECT_EQ(after, kDword1440);
}

// Where no record can be kept, the value is never held at 0: a run ended then would leave
// nothing to put it back from.
TEST(RestoreFrequency, WithoutARecordTheValueIsNotTouched) {
    FakeSystem f;
    ASSERT_TRUE(f.registry.WriteRaw(kFrequency, kDword1440).Ok());
    f.registry.failWritesAfter = 1;
    f.registry.log.clear();
    EXPECT_TRUE(restore::CreateActionRestorePoint(f.context, "flushdns"));
    for (const auto& entry : f.registry.log) EXPECT_NE(entry, "write " + kFrequency);
}

// Two elevated instances that create restore points at the same moment. The second starts
// while the first holds the value at 0: it must wait, never read that 0 as the value found.
// Here it cannot have the lock in time (its 5-minute bound runs out), so it goes on without
// a point, logged as a failed creation, and the value stays the first one's business.
TEST(RestoreLock, ASecondInstanceNeverSavesTheFirstOnesZero) {
    FakeSystem first, second;
    second.restoreLock.machine = first.restoreLock.machine;
    // The machine registry is one for both processes.
    platform::System secondSystem{first.registry, second.shell,   second.clock,      second.environment,
                                  second.files,   second.process, second.children,   second.systemRestore,
                                  second.http,    second.dialogs, second.restoreLock, second.boot};
    intake::Context secondContext{secondSystem, second.request, second.mainWindow};
    ASSERT_TRUE(first.registry.WriteRaw(kFrequency, kDword1440).Ok());
    first.registry.log.clear();

    std::optional<bool> secondCreated;
    std::vector<std::string> registryBySecond;
    first.systemRestore.onCall = [&](const std::string& call) {
        if (!call.starts_with("CreateRestorePoint")) return;
        const std::size_t before = first.registry.log.size();
        secondCreated = restore::CreateActionRestorePoint(secondContext, "ipconfig");
        registryBySecond.assign(first.registry.log.begin() + static_cast<std::ptrdiff_t>(before),
                                first.registry.log.end());
    };
    EXPECT_TRUE(restore::CreateActionRestorePoint(first.context, "flushdns"));

    ASSERT_TRUE(secondCreated.has_value());
    EXPECT_FALSE(*secondCreated);
    EXPECT_TRUE(registryBySecond.empty()) << "the second instance touched the value: " << registryBySecond[0];
    EXPECT_EQ(second.restoreLock.waits, std::vector<std::uint32_t>{300000});
    EXPECT_EQ(second.LogMessages(), std::vector<std::string>{"Restore point error: 258"});
    EXPECT_EQ(second.systemRestore.calls, (std::vector<std::string>{"Bind", "Enable \\"}));
    RawRegistryValue after;
    ASSERT_TRUE(first.registry.ReadRaw(kFrequency, after).Ok());
    EXPECT_EQ(after, kDword1440);
    // Once the first has put the value back and let go, the next instance gets the lock.
    EXPECT_TRUE(restore::CreateActionRestorePoint(secondContext, "ipconfig"));
    ASSERT_TRUE(first.registry.ReadRaw(kFrequency, after).Ok());
    EXPECT_EQ(after, kDword1440);
}

// A holder that ended without letting go (WAIT_ABANDONED) leaves the lock to the next.
TEST(RestoreLock, ALockItsHolderLeftBehindIsTaken) {
    FakeSystem ended, next;
    next.restoreLock.machine = ended.restoreLock.machine;
    ASSERT_TRUE(ended.restoreLock.Acquire(300000).Ok());
    ended.restoreLock.machine->holderEnded = true;
    EXPECT_TRUE(restore::CreateActionRestorePoint(next.context, "flushdns"));
    EXPECT_EQ(next.LogMessages(),
              std::vector<std::string>{"Restore point created: Kelto Before flushdns 20261210-140000"});
}

// Without the lock (the namespace cannot be opened) there is no point and the value is not
// touched.
TEST(RestoreLock, ALockThatCannotBeHadMeansNoRestorePoint) {
    FakeSystem f;
    f.restoreLock.openError = 5;
    ASSERT_TRUE(f.registry.WriteRaw(kFrequency, kDword1440).Ok());
    f.registry.log.clear();
    EXPECT_FALSE(restore::CreateActionRestorePoint(f.context, "flushdns"));
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"Restore point error: 5"});
    EXPECT_TRUE(f.registry.log.empty());
    EXPECT_EQ(f.systemRestore.calls, (std::vector<std::string>{"Bind", "Enable \\"}));
}

// Rollback

const std::string kNoPoint = "לא נמצאה נקודת שחזור שנוצרה על ידי Kelto.";
const std::string kQuestion = "המחשב ישוחזר לנקודת Kelto האחרונה ויופעל מחדש.\r\nלהמשיך?";
const std::string kQuestionTitle = "Kelto - שחזור מערכת";
const std::string kCannotStart = "לא ניתן היה להתחיל את שחזור המערכת.";

struct Rollback : ::testing::Test {
    FakeSystem f;
    void SetUp() override {
        f.environment.variables["SystemRoot"] = "C:\\Windows";
        f.files.AddFile("C:\\Windows\\Sysnative\\shutdown.exe");
        f.files.AddFile("C:\\Windows\\System32\\shutdown.exe");
        f.files.AddFile("C:\\Program Files\\Kelto\\shutdown.exe");  // planted beside the helper
        f.dialogs.answers = {kIdYes};
    }
    void ExpectRestartAsked(const std::string& file) {
        ASSERT_EQ(f.shell.calls.size(), 1u);
        const auto& call = f.shell.calls[0];
        EXPECT_EQ(call.owner, 0x1234u);
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.file, file);
        EXPECT_EQ(call.parameters, "/r /t 15 /c \"Kelto System Restore\"");
        EXPECT_EQ(call.directory, "C:\\Program Files\\Kelto");
        EXPECT_EQ(call.showMode, 0);
    }
    void ExpectQuestionOnly() {
        ASSERT_EQ(f.dialogs.boxes.size(), 1u);
        EXPECT_EQ(f.dialogs.boxes[0].text, kQuestion);
        EXPECT_EQ(f.dialogs.boxes[0].title, kQuestionTitle);
        EXPECT_EQ(f.dialogs.boxes[0].flags, kYesNo | kIconExclamation | kDefButton1);
        EXPECT_EQ(f.dialogs.boxes[0].owner, 0x1234u);
    }
};

struct ChoiceCase {
    const char* name;
    std::vector<platform::RestorePointInfo> points;
    std::string restoreCall, line;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class RollbackChoice : public Rollback, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(RollbackChoice, RestoresTheNewestHelperMadePointAndAsksForTheRestart) {
    f.systemRestore.points = GetParam().points;
    restore::RollBackToLastPoint(f.context);
    EXPECT_EQ(f.systemRestore.calls, (std::vector<std::string>{"Enumerate", GetParam().restoreCall}));
    ExpectQuestionOnly();
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{GetParam().line});
    ExpectRestartAsked("C:\\Windows\\Sysnative\\shutdown.exe");
}

INSTANTIATE_TEST_SUITE_P(Table, RollbackChoice,
                         ::testing::Values(ChoiceCase{"LargerSecond",
                                                      {{"Kelto Before ipconfig 20261207-071530", 5},
                                                       {"Kelto Before flushdns 20261101-090000", 9}},
                                                      "Restore 9",
                                                      "System restore started. Sequence: 9"},
                                           ChoiceCase{"LargerFirst",
                                                      {{"Kelto Before flushdns 20261101-090000", 9},
                                                       {"Kelto Before ipconfig 20261207-071530", 5}},
                                                      "Restore 9",
                                                      "System restore started. Sequence: 9"},
                                           ChoiceCase{"OthersSkipped",
                                                      {{"kelto before flushdns 20261207-071530", 12},
                                                       {"", 20},
                                                       {"Windows Update", 15},
                                                       // another program's point whose number
                                                       // cannot be read (type mismatch)
                                                       {"Installed Something", 0, -2147217403},
                                                       {"Kelto Before", 30},
                                                       {" Kelto Before ipconfig 20261207-071530", 31},
                                                       {"Kelto Before dhcprenew 20261207-071530", 3}},
                                                      "Restore 3",
                                                      "System restore started. Sequence: 3"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Rollback, WithoutAHelperMadePointSaysSoAndDoesNothingElse) {
    const std::vector<std::vector<platform::RestorePointInfo>> sets = {
        {}, {{"kelto before flushdns 20261207-071530", 12}, {"", 20}, {"Installed Kelto", 4}}};
    for (const auto& points : sets) {
        FakeSystem g;
        g.systemRestore.points = points;
        g.dialogs.answers = {kIdYes};
        restore::RollBackToLastPoint(g.context);
        ASSERT_EQ(g.dialogs.boxes.size(), 1u);
        EXPECT_EQ(g.dialogs.boxes[0].text, kNoPoint);
        EXPECT_EQ(g.dialogs.boxes[0].title, "Kelto");
        EXPECT_EQ(g.dialogs.boxes[0].flags, kOk | kIconInformation);
        EXPECT_EQ(g.systemRestore.calls, std::vector<std::string>{"Enumerate"});
        EXPECT_TRUE(g.LogLines().empty());
        EXPECT_TRUE(g.shell.calls.empty());
    }
}

TEST_F(Rollback, AnythingButYesEndsSilently) {
    for (const int answer : {kIdNo, kIdCancel, 0}) {
        FakeSystem g;
        g.systemRestore.points = {{"Kelto Before flushdns 20261207-071530", 7}};
        g.dialogs.answers = {answer};
        restore::RollBackToLastPoint(g.context);
        ASSERT_EQ(g.dialogs.boxes.size(), 1u) << answer;
        EXPECT_EQ(g.dialogs.boxes[0].text, kQuestion);
        EXPECT_EQ(g.systemRestore.calls, std::vector<std::string>{"Enumerate"});
        EXPECT_TRUE(g.LogLines().empty());
        EXPECT_TRUE(g.shell.calls.empty());
    }
}

struct FailureCase {
    const char* name;
    std::int32_t enumerateError, restoreError, restoreResult;
    bool asked;
    std::string line;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class RollbackFailure : public Rollback, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RollbackFailure, LogsTheNumberAndSaysTheRestoreCouldNotStart) {
    const auto& c = GetParam();
    f.systemRestore.points = {{"Kelto Before flushdns 20261207-071530", 7}};
    f.systemRestore.enumerateError = c.enumerateError;
    f.systemRestore.restoreError = c.restoreError;
    f.systemRestore.restoreResult = c.restoreResult;
    restore::RollBackToLastPoint(f.context);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{c.line});
    ASSERT_EQ(f.dialogs.boxes.size(), c.asked ? 2u : 1u);
    const auto& box = f.dialogs.boxes.back();
    EXPECT_EQ(box.text, kCannotStart);
    EXPECT_EQ(box.title, "Kelto");
    EXPECT_EQ(box.flags, kOk | kIconExclamation);
    EXPECT_TRUE(f.shell.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, RollbackFailure,
                         ::testing::Values(FailureCase{"QueryFails", kUnexpected, 0, 0, false,
                                                       "System restore failed: -2147418113"},
                                           FailureCase{"RestoreRaises", 0, kInvalidParameters, 0, true,
                                                       "System restore failed: -2147217361"},
                                           FailureCase{"RestoreRefuses", 0, 0, kServiceDisabled, true,
                                                       "System restore failed: 1058"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A point of the helper's whose number cannot be read fails the rollback as the query would;
// it is never passed over for an older one.
TEST_F(Rollback, AnUnreadableNumberOnAHelperPointFailsTheRollback) {
    f.systemRestore.points = {{"Kelto Before flushdns 20261101-090000", 5},
                              {"Kelto Before ipconfig 20261207-071530", 0, -2147217403}};
    restore::RollBackToLastPoint(f.context);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"System restore failed: -2147217403"});
    ASSERT_EQ(f.dialogs.boxes.size(), 1u);
    EXPECT_EQ(f.dialogs.boxes[0].text, kCannotStart);
    EXPECT_EQ(f.systemRestore.calls, std::vector<std::string>{"Enumerate"});
    EXPECT_TRUE(f.shell.calls.empty());
}

TEST_F(Rollback, OnThirtyTwoBitWindowsTheRestartComesFromSystem32) {
    f.files.entries.erase("C:\\Windows\\Sysnative\\shutdown.exe");
    f.systemRestore.points = {{"Kelto Before flushdns 20261207-071530", 7}};
    restore::RollBackToLastPoint(f.context);
    ExpectRestartAsked("C:\\Windows\\System32\\shutdown.exe");
}

TEST_F(Rollback, AShutdownFoundInNoSystemFolderIsNeverStartedByItsBareName) {
    f.files.entries.erase("C:\\Windows\\Sysnative\\shutdown.exe");
    f.files.entries.erase("C:\\Windows\\System32\\shutdown.exe");
    f.environment.variables["PATH"] = ".;C:\\Program Files\\Kelto";  // only the planted copy is there
    f.systemRestore.points = {{"Kelto Before flushdns 20261207-071530", 7}};
    restore::RollBackToLastPoint(f.context);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"System restore started. Sequence: 7"});
    EXPECT_TRUE(f.shell.calls.empty());
}

// A PATH folder may be the customer's own (a user PATH entry): the restart is asked of
// System32's shutdown.exe or of none, never of a copy found there.
TEST_F(Rollback, AShutdownOnlyOnPathIsNeverStarted) {
    f.files.entries.erase("C:\\Windows\\Sysnative\\shutdown.exe");
    f.files.entries.erase("C:\\Windows\\System32\\shutdown.exe");
    f.files.AddFile("C:\\Users\\customer\\Tools\\shutdown.exe");
    f.environment.variables["PATH"] = "C:\\Windows\\System32;C:\\Users\\customer\\Tools";
    f.systemRestore.points = {{"Kelto Before flushdns 20261207-071530", 7}};
    restore::RollBackToLastPoint(f.context);
    EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"System restore started. Sequence: 7"});
    EXPECT_TRUE(f.shell.calls.empty());
}

}  // namespace
}  // namespace kelto

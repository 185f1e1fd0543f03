#include "restore/restore_points.h"

#include <cstdio>

#include "base/command_line.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/registry_names.h"
#include "intake/system_folders.h"
#include "platform/session_end.h"

namespace kelto::restore {

namespace {
using namespace platform::mb;

// The documented arguments of SystemRestore.CreateRestorePoint.
constexpr std::int32_t kApplicationInstall = 0;
constexpr std::int32_t kBeginSystemChange = 100;

// Two elevated instances may create restore points at the same moment (a double click on the
// support page). Without the lock the second could save the first one's 0 as the value found
// and put that back, and the creation limit would stay off for good. A second instance
// waits this long for the first, its status window answering meanwhile.
constexpr std::uint32_t kRestoreLockWaitMs = 5 * 60 * 1000;

// Gives the machine-wide lock back when it goes, on every way out.
class HeldLock {
public:
    explicit HeldLock(platform::MachineLock& lock) : lock_(lock) {}
    ~HeldLock() { lock_.Release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    platform::MachineLock& lock_;
};

// Holds the creation-frequency value at 0 for as long as it lives, and puts it back on
// every way out, also when the session ends in the middle (Windows may end the process any
// time after its windows have answered WM_ENDSESSION).
class FrequencySuspension {
public:
    explicit FrequencySuspension(intake::Context& context)
        : context_(context), atSessionEnd_([this] { ResumeRestoreFrequency(context_, saved_); }) {
        SuspendRestoreFrequency(context_, saved_);
    }
    ~FrequencySuspension() { ResumeRestoreFrequency(context_, saved_); }
    FrequencySuspension(const FrequencySuspension&) = delete;
    FrequencySuspension& operator=(const FrequencySuspension&) = delete;

private:
    intake::Context& context_;
    SavedFrequency saved_;
    platform::SessionEndDuty atSessionEnd_;
};

// A record's first byte.
constexpr std::uint8_t kRecordAbsent = 0;
constexpr std::uint8_t kRecordPresent = 1;
constexpr std::size_t kRecordHeader = 5;  // the first byte and the type
// Far above any creation-frequency value; a longer record is no record of one.
constexpr std::size_t kRecordMaxValueBytes = 4096;

void Log(intake::Context& context, const std::string& line) { intake::WriteLog(context.system, line); }

using intake::ShowBox;

// The newest restore point whose description carries the helper's prefix; 0 when none.
std::int32_t NewestHelperPoint(const std::vector<platform::RestorePointInfo>& points) {
    std::int32_t best = 0;
    for (const auto& point : points) {
        if (point.description.starts_with(kRestorePointPrefix) && point.sequenceNumber > best) {
            best = point.sequenceNumber;
        }
    }
    return best;
}

void RestoreFailed(intake::Context& context, std::int32_t number) {
    Log(context, "System restore failed: " + std::to_string(number));
    ShowBox(context, "לא ניתן היה להתחיל את שחזור המערכת.", "Kelto", kOk | kIconExclamation);
}

// Asks Windows to restart in 15 seconds, which applies the started restore. shutdown.exe
// goes to the shell by its full path from the system folders alone: a bare name would be
// looked up in the helper's own folder first, where anything downloaded beside it could
// answer, and a PATH folder may belong to the customer's account. Missing from the system
// folders (a damaged system), the restart is not asked for; its result was never checked
// either.
void ScheduleRestart(intake::Context& context) {
    auto& system = context.system;
    const intake::LaunchTarget shutdown = intake::ResolveSystemProgram(system, "shutdown.exe");
    if (!shutdown.found) return;
    system.shell.Execute(context.window.Owner(), "open", shutdown.file,
                         "/r /t 15 /c \"Kelto System Restore\"", base::GetOwnFolder(system.process),
                         platform::kShowHidden, platform::ShellFailureBox::Shell);
}
}  // namespace

std::string RestorePointDescription(const std::string& actionKey, const platform::DateTime& t) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return kRestorePointPrefix + actionKey + " " + stamp;
}

platform::RawRegistryValue EncodeFrequencyRecord(const SavedFrequency& saved) {
    platform::RawRegistryValue record{platform::regtype::kBinary, {}};
    if (!saved.existed) {
        record.bytes = {kRecordAbsent};
        return record;
    }
    record.bytes = {kRecordPresent};
    for (int shift = 0; shift < 32; shift += 8)
        record.bytes.push_back(static_cast<std::uint8_t>(saved.value.type >> shift));
    record.bytes.insert(record.bytes.end(), saved.value.bytes.begin(), saved.value.bytes.end());
    return record;
}

std::optional<SavedFrequency> DecodeFrequencyRecord(const platform::RawRegistryValue& record) {
    const auto& bytes = record.bytes;
    if (record.type != platform::regtype::kBinary || bytes.empty()) return std::nullopt;
    SavedFrequency saved;
    if (bytes[0] == kRecordAbsent) {
        if (bytes.size() != 1) return std::nullopt;
        return saved;
    }
    if (bytes[0] != kRecordPresent || bytes.size() < kRecordHeader ||
        bytes.size() - kRecordHeader > kRecordMaxValueBytes)
        return std::nullopt;
    saved.existed = true;
    for (int i = 0; i < 4; ++i) saved.value.type |= static_cast<std::uint32_t>(bytes[1 + i]) << (8 * i);
    saved.value.bytes.assign(bytes.begin() + kRecordHeader, bytes.end());
    return saved;
}

void SuspendRestoreFrequency(intake::Context& context, SavedFrequency& saved) {
    auto& registry = context.system.registry;
    saved = {};
    // Any type is kept as it is stored. A value the system refuses to read counts as absent:
    // it cannot be put back, and without it Windows applies its own default limit.
    saved.existed = registry.ReadRaw(registry_names::kRestorePointFrequencyValue, saved.value).Ok();
    if (saved.existed && saved.value.bytes.size() > kRecordMaxValueBytes) saved.existed = false;
    // Recorded first: a run ended while the value is 0 leaves what it was for the next run.
    // Where no record can be kept, the value is not touched.
    if (!registry.WriteRaw(registry_names::kRestorePointFrequencyRecordValue, EncodeFrequencyRecord(saved)).Ok())
        return;
    saved.suspended = true;
    registry.WriteDword(registry_names::kRestorePointFrequencyValue, 0);
}

void ResumeRestoreFrequency(intake::Context& context, SavedFrequency& saved) {
    if (!saved.suspended) return;
    saved.suspended = false;
    auto& registry = context.system.registry;
    if (saved.existed) {
        registry.WriteRaw(registry_names::kRestorePointFrequencyValue, saved.value);
    } else {
        registry.Delete(registry_names::kRestorePointFrequencyValue);
    }
    registry.Delete(registry_names::kRestorePointFrequencyRecordValue);
}

void PutBackInterruptedSuspension(intake::Context& context) {
    auto& registry = context.system.registry;
    platform::RawRegistryValue record;
    if (!registry.ReadRaw(registry_names::kRestorePointFrequencyRecordValue, record).Ok()) return;
    std::optional<SavedFrequency> saved = DecodeFrequencyRecord(record);
    if (!saved) {
        // Never written into the value: what it would hold is not known.
        registry.Delete(registry_names::kRestorePointFrequencyRecordValue);
        Log(context, kMalformedRecordLog);
        return;
    }
    saved->suspended = true;
    ResumeRestoreFrequency(context, *saved);
    Log(context, kFrequencyPutBackLog);
}

bool CreateActionRestorePoint(intake::Context& context, const std::string& actionKey) {
    auto& systemRestore = context.system.systemRestore;
    // Everything that may fail or hang before the creation runs before the value is touched:
    // a process ended in between must not leave the limit suspended.
    if (const std::int32_t error = systemRestore.Bind(); error != 0) {
        Log(context, "Restore point error: " + std::to_string(error));
        return false;
    }
    std::int32_t enableResult = 0;
    // Creation is tried whether or not protection could be switched on.
    systemRestore.Enable(context.system.environment.Get("SystemDrive") + "\\", enableResult);
    const std::string description = RestorePointDescription(actionKey, context.system.clock.LocalNow());

    // From the read of the frequency value until it is put back, no other instance touches
    // it. Not had in time (or not at all), there is no restore point, as for any failed
    // creation.
    if (const platform::Outcome held = context.system.restoreLock.Acquire(kRestoreLockWaitMs); !held.Ok()) {
        Log(context, "Restore point error: " + std::to_string(held.error));
        return false;
    }
    std::int32_t result = 0;
    std::int32_t error = 0;
    {
        HeldLock lock(context.system.restoreLock);
        // A run before this one may have been ended while it held the value at 0 (the session
        // ended, the process was ended): its record says what the value was.
        PutBackInterruptedSuspension(context);
        FrequencySuspension suspension(context);
        error =
            systemRestore.CreateRestorePoint(description, kApplicationInstall, kBeginSystemChange, result);
    }
    if (error != 0) {
        Log(context, "Restore point error: " + std::to_string(error));
        return false;
    }
    if (result != 0) {
        Log(context, "Restore point failed. Result: " + std::to_string(result));
        return false;
    }
    Log(context, "Restore point created: " + description);
    return true;
}

void RollBackToLastPoint(intake::Context& context) {
    auto& systemRestore = context.system.systemRestore;
    std::vector<platform::RestorePointInfo> points;
    if (const std::int32_t error = systemRestore.Enumerate(points); error != 0) {
        RestoreFailed(context, error);
        return;
    }
    // Only the helper's own points need their number; another program's odd point is skipped.
    for (const auto& point : points) {
        if (point.description.starts_with(kRestorePointPrefix) && point.sequenceError != 0) {
            RestoreFailed(context, point.sequenceError);
            return;
        }
    }
    const std::int32_t best = NewestHelperPoint(points);
    if (best == 0) {
        ShowBox(context, "לא נמצאה נקודת שחזור שנוצרה על ידי Kelto.", "Kelto", kOk | kIconInformation);
        return;
    }
    const int answer = ShowBox(context, "המחשב ישוחזר לנקודת Kelto האחרונה ויופעל מחדש.\r\nלהמשיך?",
                               "Kelto - שחזור מערכת", kYesNo | kIconExclamation | kDefButton1);
    if (answer != kIdYes) return;

    std::int32_t result = 0;
    const std::int32_t error = systemRestore.Restore(best, result);
    // A refusal without an error is told by the method's own result: the error number is 0.
    if (error != 0 || result != 0) {
        RestoreFailed(context, error != 0 ? error : result);
        return;
    }
    Log(context, "System restore started. Sequence: " + std::to_string(best));
    ScheduleRestart(context);
}

}  // namespace kelto::restore

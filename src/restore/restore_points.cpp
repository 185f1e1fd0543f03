#include "restore/restore_points.h"

#include <cstdio>

#include "base/command_line.h"
#include "intake/activity_log.h"
#include "intake/context.h"
#include "intake/registry_names.h"
#include "intake/system_folders.h"

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
// every way out.
class FrequencySuspension {
public:
    explicit FrequencySuspension(intake::Context& context) : context_(context) {
        SuspendRestoreFrequency(context_, saved_);
    }
    ~FrequencySuspension() { ResumeRestoreFrequency(context_, saved_); }
    FrequencySuspension(const FrequencySuspension&) = delete;
    FrequencySuspension& operator=(const FrequencySuspension&) = delete;

private:
    intake::Context& context_;
    SavedFrequency saved_;
};

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

void SuspendRestoreFrequency(intake::Context& context, SavedFrequency& saved) {
    auto& registry = context.system.registry;
    saved = {};
    // Any type is kept as it is stored. A value the system refuses to read counts as absent:
    // it cannot be put back, and without it Windows applies its own default limit.
    saved.existed = registry.ReadRaw(registry_names::kRestorePointFrequencyValue, saved.value).Ok();
    registry.WriteDword(registry_names::kRestorePointFrequencyValue, 0);
}

void ResumeRestoreFrequency(intake::Context& context, const SavedFrequency& saved) {
    auto& registry = context.system.registry;
    if (saved.existed) {
        registry.WriteRaw(registry_names::kRestorePointFrequencyValue, saved.value);
    } else {
        registry.Delete(registry_names::kRestorePointFrequencyValue);
    }
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

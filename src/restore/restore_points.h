#pragma once

#include <string>

#include "platform/system.h"

namespace kelto::intake {
struct Context;
}

namespace kelto::restore {

// Descriptions of restore points the helper made begin with this; nothing else marks them.
inline constexpr const char* kRestorePointPrefix = "Kelto Before ";

// "Kelto Before " + key + " " + the local time as yyyymmdd-hhnnss (24-hour clock).
std::string RestorePointDescription(const std::string& actionKey, const platform::DateTime& localTime);

// The creation-frequency value as it was before a suspension: whether it existed, and then
// its type and bytes exactly as stored.
struct SavedFrequency {
    bool existed = false;
    platform::RawRegistryValue value;
};

// Remembers the creation-frequency value and holds it at 0, so that Windows does not skip
// the next restore point. Errors are ignored.
void SuspendRestoreFrequency(intake::Context& context, SavedFrequency& saved);
// Puts back exactly what SuspendRestoreFrequency found; deletes the value only when it was
// absent. Errors are ignored.
void ResumeRestoreFrequency(intake::Context& context, const SavedFrequency& saved);

// Makes a restore point before the action; true when it was created.
bool CreateActionRestorePoint(intake::Context& context, const std::string& actionKey);
// Rolls the PC back to the newest restore point the helper made, and restarts it.
void RollBackToLastPoint(intake::Context& context);

}  // namespace kelto::restore

#pragma once

#include <optional>
#include <string>

#include "platform/system.h"

namespace kelto::intake {
struct Context;
}

namespace kelto::restore {

// Logged where a restore point was asked for (or would have been asked about) while Windows
// runs in Safe Mode, which makes none.
inline constexpr const char* kSkippedInSafeModeLog = "Restore point skipped: Safe Mode";

// Descriptions of restore points the helper made begin with this; nothing else marks them.
inline constexpr const char* kRestorePointPrefix = "Kelto Before ";

// "Kelto Before " + key + " " + the local time as yyyymmdd-hhnnss (24-hour clock).
std::string RestorePointDescription(const std::string& actionKey, const platform::DateTime& localTime);

// Logged when a run finds the record of an earlier run that was ended while it held the value
// at 0, and puts the value back from it; and when a record cannot be read as one.
inline constexpr const char* kFrequencyPutBackLog = "Restore point frequency put back after an interrupted run";
inline constexpr const char* kMalformedRecordLog = "Restore point frequency record removed: malformed";

// The creation-frequency value as it was before a suspension: whether it existed, and then
// its type and bytes exactly as stored. `suspended`: the value was held at 0 (its record
// kept first), so it is to be put back.
struct SavedFrequency {
    bool existed = false;
    platform::RawRegistryValue value;
    bool suspended = false;
    friend bool operator==(const SavedFrequency& a, const SavedFrequency& b) {
        return a.existed == b.existed && (!a.existed || a.value == b.value);
    }
};

// The record of a saved value, as REG_BINARY bytes: 0 for an absent value; 1, the type as four
// bytes (least significant first), then the value's bytes.
platform::RawRegistryValue EncodeFrequencyRecord(const SavedFrequency& saved);
// The saved value a record holds; nothing for a record that is not one (another type, a
// length that does not fit, an unknown first byte).
std::optional<SavedFrequency> DecodeFrequencyRecord(const platform::RawRegistryValue& record);

// Remembers the creation-frequency value and holds it at 0, so that Windows does not skip
// the next restore point. What was found is recorded first, beside the value; without that
// record the value is not touched. Errors are ignored.
void SuspendRestoreFrequency(intake::Context& context, SavedFrequency& saved);
// Puts back exactly what SuspendRestoreFrequency found (deletes the value only when it was
// absent), then removes the record. Nothing happens when nothing was suspended. Errors are
// ignored.
void ResumeRestoreFrequency(intake::Context& context, SavedFrequency& saved);
// A record left by a run that was ended while it held the value: the value is put back from
// it and the record removed (logged); a record that cannot be read as one is removed
// (logged) and the value left alone. Nothing happens without a record.
void PutBackInterruptedSuspension(intake::Context& context);

// Makes a restore point before the action; true when it was created.
bool CreateActionRestorePoint(intake::Context& context, const std::string& actionKey);
// Rolls the PC back to the newest restore point the helper made, and restarts it.
void RollBackToLastPoint(intake::Context& context);

}  // namespace kelto::restore

// Every registry name the helper reads or writes, in one place. A name that ends in "\"
// denotes a key: its default value when read or written, the key itself when deleted.
#pragma once

namespace kelto::registry_names {

// The kelto: URL-scheme registration of the current user.
#define KELTO_PROTOCOL_KEY "HKCU\\Software\\Classes\\kelto\\"
inline constexpr const char* kProtocolKey = KELTO_PROTOCOL_KEY;
inline constexpr const char* kProtocolUrlMarker = KELTO_PROTOCOL_KEY "URL Protocol";
inline constexpr const char* kProtocolIconKey = KELTO_PROTOCOL_KEY "DefaultIcon\\";
inline constexpr const char* kProtocolShellKey = KELTO_PROTOCOL_KEY "shell\\";
inline constexpr const char* kProtocolOpenKey = KELTO_PROTOCOL_KEY "shell\\open\\";
inline constexpr const char* kProtocolOpenCommandKey = KELTO_PROTOCOL_KEY "shell\\open\\command\\";
#undef KELTO_PROTOCOL_KEY

// The one authorized support session.
#define KELTO_SESSION_KEY "HKCU\\Software\\KeltoRemote\\AuthorizedSession\\"
inline constexpr const char* kSessionKey = KELTO_SESSION_KEY;
inline constexpr const char* kSessionIdValue = KELTO_SESSION_KEY "SessionID";
inline constexpr const char* kSessionExpiresAtValue = KELTO_SESSION_KEY "ExpiresAt";
#undef KELTO_SESSION_KEY

// How often Windows allows a restore point (REG_DWORD, minutes), read by the System Restore
// service in the machine's native view.
inline constexpr const char* kRestorePointFrequencyValue =
    "HKLM\\SOFTWARE\\Microsoft\\Windows "
    "NT\\CurrentVersion\\SystemRestore\\SystemRestorePointCreationFrequency";

// What the creation-frequency value was before the helper held it at 0 (REG_BINARY, see
// restore::EncodeFrequencyRecord), kept for as long as it is held: a run ended in between
// leaves it for the next run to put the value back from. Under HKLM\SOFTWARE, which only
// administrators write, in the machine's native view.
inline constexpr const char* kRestorePointFrequencyRecordValue =
    "HKLM\\SOFTWARE\\KeltoRemote\\RestorePointFrequencyBefore";

}  // namespace kelto::registry_names

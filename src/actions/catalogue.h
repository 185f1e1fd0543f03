// The action catalogue: the closed list of everything the helper will do on the customer's
// PC, and at the same time the allow-list of action keys.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "intake/request_state.h"
#include "platform/system.h"

namespace kelto::actions {

// One catalogue entry. Callers preset `Verb` to "open" and leave the rest empty; a lookup
// writes only the fields its row names.
struct ActionInfo {
    std::string Title;        // Hebrew, shown before consent and on launch failure
    std::string Description;  // Hebrew sentence shown under the title
    std::string Verb;         // shell verb: the preset "open", or "runas"
    std::string File;         // what the shell starts (a bare name is resolved to a full path at
                              // launch); empty for the entries the helper runs itself
    std::string Arguments;    // parameters handed to the shell with `File`
    // Non-zero when the entry's command line could not be built safely: the launch fails with
    // this shell code (kFileNotFound) without reaching the shell, and is explained and logged
    // as any failed launch.
    int launchRefusal = 0;
};

// The second confirmation an action needs after the consent box.
enum class Confirmation {
    None,
    Restart,            // the PC restarts in 15 seconds
    SafeModeRestart,    // restart into safe mode with networking
    NormalBootRestart,  // leave safe mode and restart
    NetworkReinstall,   // every physical network adapter is reinstalled
    RescueVm,           // downloads and boots the rescue ISO; needs the server address
};

// Who carries an approved action out in the elevated instance.
enum class Performer {
    Shell,     // the shell starts the entry's file with its arguments
    Rollback,  // the rollback to the newest restore point the helper made
    RescueVm,  // the rescue VM's download, unpack and boot
};

// What the approval and the elevated instance need to know of an entry beyond its texts.
struct ActionTraits {
    Confirmation confirmation = Confirmation::None;
    // Whether the customer is asked for a restore point before the action.
    bool asksRestorePoint = true;
    Performer performer = Performer::Shell;
};

// The traits of a catalogue key; nothing for a key outside the catalogue.
std::optional<ActionTraits> GetActionTraits(std::string_view key);

// Looks the key up by exact, case-sensitive equality. True and `info` filled when the key is
// in the catalogue; false and `info` untouched otherwise. Environment-dependent rows read the
// environment and the file system at the moment of the call; the "temp" and "downloads" rows
// name the customer's folders.
bool GetActionInfo(platform::System& system, std::string_view key, ActionInfo& info,
                   const intake::CustomerAccount& customer = {});

// Every catalogue key, in table order.
std::span<const std::string_view> CatalogueKeys();

}  // namespace kelto::actions

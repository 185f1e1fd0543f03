// The road of a customer in Safe Mode whom the technician takes back to a normal boot: Windows
// makes no restore point in Safe Mode, so no restore question may stand in the way.
#include "kit_roads_win.h"

namespace kelto::acceptance::roads {

void Kit::SafeModeRoad() {
    constexpr const char* kBootTitle = "Kelto Remote - אתחול";
    if (!options_.safeMode) {
        Add(kSafeModeCheck, Status::NeedsPerson,
            "not asked for: boot this PC into Safe Mode with Networking and run the kit with --safe-mode");
        return;
    }
    if (::GetSystemMetrics(SM_CLEANBOOT) == 0) {
        Add(kSafeModeCheck, Status::Fail, "--safe-mode was given, but Windows reports a normal boot (SM_CLEANBOOT 0)");
        return;
    }
    Say("road: normalboot in Safe Mode (decline the Windows prompt when it comes; approving it restarts the PC "
        "normally)");
    const ULONGLONG since = ::GetTickCount64();
    watcher_.Baseline();
    OpenThroughShell(Widen("kelto://normalboot/sid/" + sessionId_), L"");
    SeenProcess* request = WaitForHelper(since);
    std::string evidence;
    bool confirmed = false;
    bool asked = false;
    std::vector<std::string> pictures;
    for (int step = 0; request != nullptr && step < 5 && !confirmed; ++step) {
        const auto box = NextDialog(*request);
        if (!box) break;
        if (box->title == kTokenPromptTitle) {
            std::string typed;
            if (!TypeToken(*box, typed)) break;
        } else if (box->title == kConsentTitle) {
            Answer(*box, IDYES);
        } else if (box->title == kBootTitle) {
            pictures.push_back(SavePicture(box->hwnd, "safe-mode-normalboot-confirmation"));
            confirmed = true;
            Answer(*box, IDYES);
        } else {
            evidence += "box \"" + box->title + "\": " + Visible(box->text) + "; ";
            Answer(*box, SafeButton(*box));
            break;
        }
    }
    // After the restart confirmation comes the elevation prompt, never the restore question.
    if (confirmed) {
        Say("  decline the Windows prompt now (waiting up to 2 minutes)");
        if (const auto next = NextDialog(*request, kPromptWait)) {
            asked = next->title == kRestoreTitle;
            evidence += "next box \"" + next->title + "\": " + Visible(next->text) + "; ";
            Answer(*next, asked ? IDCANCEL : SafeButton(*next));
        }
    }
    const bool logged = NewLog().find("Restore point skipped: Safe Mode") != std::string::npos;
    evidence += std::string("restart confirmation ") + (confirmed ? "shown" : "not reached") + ", restore question " +
                (asked ? "asked" : "not asked") + (logged ? ", logged as skipped" : ", not logged as skipped");
    Add(kSafeModeCheck, confirmed && !asked && logged ? Status::Pass : Status::Fail, evidence, pictures);
    EndProcessesOfRoad([](const SeenProcess&) { return false; });
}

}  // namespace kelto::acceptance::roads

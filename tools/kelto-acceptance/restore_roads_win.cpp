// The roads through System Restore: a restore point before an action, and the rollback.
#include "kit_roads_win.h"

#include <cstdio>

namespace kelto::acceptance::roads {

// ---- A restore point before an action ----

namespace {
// "yyyymmdd-hhnnss" of a local time.
std::string Stamp(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

SYSTEMTIME LocalNow() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return t;
}

ULONGLONG Seconds(const SYSTEMTIME& t) {
    FILETIME f;
    ::SystemTimeToFileTime(&t, &f);
    return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000000ULL;
}
}  // namespace

void Kit::RestorePointRoad() {
    const char* key = "cmd";
    const SYSTEMTIME from = LocalNow();
    UrlRoad(key, false, true);
    const SYSTEMTIME to = LocalNow();
    std::string reason;
    const auto points = RestorePointDescriptions(reason);
    // The description names the local second the elevated instance made it in: one of the
    // seconds of this road.
    std::string found;
    std::string listed;
    if (points) {
        for (const auto& p : *points) {
            const std::string d = Narrow(p);
            listed += " \"" + d + "\";";
            const std::string prefix = std::string("Kelto Before ") + key + " ";
            if (d.size() != prefix.size() + 15 || d.compare(0, prefix.size(), prefix) != 0) continue;
            for (ULONGLONG s = Seconds(from); s <= Seconds(to); ++s) {
                FILETIME f;
                const ULONGLONG ticks = s * 10000000ULL;
                f.dwLowDateTime = static_cast<DWORD>(ticks);
                f.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
                SYSTEMTIME t;
                ::FileTimeToSystemTime(&f, &t);
                if (d == prefix + Stamp(t)) found = d;
            }
        }
    }
    const std::string log = NewLog();
    const bool logged = !found.empty() && log.find("Restore point created: " + found) != std::string::npos;
    Add("restore point: made before an action and listed afterwards",
        !found.empty() && logged ? Status::Pass : Status::Fail,
        (points ? "listed:" + (listed.empty() ? std::string(" none") : listed) : reason) +
            (found.empty() ? "; none made between " + Stamp(from) + " and " + Stamp(to)
                           : "; found \"" + found + "\"" +
                                 (logged ? ", and logged" : ", but the log does not say so")) +
            " (the restore point stays: System Restore lists it)");
}

// ---- The rollback and its restart: only with --with-restart, and last ----

void Kit::Rollback() {
    constexpr const char* kRollbackTitle = "Kelto - שחזור מערכת";
    Say("road: rollback to the newest Kelto restore point; Windows restarts afterwards");
    const ULONGLONG since = ::GetTickCount64();
    watcher_.Baseline();
    // The registration and the session were put back already: the helper is started with the
    // URL as the registered command would start it, and the token is typed again.
    OpenThroughShell(helper_, Widen("\"kelto:restorelastkelto/sid/" + sessionId_ + "\""));
    SeenProcess* request = WaitForHelper(since);
    if (request == nullptr) return;
    for (int step = 0; step < 4; ++step) {
        const auto box = NextDialog(*request);
        if (!box) break;
        if (box->title == kTokenPromptTitle) {
            std::string evidence;
            if (!TypeToken(*box, evidence)) {
                Say("  " + evidence);
                return;
            }
            continue;
        }
        Answer(*box, box->title == kConsentTitle ? IDYES : SafeButton(*box));
    }
    Say("  approve the Windows prompt now (waiting up to 2 minutes)");
    SeenProcess* elevated = WaitForHelper(since, request->id, kPromptWait);
    if (elevated == nullptr) return;
    if (const auto box = NextDialog(*elevated, kPromptWait)) {
        if (box->title == kRollbackTitle) {
            Say("  the rollback was confirmed; Windows restarts in 15 seconds and restores the point");
            Answer(*box, IDYES);
        } else {
            Say("  the elevated helper said: " + box->text);
            Answer(*box, SafeButton(*box));
        }
    }
}

}  // namespace kelto::acceptance::roads

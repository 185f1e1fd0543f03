// The roads through System Restore: a restore point before an action, and the rollback.
#include "kit_roads_win.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "token/token.h"

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

// ---- A restore point whose helper is ended in the middle ----

namespace {

constexpr wchar_t kFrequencyKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
constexpr wchar_t kFrequencyName[] = L"SystemRestorePointCreationFrequency";
constexpr wchar_t kRecordKey[] = L"SOFTWARE\\KeltoRemote";
constexpr wchar_t kRecordName[] = L"RestorePointFrequencyBefore";

// A value of the machine's native view as "absent" or "type T: hex bytes".
std::string NativeValue(const wchar_t* key, const wchar_t* name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
        return "absent";
    DWORD type = 0;
    DWORD size = 0;
    std::vector<BYTE> bytes;
    LSTATUS status = ::RegQueryValueExW(opened, name, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes.resize(size);
        status = ::RegQueryValueExW(opened, name, nullptr, &type, bytes.data(), &size);
        bytes.resize(size);
    }
    ::RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return "absent";
    std::string text = "type " + std::to_string(type) + ":";
    for (BYTE b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        text += hex;
    }
    return text;
}

// The elevated instance as the relaunch starts it, for a restore point before "cmd": the kit
// runs elevated already, so no prompt comes between.
std::optional<e2e::Process> StartElevatedInstance(const std::wstring& helper, const std::string& sessionId) {
    SYSTEMTIME t;
    ::GetSystemTime(&t);
    const auto seconds = token::SecondsSinceEpoch({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond});
    const std::string code = token::ComputeToken(token::WindowOfSeconds(seconds));
    try {
        return e2e::StartProcess(L"\"" + helper + L"\" /elevated:cmd:" + Widen(code) + L":1:" + Widen(sessionId) +
                                     L"::0:0",
                                 FolderOf(helper), nullptr);
    } catch (const e2e::DriverError&) {
        return std::nullopt;
    }
}

}  // namespace

void Kit::InterruptedRestorePoint() {
    const std::string name = kInterruptedCheck;
    Say("road: a restore point whose helper is ended while Windows makes it, then one more");
    const std::string before = NativeValue(kFrequencyKey, kFrequencyName);
    std::string evidence = "before: " + before;
    auto first = StartElevatedInstance(helper_, sessionId_);
    if (!first) {
        Add(name, Status::Fail, evidence + "; the helper could not be started");
        return;
    }
    // The record is written just before the value is held at 0 for the creation.
    const bool held = PollUntil(
        Deadline::In(milliseconds(120000)),
        [&] { return NativeValue(kRecordKey, kRecordName) != "absent" || !e2e::IsRunning(*first); },
        milliseconds(5));
    if (held) ::TerminateProcess(first->handle.get(), 1);
    e2e::WaitForExit(*first, Deadline::In(kWait));
    const std::string during = NativeValue(kFrequencyKey, kFrequencyName);
    const std::string record = NativeValue(kRecordKey, kRecordName);
    evidence += "; after the helper was ended: value " + during + ", record " + record;

    const ULONGLONG since = ::GetTickCount64();
    auto second = StartElevatedInstance(helper_, sessionId_);
    if (second) {
        // It makes a restore point too (the frequency limit is held off) and opens the console;
        // a box it shows instead is read and answered.
        HWND box = nullptr;
        PollUntil(Deadline::In(milliseconds(300000)), [&] {
            for (HWND w : e2e::VisibleTopLevelWindows(second->id))
                if (e2e::ClassNameOf(w) == "#32770") box = w;
            return box != nullptr || !e2e::IsRunning(*second);
        });
        if (box != nullptr) {
            const auto shown = e2e::Snapshot(box);
            evidence += "; the helper said: " + Visible(shown.text);
            Answer(shown, SafeButton(shown));
        }
        if (!e2e::WaitForExit(*second, Deadline::In(kWait))) ::TerminateProcess(second->handle.get(), 1);
    }
    const std::string after = NativeValue(kFrequencyKey, kFrequencyName);
    const std::string recordAfter = NativeValue(kRecordKey, kRecordName);
    const bool putBack = NewLog().find("Restore point frequency put back after an interrupted run") != std::string::npos;
    evidence += "; after the next run: value " + after + ", record " + recordAfter +
                (putBack ? "; logged as put back" : "; not logged as put back");
    EndProcessesOfRoad([&](const SeenProcess& p) { return p.seenAt >= since && EndsWithName(p.image, L"cmd.exe"); });
    Add(name, held && record != "absent" && after == before && recordAfter == "absent" && putBack ? Status::Pass
                                                                                                   : Status::Fail,
        evidence);
}

}  // namespace kelto::acceptance::roads

// The rescue VM road through the real curl.exe and tar.exe, from the kit's own server.
#include "kit_roads_win.h"

#include <atomic>
#include <thread>

#include "rescue_win.h"
#include "zip_store.h"

namespace kelto::acceptance::roads {

// ---- The rescue VM through the real curl.exe and tar.exe ----

namespace {

// The image comes this long after it is asked for, as over a slow line: longer than the 5 s
// after which Windows takes a window whose thread reads no messages for hung.
constexpr int kSlowLineMs = 8000;

// Asks Windows every quarter second, on a thread of its own, whether a window of the process
// is hung (IsHungAppWindow: its thread has read no messages for 5 seconds), and counts the
// looks at which the helper's status window was on screen.
class HungWatch {
public:
    explicit HungWatch(DWORD processId) : thread_([this, processId] { Watch(processId); }) {}
    ~HungWatch() { Stop(); }
    HungWatch(const HungWatch&) = delete;
    HungWatch& operator=(const HungWatch&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int Looks() const { return looks_; }
    int StatusShown() const { return statusShown_; }
    const std::vector<std::string>& Hung() const { return hung_; }

private:
    void Watch(DWORD processId) {
        while (!stop_) {
            ++looks_;
            for (HWND w : e2e::VisibleTopLevelWindows(processId)) {
                if (e2e::ClassNameOf(w) == "KeltoClientHelperMain") ++statusShown_;
                if (::IsHungAppWindow(w)) hung_.push_back("\"" + e2e::TextOf(w) + "\"");
            }
            ::Sleep(250);
        }
    }

    std::atomic<bool> stop_{false};
    int looks_ = 0;
    int statusShown_ = 0;
    std::vector<std::string> hung_;
    std::thread thread_;
};

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}


}  // namespace

void Kit::RescueVmRoad() {
    constexpr const char* kConfirmTitle = "Kelto Remote - מכונה וירטואלית";
    constexpr const char* kStartedText = "QEMU Portable הופעלה עם קובץ ה-ISO.";
    const std::string name = "rescue VM through the real curl.exe and tar.exe";
    Say("road: the rescue VM from the kit's own server on 127.0.0.1");
    // What the helper leaves beside itself: removed again unless it was there before.
    const std::wstring folder = FolderOf(helper_);
    const std::wstring leftovers[] = {folder + L"\\QEMU.zip", folder + L"\\Kelto-Rescue.iso",
                                      folder + L"\\QEMU"};
    bool existed[3];
    for (int i = 0; i < 3; ++i) existed[i] = Exists(leftovers[i]);
    const std::wstring record = EmulatorRecordPath();
    ::DeleteFileW(record.c_str());

    // The archive's emulator is the kit itself, which started under that name only records.
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::string evidence;
    bool started = false;
    std::vector<std::string> pictures;
    std::vector<std::string> requests;
    {
        RescueServer server(
            StoredZip({{"QEMU Portable/bin/qemu-system-x86_64.exe", e2e::ReadWholeFile(self)}}),
            "kelto acceptance: rescue image stand-in\n", kSlowLineMs);
        const std::string port = std::to_string(server.Port());
        const ULONGLONG since = ::GetTickCount64();
        watcher_.Baseline();
        OpenThroughShell(
            Widen("kelto://virtualiso/sid/" + sessionId_ + "/host/127.0.0.1/port/" + port + "/tls/0"), L"");
        SeenProcess* request = WaitForHelper(since);
        bool confirmed = false;
        for (int step = 0; request != nullptr && step < 5; ++step) {
            const auto box = NextDialog(*request);
            if (!box) break;
            if (box->title == kTokenPromptTitle) {
                std::string typed;
                if (!TypeToken(*box, typed)) break;
            } else if (box->title == kConsentTitle) {
                Answer(*box, IDYES);
            } else if (box->title == kConfirmTitle) {
                pictures.push_back(SavePicture(box->hwnd, "rescue-vm-confirmation"));
                confirmed = true;
                Answer(*box, IDYES);
            } else if (box->title == kRestoreTitle) {
                Answer(*box, IDNO);
            } else {
                evidence += "box \"" + box->title + "\": " + Visible(box->text) + "; ";
                Answer(*box, SafeButton(*box));
                break;
            }
        }
        if (confirmed) Say("  approve the Windows prompt now (waiting up to 2 minutes)");
        SeenProcess* elevated =
            confirmed && request != nullptr ? WaitForHelper(since, request->id, kPromptWait) : nullptr;
        if (elevated != nullptr) {
            HungWatch watch(elevated->id);
            // Two downloads and the unpacking may take a while on a slow disk.
            const auto box = NextDialog(*elevated, milliseconds(300000));
            watch.Stop();
            std::string hungEvidence = std::to_string(watch.Looks()) + " looks, the status window on screen at " +
                                       std::to_string(watch.StatusShown());
            for (const auto& window : watch.Hung()) hungEvidence += "; reported hung: " + window;
            Add(kRescueHungCheck,
                watch.StatusShown() > 0 && watch.Hung().empty() ? Status::Pass : Status::Fail,
                hungEvidence + " (the image came " + std::to_string(kSlowLineMs / 1000) +
                    " s after it was asked for)");
            if (box) {
                pictures.push_back(SavePicture(box->hwnd, "rescue-vm-outcome"));
                started = box->text == kStartedText;
                evidence += "the helper said: " + Visible(box->text) + "; ";
                Answer(*box, IDOK);
            }
        }
        evidence += std::string("confirmation ") + (confirmed ? "shown" : "not reached") +
                    ", elevated instance " + (elevated ? "seen" : "not seen") + "; ";
        requests = server.Requests();
        // curl and tar end at once: WMI reports them, polling may miss them.
        for (const wchar_t* tool : {L"curl.exe", L"tar.exe"}) {
            std::string how = "not seen";
            for (const auto& p : watcher_.Seen()) {
                if (p.seenAt >= since && EndsWithName(p.image, tool)) how = "polling: " + Narrow(p.image);
            }
            for (const auto& e : wmi_.Events()) {
                if (EndsWithName(e.image, tool)) how = "WMI: " + Narrow(e.commandLine);
            }
            evidence += Narrow(tool) + " " + how + "; ";
        }
        EndProcessesOfRoad([&](const SeenProcess& p) {
            return p.seenAt >= since && EndsWithName(p.image, L"qemu-system-x86_64.exe");
        });
    }
    const std::string recorded = e2e::ReadWholeFile(record);
    const std::string sidQuery = "?sid=" + sessionId_;
    bool zipAsked = false, isoAsked = false;
    evidence += "server requests:";
    for (const auto& r : requests) {
        evidence += " " + r + ";";
        zipAsked = zipAsked || r == "/vm/qemu.zip" + sidQuery;
        isoAsked = isoAsked || r == "/vm/kelto-rescue.iso" + sidQuery;
    }
    evidence += " emulator record: " + (recorded.empty() ? std::string("none") : recorded);
    const bool pass = started && zipAsked && isoAsked && recorded.find("-cdrom") != std::string::npos;
    Add(name, pass ? Status::Pass : Status::Fail, evidence, pictures);

    ::DeleteFileW(record.c_str());
    std::string cleaned;
    for (int i = 0; i < 3; ++i) {
        if (existed[i] || !Exists(leftovers[i])) continue;
        if (i == 2)
            e2e::RemoveFolderTree(leftovers[i]);
        else
            ::DeleteFileW(leftovers[i].c_str());
        cleaned += " " + Narrow(leftovers[i]) + (Exists(leftovers[i]) ? " (could not be removed)" : "") + ";";
    }
    if (!cleaned.empty()) Say("  removed what the rescue VM left:" + cleaned);
}

}  // namespace kelto::acceptance::roads

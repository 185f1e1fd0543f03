// What the helper started: polled process snapshots (everywhere, Wine included) and, where the
// system has it, WMI's process-creation events.
#include <windows.h>
// After <windows.h>.
#include <objbase.h>
#include <tlhelp32.h>
#include <wbemidl.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "kit_win.h"

namespace kelto::acceptance {

namespace {

std::wstring ImageOf(HANDLE process) {
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(process, 0, path, &size)) return {};
    return std::wstring(path, size);
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

FILETIME CreationOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    return created;
}

}  // namespace

void ProcessWatcher::Baseline() {
    baseline_.clear();
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        baseline_.push_back({entry.th32ProcessID, process ? CreationOf(process.get()) : FILETIME{}});
    }
    for (const auto& s : seen_) {
        if (s.handle) baseline_.push_back({s.id, CreationOf(s.handle.get())});
    }
}

bool ProcessWatcher::IsKnown(DWORD id, HANDLE process) const {
    const FILETIME created = process != nullptr ? CreationOf(process) : FILETIME{};
    for (const auto& k : baseline_) {
        if (k.id == id && (process == nullptr || SameTime(k.created, created))) return true;
    }
    for (const auto& s : seen_) {
        if (s.id == id && (process == nullptr || SameTime(CreationOf(s.handle.get()), created))) return true;
    }
    return false;
}

void ProcessWatcher::Poll() {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == 0 || entry.th32ProcessID == ::GetCurrentProcessId()) continue;
        // Opened at once and kept: from here on the id can never name another process for us.
        UniqueHandle process(::OpenProcess(
            PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (!process) continue;
        if (IsKnown(entry.th32ProcessID, process.get())) continue;
        SeenProcess seen;
        seen.id = entry.th32ProcessID;
        seen.parentId = entry.th32ParentProcessID;
        seen.image = ImageOf(process.get());
        const FILETIME created = CreationOf(process.get());
        seen.handle = std::move(process);
        seen.seenAt = ::GetTickCount64();
        seen.created = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        seen_.push_back(std::move(seen));
    }
}

SeenProcess* ProcessWatcher::WaitFor(const std::function<bool(const SeenProcess&)>& wanted,
                                     Deadline deadline) {
    SeenProcess* found = nullptr;
    PollUntil(
        deadline,
        [&] {
            Poll();
            for (auto& s : seen_) {
                if (wanted(s)) {
                    found = &s;
                    return true;
                }
            }
            return false;
        },
        milliseconds(20));
    return found;
}

bool ProcessWatcher::IsRunning(const SeenProcess& p) const {
    return p.handle && ::WaitForSingleObject(p.handle.get(), 0) == WAIT_TIMEOUT;
}

std::vector<std::string> ProcessWatcher::EndDescendants(const std::function<bool(const SeenProcess&)>& root,
                                                        const std::function<bool(const SeenProcess&)>& also) {
    Poll();
    // Parents are themselves seen processes: follow the chain up through what was seen.
    auto descends = [&](const SeenProcess& p) {
        const SeenProcess* at = &p;
        for (int depth = 0; depth < 16 && at != nullptr; ++depth) {
            if (root(*at)) return true;
            const SeenProcess* parent = nullptr;
            for (const auto& s : seen_) {
                // A parent is older than its child: an id reused later names no parent.
                if (s.id == at->parentId && s.created <= at->created) parent = &s;
            }
            at = parent;
        }
        return false;
    };
    std::vector<std::string> ended;
    for (auto& s : seen_) {
        if (!IsRunning(s) || !(descends(s) || also(s))) continue;
        if (::TerminateProcess(s.handle.get(), 1)) {
            ::WaitForSingleObject(s.handle.get(), 5000);
            ended.push_back("ended process " + std::to_string(s.id) + " " + Narrow(s.image));
        }
    }
    return ended;
}

// ---- WMI ----

struct WmiProcessEvents::State {
    std::mutex mutex;
    std::vector<Event> events;
    UniqueHandle stop;
    UniqueHandle ready;
    bool started = false;
    std::string reason;
    std::thread thread;
};

namespace {

std::wstring StringProperty(IWbemClassObject* object, const wchar_t* name) {
    VARIANT v;
    ::VariantInit(&v);
    std::wstring out;
    if (SUCCEEDED(object->Get(name, 0, &v, nullptr, nullptr)) && v.vt == VT_BSTR && v.bstrVal != nullptr)
        out = v.bstrVal;
    ::VariantClear(&v);
    return out;
}


}  // namespace

bool WmiProcessEvents::Start(std::string& reason) {
    state_ = new State;
    state_->stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state_->ready.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    State* s = state_;
    s->thread = std::thread([s] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IWbemLocator* locator = nullptr;
        IWbemServices* services = nullptr;
        IEnumWbemClassObject* events = nullptr;
        HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                        reinterpret_cast<void**>(&locator));
        if (SUCCEEDED(hr)) {
            BSTR ns = ::SysAllocString(L"ROOT\\CIMV2");
            hr = locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
            ::SysFreeString(ns);
        }
        if (SUCCEEDED(hr)) {
            ::CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
            BSTR language = ::SysAllocString(L"WQL");
            BSTR query = ::SysAllocString(
                L"SELECT * FROM __InstanceCreationEvent WITHIN 0.2 WHERE TargetInstance ISA 'Win32_Process'");
            hr = services->ExecNotificationQuery(
                language, query, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &events);
            ::SysFreeString(query);
            ::SysFreeString(language);
        }
        s->started = SUCCEEDED(hr);
        if (!s->started) s->reason = "WMI process-creation subscription failed: " + Hex(hr);
        ::SetEvent(s->ready.get());
        while (s->started && ::WaitForSingleObject(s->stop.get(), 0) == WAIT_TIMEOUT) {
            IWbemClassObject* event = nullptr;
            ULONG returned = 0;
            if (events->Next(200, 1, &event, &returned) != WBEM_S_NO_ERROR || returned == 0) continue;
            VARIANT target;
            ::VariantInit(&target);
            if (SUCCEEDED(event->Get(L"TargetInstance", 0, &target, nullptr, nullptr)) &&
                target.vt == VT_UNKNOWN && target.punkVal != nullptr) {
                IWbemClassObject* process = nullptr;
                if (SUCCEEDED(target.punkVal->QueryInterface(IID_IWbemClassObject,
                                                             reinterpret_cast<void**>(&process)))) {
                    Event e;
                    e.image = StringProperty(process, L"ExecutablePath");
                    e.commandLine = StringProperty(process, L"CommandLine");
                    VARIANT id;
                    ::VariantInit(&id);
                    if (SUCCEEDED(process->Get(L"ProcessId", 0, &id, nullptr, nullptr)) && id.vt == VT_I4)
                        e.id = static_cast<DWORD>(id.lVal);
                    ::VariantClear(&id);
                    process->Release();
                    std::lock_guard<std::mutex> lock(s->mutex);
                    s->events.push_back(std::move(e));
                }
            }
            ::VariantClear(&target);
            event->Release();
        }
        if (events != nullptr) events->Release();
        if (services != nullptr) services->Release();
        if (locator != nullptr) locator->Release();
        ::CoUninitialize();
    });
    ::WaitForSingleObject(state_->ready.get(), 30000);
    if (!state_->started) reason = state_->reason.empty() ? "WMI did not answer in 30 s" : state_->reason;
    return state_->started;
}

std::vector<WmiProcessEvents::Event> WmiProcessEvents::Events() {
    if (state_ == nullptr) return {};
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->events;
}

std::optional<std::vector<std::wstring>> RestorePointDescriptions(std::string& reason) {
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* points = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                    reinterpret_cast<void**>(&locator));
    if (SUCCEEDED(hr)) {
        BSTR ns = ::SysAllocString(L"ROOT\\DEFAULT");
        hr = locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
        ::SysFreeString(ns);
    }
    if (SUCCEEDED(hr)) {
        ::CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                            RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
        BSTR language = ::SysAllocString(L"WQL");
        BSTR query = ::SysAllocString(L"SELECT * FROM SystemRestore");
        hr = services->ExecQuery(language, query, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
                                 nullptr, &points);
        ::SysFreeString(query);
        ::SysFreeString(language);
    }
    std::optional<std::vector<std::wstring>> out;
    if (SUCCEEDED(hr)) {
        out.emplace();
        for (;;) {
            IWbemClassObject* point = nullptr;
            ULONG returned = 0;
            if (points->Next(WBEM_INFINITE, 1, &point, &returned) != WBEM_S_NO_ERROR || returned == 0) break;
            out->push_back(StringProperty(point, L"Description"));
            point->Release();
        }
    } else {
        reason = "the SystemRestore query failed: " + Hex(hr);
    }
    if (points != nullptr) points->Release();
    if (services != nullptr) services->Release();
    if (locator != nullptr) locator->Release();
    return out;
}

WmiProcessEvents::~WmiProcessEvents() {
    if (state_ == nullptr) return;
    ::SetEvent(state_->stop.get());
    if (state_->thread.joinable()) state_->thread.join();
    delete state_;
}

}  // namespace kelto::acceptance

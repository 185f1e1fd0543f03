// System Restore through WMI (class SystemRestore in root\default).
#include <windows.h>
// The COM headers below need the types windows.h declares.
#include <oleauto.h>
#include <wbemidl.h>

#include "platform/win32/alive_wait_win.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

namespace {
// COM and OLE Automation are loaded on the first restore point request. Without them every
// call fails with kSystemDllMissing before any BSTR exists.
BSTR AllocString(const wchar_t* s) {
    static const auto sysAllocString = KELTO_SYSTEM_FUNCTION(kOleAut32, SysAllocString);
    return sysAllocString ? sysAllocString(s) : nullptr;
}

void FreeString(BSTR b) {
    static const auto sysFreeString = KELTO_SYSTEM_FUNCTION(kOleAut32, SysFreeString);
    if (sysFreeString) sysFreeString(b);
}

HRESULT ChangeToInt32(VARIANT* v) {
    static const auto variantChangeType = KELTO_SYSTEM_FUNCTION(kOleAut32, VariantChangeType);
    return variantChangeType ? variantChangeType(v, v, 0, VT_I4) : kSystemDllMissing;
}

class Variant {
public:
    Variant() = default;
    ~Variant() {
        static const auto variantClear = KELTO_SYSTEM_FUNCTION(kOleAut32, VariantClear);
        if (variantClear) variantClear(&v_);
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    VARIANT& operator*() { return v_; }

private:
    VARIANT v_{};  // VT_EMPTY, as VariantInit leaves it
};

class Bstr {
public:
    explicit Bstr(const std::wstring& s) : b_(AllocString(s.c_str())) {}
    ~Bstr() { FreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

std::int32_t Code(HRESULT hr) { return static_cast<std::int32_t>(hr); }

// WMI hands out proxies that call into the WMI service: each one that is called must carry
// the impersonation blanket, the services object and every enumerator a query returns. An
// object served in this process is no proxy (no IClientSecurity): there is nothing to set.
HRESULT SetImpersonationBlanket(IUnknown* proxy) {
    static const auto coSetProxyBlanket = KELTO_SYSTEM_FUNCTION(kOle32, CoSetProxyBlanket);
    if (!coSetProxyBlanket) return kSystemDllMissing;
    const HRESULT hr = coSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                         RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return hr == E_NOINTERFACE ? S_OK : hr;
}

HRESULT Connect(ComPtr<IWbemServices>& services) {
    static const auto coCreateInstance = KELTO_SYSTEM_FUNCTION(kOle32, CoCreateInstance);
    if (!coCreateInstance || !SystemModule<kOleAut32>()) return kSystemDllMissing;
    ComPtr<IWbemLocator> locator;
    HRESULT hr = coCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<void**>(locator.put()));
    if (FAILED(hr)) return hr;
    Bstr ns(L"ROOT\\DEFAULT");
    // Bounded: without the flag a connection to a service that does not answer waits for ever
    // ("the call returns in 2 minutes or less" with it).
    hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                nullptr, services.put());
    if (FAILED(hr)) return hr;
    return SetImpersonationBlanket(services.get());
}

// The SystemRestore class object, through a fresh connection.
HRESULT BindClass(ComPtr<IWbemServices>& services, ComPtr<IWbemClassObject>& classObject) {
    HRESULT hr = Connect(services);
    if (FAILED(hr)) return hr;
    Bstr className(L"SystemRestore");
    hr = services->GetObject(className.get(), 0, nullptr, classObject.put(), nullptr);
    if (FAILED(hr)) return hr;
    return classObject ? S_OK : E_UNEXPECTED;
}

// The method's input object with the arguments put in. A method that takes arguments but
// has no in-signature (a stub, a class that is not what it should be) is refused here:
// executed without input it would read arguments that are not there.
HRESULT InputFor(IWbemClassObject& classObject, const wchar_t* method,
                 const std::vector<std::pair<const wchar_t*, VARIANT*>>& arguments,
                 ComPtr<IWbemClassObject>& inParams) {
    ComPtr<IWbemClassObject> signature;
    HRESULT hr = classObject.GetMethod(method, 0, signature.put(), nullptr);
    if (FAILED(hr)) return hr;
    if (!signature) return arguments.empty() ? S_OK : static_cast<HRESULT>(WBEM_E_INVALID_METHOD_PARAMETERS);
    hr = signature->SpawnInstance(0, inParams.put());
    if (FAILED(hr)) return hr;
    for (const auto& [name, value] : arguments) {
        hr = inParams->Put(name, 0, value, 0);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// Calls a static method of SystemRestore with (name, value) arguments; the method's
// ReturnValue goes to `result`.
HRESULT CallMethod(const wchar_t* method, const std::vector<std::pair<const wchar_t*, VARIANT*>>& arguments,
                   std::int32_t& result) {
    ComInit com;
    ComPtr<IWbemServices> services;
    ComPtr<IWbemClassObject> classObject;
    HRESULT hr = BindClass(services, classObject);
    if (FAILED(hr)) return hr;
    ComPtr<IWbemClassObject> inParams;
    hr = InputFor(*classObject.get(), method, arguments, inParams);
    if (FAILED(hr)) return hr;
    Bstr className(L"SystemRestore");
    Bstr methodName(method);
    ComPtr<IWbemClassObject> outParams;
    hr = services->ExecMethod(className.get(), methodName.get(), 0, nullptr, inParams.get(), outParams.put(),
                              nullptr);
    if (FAILED(hr)) return hr;
    if (!outParams) return E_UNEXPECTED;
    Variant returnValue;
    hr = outParams->Get(L"ReturnValue", 0, returnValue.get(), nullptr, nullptr);
    if (FAILED(hr)) return hr;
    hr = ChangeToInt32(returnValue.get());
    if (FAILED(hr)) return hr;
    result = (*returnValue).lVal;
    return S_OK;
}

void SetString(VARIANT& v, const std::string& s) {
    v.vt = VT_BSTR;
    v.bstrVal = AllocString(Widen(s).c_str());
}

void SetInt(VARIANT& v, std::int32_t n) {
    v.vt = VT_I4;
    v.lVal = n;
}

// WMI is asked on the window thread, in its single-threaded apartment. While a call waits for
// the WMI service (a restore point takes from seconds to minutes), COM's modal loop runs the
// thread's messages: painting and sent messages (WM_NULL, WM_ENDSESSION) are handled, keyboard
// and mouse input is not dispatched (IMessageFilter::MessagePending, PENDINGMSG_WAITDEFPROCESS,
// COM's default). So the windows stay alive; the thread is marked busy for the call, so that
// nothing starts from a message run inside it, and the input that came meanwhile is dropped.
template <typename Call>
std::int32_t AskAlive(Call call) {
    std::int32_t code = 0;
    {
        const ThreadBusy busy;
        code = call();
    }
    DropQueuedInput();
    return code;
}

std::int32_t BindNow() {
    ComInit com;
    ComPtr<IWbemServices> services;
    ComPtr<IWbemClassObject> classObject;
    return Code(BindClass(services, classObject));
}

std::int32_t EnumerateNow(std::vector<RestorePointInfo>& points) {
    ComInit com;
    ComPtr<IWbemServices> services;
    HRESULT hr = Connect(services);
    if (FAILED(hr)) return Code(hr);
    Bstr language(L"WQL");
    Bstr query(L"SELECT * FROM SystemRestore");
    ComPtr<IEnumWbemClassObject> enumerator;
    hr =
        services->ExecQuery(language.get(), query.get(),
                            WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, enumerator.put());
    if (FAILED(hr)) return Code(hr);
    hr = SetImpersonationBlanket(enumerator.get());
    if (FAILED(hr)) return Code(hr);
    for (;;) {
        ComPtr<IWbemClassObject> item;
        ULONG returned = 0;
        hr = enumerator->Next(WBEM_INFINITE, 1, item.put(), &returned);
        if (FAILED(hr)) return Code(hr);
        if (returned == 0) break;
        RestorePointInfo info;
        Variant description, sequence;
        if (SUCCEEDED(item->Get(L"Description", 0, description.get(), nullptr, nullptr)) &&
            (*description).vt == VT_BSTR) {
            info.description = Narrow((*description).bstrVal);
        }
        hr = item->Get(L"SequenceNumber", 0, sequence.get(), nullptr, nullptr);
        if (SUCCEEDED(hr)) hr = ChangeToInt32(sequence.get());
        if (SUCCEEDED(hr)) {
            info.sequenceNumber = (*sequence).lVal;
        } else {
            info.sequenceError = Code(hr);
        }
        points.push_back(std::move(info));
    }
    return 0;
}

}  // namespace

std::int32_t Win32SystemRestore::Bind() { return AskAlive([] { return BindNow(); }); }

std::int32_t Win32SystemRestore::Enable(const std::string& drive, std::int32_t& result) {
    return AskAlive([&] {
        Variant driveArg;
        SetString(*driveArg, drive);
        return Code(CallMethod(L"Enable", {{L"Drive", driveArg.get()}}, result));
    });
}

std::int32_t Win32SystemRestore::CreateRestorePoint(const std::string& description,
                                                    std::int32_t restorePointType, std::int32_t eventType,
                                                    std::int32_t& result) {
    return AskAlive([&] {
        Variant descriptionArg, typeArg, eventArg;
        SetString(*descriptionArg, description);
        SetInt(*typeArg, restorePointType);
        SetInt(*eventArg, eventType);
        return Code(CallMethod(L"CreateRestorePoint",
                               {{L"Description", descriptionArg.get()},
                                {L"RestorePointType", typeArg.get()},
                                {L"EventType", eventArg.get()}},
                               result));
    });
}

std::int32_t Win32SystemRestore::Restore(std::int32_t sequenceNumber, std::int32_t& result) {
    return AskAlive([&] {
        Variant sequenceArg;
        SetInt(*sequenceArg, sequenceNumber);
        return Code(CallMethod(L"Restore", {{L"SequenceNumber", sequenceArg.get()}}, result));
    });
}

std::int32_t Win32SystemRestore::Enumerate(std::vector<RestorePointInfo>& points) {
    return AskAlive([&] { return EnumerateNow(points); });
}

}  // namespace kelto::platform::win32

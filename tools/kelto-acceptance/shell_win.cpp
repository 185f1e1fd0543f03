// The desktop's shell as the kit sees it: the kelto: handler it resolves, programs started
// with the desktop's own (unelevated) token, and the folders its Explorer windows show.
#include <windows.h>
// After <windows.h>.
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>

#include "kit_win.h"

namespace kelto::acceptance {

namespace {

std::wstring AssocString(ASSOCSTR what) {
    wchar_t out[2048];
    DWORD size = 2048;
    if (FAILED(::AssocQueryStringW(ASSOCF_IS_PROTOCOL, what, L"kelto", L"open", out, &size))) return {};
    return out;
}


// A COM interface pointer released at the end of its scope.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_ != nullptr) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** put() { return &p_; }
    void** put_void() { return reinterpret_cast<void**>(&p_); }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

// A BSTR freed at the end of its scope.
class Bstr {
public:
    explicit Bstr(const std::wstring& text) : b_(::SysAllocString(text.c_str())) {}
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

}  // namespace

std::wstring AssociatedExecutable() { return AssocString(ASSOCSTR_EXECUTABLE); }
std::wstring AssociatedCommand() { return AssocString(ASSOCSTR_COMMAND); }

bool ShellExecuteAsDesktop(const std::wstring& file, const std::wstring& arguments, std::string& reason) {
    // The desktop's folder view belongs to the shell's explorer.exe, which runs with the
    // desktop user's unelevated token: what it starts, starts unelevated.
    Com<IShellWindows> windows;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                    windows.put_void());
    if (FAILED(hr)) {
        reason = "no ShellWindows object (" + Hex(hr) + ")";
        return false;
    }
    VARIANT empty;
    ::VariantInit(&empty);
    long hwnd = 0;
    Com<IDispatch> desktop;
    hr = windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, desktop.put());
    if (hr != S_OK || desktop.get() == nullptr) {
        reason = "IShellWindows::FindWindowSW found no desktop (" + Hex(hr) + ")";
        return false;
    }
    Com<IServiceProvider> provider;
    Com<IShellBrowser> browser;
    Com<IShellView> view;
    Com<IDispatch> background;
    Com<IShellFolderViewDual> folderView;
    Com<IDispatch> application;
    Com<IShellDispatch2> shell;
    if (FAILED(hr = desktop->QueryInterface(IID_IServiceProvider, provider.put_void())) ||
        FAILED(hr = provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) ||
        FAILED(hr = browser->QueryActiveShellView(view.put())) ||
        FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void())) ||
        FAILED(hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.put_void())) ||
        FAILED(hr = folderView->get_Application(application.put())) ||
        FAILED(hr = application->QueryInterface(IID_IShellDispatch2, shell.put_void()))) {
        reason = "the desktop's folder view gave no IShellDispatch2 (" + Hex(hr) + ")";
        return false;
    }
    Bstr bfile(file);
    VARIANT args, dir, verb, show;
    ::VariantInit(&args);
    ::VariantInit(&dir);
    ::VariantInit(&verb);
    ::VariantInit(&show);
    args.vt = VT_BSTR;
    args.bstrVal = ::SysAllocString(arguments.c_str());
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    hr = shell->ShellExecute(bfile.get(), args, dir, verb, show);
    ::VariantClear(&args);
    if (FAILED(hr)) {
        reason = "IShellDispatch2::ShellExecute failed (" + Hex(hr) + ")";
        return false;
    }
    return true;
}

std::optional<std::vector<std::wstring>> ExplorerFolders(std::string& reason) {
    Com<IShellWindows> windows;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                    windows.put_void());
    if (FAILED(hr)) {
        reason = "no ShellWindows object (" + Hex(hr) + ")";
        return std::nullopt;
    }
    long count = 0;
    if (FAILED(hr = windows->get_Count(&count))) {
        reason = "IShellWindows::get_Count failed (" + Hex(hr) + ")";
        return std::nullopt;
    }
    std::vector<std::wstring> folders;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        ::VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        Com<IDispatch> item;
        if (windows->Item(index, item.put()) != S_OK || item.get() == nullptr) continue;
        Com<IServiceProvider> provider;
        Com<IShellBrowser> browser;
        Com<IShellView> view;
        Com<IFolderView> folderView;
        Com<IPersistFolder2> folder;
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (FAILED(item->QueryInterface(IID_IServiceProvider, provider.put_void())) ||
            FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) ||
            FAILED(browser->QueryActiveShellView(view.put())) ||
            FAILED(view->QueryInterface(IID_IFolderView, folderView.put_void())) ||
            FAILED(folderView->GetFolder(IID_IPersistFolder2, folder.put_void())) ||
            FAILED(folder->GetCurFolder(&pidl))) {
            continue;
        }
        wchar_t path[MAX_PATH];
        if (::SHGetPathFromIDListW(pidl, path)) folders.push_back(path);
        ::CoTaskMemFree(pidl);
    }
    return folders;
}

std::optional<int> ElevationTypeOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return std::nullopt;
    UniqueHandle owned(token);
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) return std::nullopt;
    return static_cast<int>(type);
}

}  // namespace kelto::acceptance

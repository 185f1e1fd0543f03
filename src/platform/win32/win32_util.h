// Small Win32 helpers: UTF-8 <-> UTF-16 at the API boundary and owners for handles.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>
#include <string_view>
#include <utility>

namespace kelto::platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The shell, COM, WinHTTP and the common controls are loaded where first used rather than
// imported: most starts only show a message box and need none of them.
inline constexpr wchar_t kShell32[] = L"shell32.dll";
inline constexpr wchar_t kOle32[] = L"ole32.dll";
inline constexpr wchar_t kOleAut32[] = L"oleaut32.dll";
inline constexpr wchar_t kWinHttp[] = L"winhttp.dll";
inline constexpr wchar_t kComCtl32[] = L"comctl32.dll";

// The module of the system DLL `kDll`, from System32 (or the side-by-side assembly the
// manifest asks for). Loaded on the first call, kept to the end of the process; null, and
// not retried, if it cannot be loaded.
template <const wchar_t* kDll>
HMODULE SystemModule() {
    static const HMODULE module = ::LoadLibraryExW(kDll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module;
}

// Function `name` of the system DLL `kDll`, typed as `Fn`; null if either is missing.
template <const wchar_t* kDll, typename Fn>
Fn* SystemFunction(const char* name) {
    HMODULE module = SystemModule<kDll>();
    if (!module) return nullptr;
    // FARPROC only stands for "some function": the real type is the header's declaration.
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Typed from the function's own declaration, so name and signature cannot drift apart; the
// function inside decltype is not referenced, so it adds no import.
#define KELTO_SYSTEM_FUNCTION(dll, function) \
    ::kelto::platform::win32::SystemFunction<::kelto::platform::win32::dll, decltype(::function)>(#function)

// What a COM call reports when ole32 or oleaut32 could not be loaded.
inline const HRESULT kSystemDllMissing = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);

// A move-only owner of one handle-like value. Traits give the type, the value that means
// "nothing held" and how to close it.
template <typename Traits>
class UniqueAny {
public:
    using T = typename Traits::Type;
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, Traits::Invalid());
        }
        return *this;
    }
    T get() const { return value_; }
    T* put() {
        reset();
        return &value_;
    }
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    void reset(T value = Traits::Invalid()) {
        if (value_ != Traits::Invalid()) Traits::Close(value_);
        value_ = value;
    }

private:
    T value_ = Traits::Invalid();
};

template <typename H, auto CloseFn, bool InvalidIsMinusOne = false>
struct HandleTraits {
    using Type = H;
    static Type Invalid() {
        if constexpr (InvalidIsMinusOne) {
            return INVALID_HANDLE_VALUE;
        } else {
            return nullptr;
        }
    }
    static void Close(Type h) { CloseFn(h); }
};

inline void CloseHandleChecked(HANDLE h) { ::CloseHandle(h); }
inline void CloseKey(HKEY k) { ::RegCloseKey(k); }
inline void DeleteGdiObject(HGDIOBJ o) { ::DeleteObject(o); }
inline void CloseFind(HANDLE h) { ::FindClose(h); }

using UniqueHandle = UniqueAny<HandleTraits<HANDLE, CloseHandleChecked>>;
using UniqueFileHandle = UniqueAny<HandleTraits<HANDLE, CloseHandleChecked, true>>;
using UniqueFindHandle = UniqueAny<HandleTraits<HANDLE, CloseFind, true>>;
using UniqueHkey = UniqueAny<HandleTraits<HKEY, CloseKey>>;
using UniqueHfont = UniqueAny<HandleTraits<HFONT, DeleteGdiObject>>;
using UniqueHbrush = UniqueAny<HandleTraits<HBRUSH, DeleteGdiObject>>;

// Selects a GDI object into a device context for as long as it lives, then puts back what
// was selected before (a DC must not be left holding an object its owner may delete).
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    // False when the selection failed (nothing is put back then).
    bool ok() const { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The device context of a window (or of the screen, for nullptr), released when it goes.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~ScopedGetDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A COM interface pointer that releases its reference.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// The error of the call that just failed; never 0, so that a failure is never taken for
// success (a system without the function may fail it without setting an error).
DWORD LastErrorOfFailure();

// Initialises COM for the calling thread for as long as it lives; loads ole32 on first use.
class ComInit {
public:
    ComInit();
    ~ComInit();
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

// Names (not paths) of the files, or of the subfolders, of a folder; empty when unreadable.
// With `skipLinks`, entries that are name-surrogate reparse points (symbolic links, junctions)
// are left out, as their tag in the listing says.
std::vector<std::string> ListFolder(const std::string& folder, bool folders, bool skipLinks);

}  // namespace kelto::platform::win32

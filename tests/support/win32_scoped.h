// Scoped changes to the real Windows environment and file system for tests that run under
// Windows (Wine in the test suite): each is undone when the test's scope ends, whatever its
// outcome.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace kelto::testing {

inline std::optional<std::wstring> ReadVariable(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

// Sets (or, with nullptr, removes) a variable of this process and puts it back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name), old_(ReadVariable(name)) {
        ::SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// A new normal file made for the test; only a file this object created is removed again.
class ScopedFile {
public:
    explicit ScopedFile(std::wstring path) : path_(std::move(path)) {
        const HANDLE h =
            ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        created_ = h != INVALID_HANDLE_VALUE;
        error_ = created_ ? 0 : ::GetLastError();
        if (created_) ::CloseHandle(h);
    }
    ~ScopedFile() {
        if (!created_) return;
        ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path_.c_str());
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    bool created() const { return created_; }
    DWORD error() const { return error_; }
    bool SetAttributes(DWORD attributes) { return ::SetFileAttributesW(path_.c_str(), attributes) != FALSE; }

private:
    std::wstring path_;
    bool created_ = false;
    DWORD error_ = 0;
};

}  // namespace kelto::testing

#endif  // _WIN32

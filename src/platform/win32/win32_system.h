// The real implementations of the platform interfaces.
#pragma once

#include <string>
#include <utility>

#include "platform/system.h"

namespace kelto::platform::win32 {

class Win32Registry : public Registry {
public:
    ReadResult ReadString(const std::string& name, std::string& value) override;
    bool WriteString(const std::string& name, const std::string& value) override;
    ReadResult ReadDword(const std::string& name, std::uint32_t& value) override;
    bool WriteDword(const std::string& name, std::uint32_t value) override;
    ReadResult ReadRaw(const std::string& name, RawRegistryValue& value) override;
    Outcome WriteRaw(const std::string& name, const RawRegistryValue& value) override;
    bool Delete(const std::string& name) override;
};

// The SHELLEXECUTEINFO mask the helper's starts use (SEE_MASK_ values).
unsigned long ShellExecuteMask(ShellFailureBox failureBox);

class Win32Shell : public Shell {
public:
    int Execute(WindowHandle owner, const std::string& verb, const std::string& file,
                const std::string& parameters, const std::string& directory, int showMode,
                ShellFailureBox failureBox) override;
    void Prepare() override;
};

class Win32Clock : public Clock {
public:
    DateTime UtcNow() override;
    DateTime LocalNow() override;
    void Sleep(int milliseconds) override;
};

class Win32Environment : public Environment {
public:
    std::string Get(const std::string& name) override;
};

class Win32FileSystem : public FileSystem {
public:
    bool IsNormalFile(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    std::vector<std::string> ListFiles(const std::string& folder) override;
    std::vector<std::string> ListFolders(const std::string& folder) override;
    Outcome CreateFolder(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    AppendResult Append(const std::string& path, const std::string& bytes) override;
    // folders only administrators can write (secured_folders_win.cpp)
    Outcome OpenNoFollow(const std::string& path, PathFacts& facts, std::unique_ptr<HeldPath>& held) override;
    Outcome CreateSecuredFolder(const std::string& path, const FolderSecurity& security, PathFacts& facts,
                                std::unique_ptr<HeldPath>& held) override;
    std::vector<std::string> ListFilesNoLinks(const std::string& folder) override;
    std::vector<std::string> ListFoldersNoLinks(const std::string& folder) override;
    RemoveOutcome RemoveFolderTreeIf(const std::string& path,
                                     const std::function<bool(const FolderSecurity&)>& expected) override;
};

class Win32Process : public Process {
public:
    std::string CommandLine() override;
    std::string ModuleFileName() override;
    std::string UserSid() override;
    AccountMatch MatchAccount(const std::string& sid) override;
    std::string ToAnsiCodePage(const std::string& utf8) override;
};

class Win32ChildProcesses : public ChildProcesses {
public:
    std::optional<std::uint32_t> RunAndWait(const std::string& commandLine, int showMode) override;
};

class Win32SystemRestore : public SystemRestore {
public:
    std::int32_t Bind() override;
    std::int32_t Enable(const std::string& drive, std::int32_t& result) override;
    std::int32_t CreateRestorePoint(const std::string& description, std::int32_t restorePointType,
                                    std::int32_t eventType, std::int32_t& result) override;
    std::int32_t Restore(std::int32_t sequenceNumber, std::int32_t& result) override;
    std::int32_t Enumerate(std::vector<RestorePointInfo>& points) override;
};

class Win32Http : public Http {
public:
    std::optional<int> Get(const std::string& url, const HttpTimeouts& timeouts,
                           const std::vector<std::pair<std::string, std::string>>& headers) override;
};

class Win32Dialogs : public Dialogs {
public:
    int MessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                   unsigned flags) override;
    std::string InputBox(WindowHandle owner, const std::string& prompt, const std::string& title) override;
};

// A mutex in the helper's private namespace, whose boundary admits only processes whose token
// holds the Administrators group, and which only Administrators may open: a program of the
// customer's account can neither take the name first nor hold the lock. `name` is the
// mutex's name inside that namespace.
class Win32MachineLock : public MachineLock {
public:
    explicit Win32MachineLock(std::wstring name) : name_(std::move(name)) {}
    ~Win32MachineLock() override;
    Win32MachineLock(const Win32MachineLock&) = delete;
    Win32MachineLock& operator=(const Win32MachineLock&) = delete;
    Outcome Acquire(std::uint32_t timeoutMs) override;
    void Release() override;

private:
    Outcome Open();
    std::wstring name_;
    void* namespace_ = nullptr;  // the private namespace, closed with ClosePrivateNamespace
    void* mutex_ = nullptr;
    bool held_ = false;
};

class Win32BootMode : public BootMode {
public:
    bool SafeMode() override;
};

// One of each, as the program uses them.
struct Win32System {
    Win32Registry registry;
    Win32Shell shell;
    Win32Clock clock;
    Win32Environment environment;
    Win32FileSystem files;
    Win32Process process;
    Win32ChildProcesses children;
    Win32SystemRestore systemRestore;
    Win32Http http;
    Win32Dialogs dialogs;
    Win32MachineLock restoreLock{L"RestorePointFrequency"};
    Win32BootMode boot;
    System system{registry, shell,         clock, environment, files,       process,
                  children, systemRestore, http,  dialogs,     restoreLock, boot};
};

}  // namespace kelto::platform::win32

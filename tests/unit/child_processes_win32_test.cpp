// Child processes through the real Windows layer: the call waits for the child and hands back
// its exit code, and tells a program that cannot be started apart from any exit code.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/win32_system.h"

namespace kelto {
namespace {

std::string SystemProgram(const char* name) {
    char folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    return "\"" + std::string(folder, length) + "\\" + name + "\"";
}

TEST(ChildProcessesWin32, WaitsForTheChildAndGivesItsExitCode) {
    platform::win32::Win32ChildProcesses children;
    // reg.exe ends with 0 for a key that exists and with 1 for one that does not.
    EXPECT_EQ(children.RunAndWait(SystemProgram("reg.exe") + " query HKCU\\Software", platform::kShowNormal),
              0u);
    EXPECT_EQ(children.RunAndWait(SystemProgram("reg.exe") + " query HKCU\\Software\\KeltoNoSuchKey\\x",
                                  platform::kShowNormal),
              1u);
}

TEST(ChildProcessesWin32, ProgramThatCannotStartGivesNothing) {
    platform::win32::Win32ChildProcesses children;
    EXPECT_EQ(children.RunAndWait("\"C:\\kelto-no-such-folder\\curl.exe\" --fail", platform::kShowNormal),
              std::nullopt);
    EXPECT_EQ(children.RunAndWait("", platform::kShowNormal), std::nullopt);
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

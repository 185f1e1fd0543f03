// The restore-point logic on the real Windows layer: the creation-frequency value is written
// in the machine's native view (where the System Restore service reads it), put back exactly,
// and a System Restore class whose methods cannot be called with their arguments is an error,
// never a crash.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/win32/win32_system.h"
#include "restore/restore_points.h"
#include "support/fakes.h"

namespace kelto {
namespace {

const wchar_t* const kKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SystemRestore";
const wchar_t* const kName = L"SystemRestorePointCreationFrequency";

struct Stored {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    friend bool operator==(const Stored&, const Stored&) = default;
};

std::optional<Stored> Read(REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return {};
    Stored stored;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, kName, nullptr, &stored.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        stored.bytes.resize(size);
        status = ::RegQueryValueExW(key, kName, nullptr, &stored.type, stored.bytes.data(), &size);
    }
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return {};
    return stored;
}

void Write(REGSAM view, const std::optional<Stored>& stored) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    if (stored) {
        ::RegSetValueExW(key, kName, 0, stored->type, stored->bytes.data(),
                         static_cast<DWORD>(stored->bytes.size()));
    } else {
        ::RegDeleteValueW(key, kName);
    }
    ::RegCloseKey(key);
}

// The record of the value as it was, kept beside it while it is held at 0.
std::optional<Stored> ReadRecord(REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KeltoRemote", 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS)
        return {};
    Stored stored;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, L"RestorePointFrequencyBefore", nullptr, &stored.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        stored.bytes.resize(size);
        status = ::RegQueryValueExW(key, L"RestorePointFrequencyBefore", nullptr, &stored.type, stored.bytes.data(),
                                    &size);
    }
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return {};
    return stored;
}

const Stored kText1440{REG_SZ, {'1', 0, '4', 0, '4', 0, '0', 0, 0, 0}};
const Stored kDword0{REG_DWORD, {0, 0, 0, 0}};

class RestoreFrequencyOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        BOOL wow64 = FALSE;
        ::IsWow64Process(::GetCurrentProcess(), &wow64);
        if (!wow64) GTEST_SKIP() << "a 32-bit system has one view only";
        saved64_ = Read(KEY_WOW64_64KEY);
        saved32_ = Read(KEY_WOW64_32KEY);
        Write(KEY_WOW64_32KEY, std::nullopt);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Write(KEY_WOW64_64KEY, saved64_);
        Write(KEY_WOW64_32KEY, saved32_);
    }

    testing::FakeSystem f;
    platform::win32::Win32Registry registry;
    platform::System system{registry,   f.shell,         f.clock, f.environment, f.files,      f.process,
                            f.children, f.systemRestore, f.http,  f.dialogs,     f.restoreLock, f.boot};
    intake::Context context{system, f.request, f.mainWindow};
    std::optional<Stored> saved64_, saved32_;
};

TEST_F(RestoreFrequencyOnWindows, IsHeldAtZeroInTheNativeViewAndPutBackAsStored) {
    const Stored absentRecord{REG_BINARY, {0}};
    const Stored textRecord{REG_BINARY, {1, 1, 0, 0, 0, '1', 0, '4', 0, '4', 0, '0', 0, 0, 0}};
    for (const auto& [before, record] :
         {std::pair{std::optional<Stored>{}, absentRecord}, std::pair{std::optional<Stored>{kText1440}, textRecord}}) {
        Write(KEY_WOW64_64KEY, before);
        restore::SavedFrequency saved;
        restore::SuspendRestoreFrequency(context, saved);
        EXPECT_EQ(Read(KEY_WOW64_64KEY), kDword0);
        EXPECT_EQ(Read(KEY_WOW64_32KEY), std::nullopt) << "written where the service never reads it";
        EXPECT_EQ(ReadRecord(KEY_WOW64_64KEY), record);
        EXPECT_EQ(ReadRecord(KEY_WOW64_32KEY), std::nullopt) << "recorded in the 32-bit view";
        restore::ResumeRestoreFrequency(context, saved);
        EXPECT_EQ(Read(KEY_WOW64_64KEY), before);
        EXPECT_EQ(Read(KEY_WOW64_32KEY), std::nullopt);
        EXPECT_EQ(ReadRecord(KEY_WOW64_64KEY), std::nullopt);
    }
}

// Whatever the system's SystemRestore class gives (a made point, a refusal, a stub without
// method signatures), the call comes back, says what happened, and leaves the value as it was.
TEST_F(RestoreFrequencyOnWindows, CreationThroughTheRealClassComesBackAndLeavesTheValue) {
    Write(KEY_WOW64_64KEY, kText1440);
    platform::win32::Win32SystemRestore systemRestore;
    platform::win32::Win32MachineLock lock{L"RestorePointFrequency"};
    platform::System real{registry,   f.shell,       f.clock, f.environment, f.files, f.process,
                          f.children, systemRestore, f.http,  f.dialogs,     lock,   f.boot};
    intake::Context realContext{real, f.request, f.mainWindow};
    const bool created = restore::CreateActionRestorePoint(realContext, "flushdns");
    const auto log = f.LogMessages();
    ASSERT_EQ(log.size(), 1u);
    if (created) {
        EXPECT_TRUE(log[0].starts_with("Restore point created: Kelto Before flushdns ")) << log[0];
    } else {
        EXPECT_TRUE(log[0].starts_with("Restore point error: ") ||
                    log[0].starts_with("Restore point failed. Result: "))
            << log[0];
    }
    std::printf("[ system restore ] %s\n", log[0].c_str());
    EXPECT_EQ(Read(KEY_WOW64_64KEY), kText1440);
    EXPECT_EQ(Read(KEY_WOW64_32KEY), std::nullopt);
}

}  // namespace
}  // namespace kelto

#endif  // _WIN32

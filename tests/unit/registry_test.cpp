// The registry as the logic sees it: the same cases run against the double and, under
// Windows, against the real registry layer, so that the double answers as Windows does.
#include <gtest/gtest.h>

// <windows.h> renames DeleteFile and MessageBox: it comes first wherever the interfaces do.
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

#include "support/fakes.h"

#ifdef _WIN32
#include "platform/win32/win32_system.h"
#endif

namespace kelto {
namespace {

using platform::RawRegistryValue;
using platform::ReadResult;
using platform::ReadStatus;
namespace regtype = platform::regtype;

// Below a key that only these tests use; it is removed before and after each test.
const std::string kTestKey = "HKCU\\Software\\KeltoTest\\Registry\\";

// "Kelto דנה" as UTF-16LE with its terminating null, as Windows stores a REG_SZ.
const std::vector<std::uint8_t> kKeltoDanaUtf16{'K', 0, 'e',  0,    'l',  0,    't',  0,    'o', 0,
                                                ' ', 0, 0xD3, 0x05, 0xE0, 0x05, 0xD4, 0x05, 0,   0};

template <typename Impl>
struct RegistryUnderTest {
    Impl registry;
    static void Clean() {}
};

#ifdef _WIN32
template <>
struct RegistryUnderTest<platform::win32::Win32Registry> {
    platform::win32::Win32Registry registry;
    static void Clean() { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KeltoTest"); }
};
using Implementations = ::testing::Types<testing::FakeRegistry, platform::win32::Win32Registry>;
#else
using Implementations = ::testing::Types<testing::FakeRegistry>;
#endif

template <typename Impl>
class RegistryContractTest : public ::testing::Test {
protected:
    void SetUp() override { RegistryUnderTest<Impl>::Clean(); }
    void TearDown() override { RegistryUnderTest<Impl>::Clean(); }
    platform::Registry& Registry() { return under_.registry; }

private:
    RegistryUnderTest<Impl> under_;
};

TYPED_TEST_SUITE(RegistryContractTest, Implementations);

struct RawCase {
    const char* name;
    RawRegistryValue value;
};

TYPED_TEST(RegistryContractTest, EveryTypeComesBackWithItsExactBytes) {
    const RawCase cases[] = {
        {"Text", {regtype::kSz, kKeltoDanaUtf16}},
        {"Expandable", {regtype::kExpandSz, {'%', 0, 'T', 0, '%', 0, 0, 0}}},
        {"Number", {regtype::kDword, {0x78, 0x56, 0x34, 0x12}}},
        {"Binary", {regtype::kBinary, {0x00, 0xFF, 0x10, 0x00}}},
        {"EmptyBinary", {regtype::kBinary, {}}},
        {"List", {regtype::kMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}},
        {"Wide", {regtype::kQword, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"", {regtype::kDword, {1, 0, 0, 0}}},  // the key's default value
    };
    auto& registry = this->Registry();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(registry.WriteRaw(kTestKey + c.name, c.value).Ok());
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawRegistryValue read;
        EXPECT_EQ(registry.ReadRaw(kTestKey + c.name, read), (ReadResult{ReadStatus::Ok, 0}));
        EXPECT_EQ(read.type, c.value.type);
        EXPECT_EQ(read.bytes, c.value.bytes);
    }
}

TYPED_TEST(RegistryContractTest, RawWritesReplaceAValueOfAnotherType) {
    auto& registry = this->Registry();
    ASSERT_TRUE(registry.WriteString(kTestKey + "Setting", "on"));
    ASSERT_TRUE(registry.WriteRaw(kTestKey + "Setting", {regtype::kDword, {7, 0, 0, 0}}).Ok());
    std::uint32_t number = 0;
    EXPECT_TRUE(registry.ReadDword(kTestKey + "Setting", number));
    EXPECT_EQ(number, 7u);
}

TYPED_TEST(RegistryContractTest, TypedWritesStoreWindowsTypesAndBytes) {
    auto& registry = this->Registry();
    ASSERT_TRUE(registry.WriteString(kTestKey + "Text", "Kelto דנה"));
    ASSERT_TRUE(registry.WriteDword(kTestKey + "Number", 0x12345678));
    ASSERT_TRUE(registry.WriteString(kTestKey + "Empty", ""));

    RawRegistryValue text, number, empty;
    ASSERT_TRUE(registry.ReadRaw(kTestKey + "Text", text));
    ASSERT_TRUE(registry.ReadRaw(kTestKey + "Number", number));
    ASSERT_TRUE(registry.ReadRaw(kTestKey + "Empty", empty));
    EXPECT_EQ(text, (RawRegistryValue{regtype::kSz, kKeltoDanaUtf16}));
    EXPECT_EQ(number, (RawRegistryValue{regtype::kDword, {0x78, 0x56, 0x34, 0x12}}));
    EXPECT_EQ(empty, (RawRegistryValue{regtype::kSz, {0, 0}}));
}

struct TypedReadCase {
    const char* name;
    RawRegistryValue stored;
    ReadStatus asText;
    std::string text;  // when read as text
    ReadStatus asNumber;
    std::uint32_t number;  // when read as a DWORD
};

TYPED_TEST(RegistryContractTest, TypedReadsTellAWrongTypeFromAMissingValue) {
    const TypedReadCase cases[] = {
        {"Text", {regtype::kSz, kKeltoDanaUtf16}, ReadStatus::Ok, "Kelto דנה", ReadStatus::WrongType, 0},
        {"Expandable",
         {regtype::kExpandSz, {'%', 0, 'T', 0, '%', 0, 0, 0}},
         ReadStatus::Ok,
         "%T%",
         ReadStatus::WrongType,
         0},
        {"Number",
         {regtype::kDword, {0x78, 0x56, 0x34, 0x12}},
         ReadStatus::Ok,
         "305419896",
         ReadStatus::Ok,
         0x12345678},
        // Only the terminating nulls go: a null inside the text is part of what was stored.
        {"InnerNull",
         {regtype::kSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
         ReadStatus::Ok,
         std::string("a\0b", 3),
         ReadStatus::WrongType,
         0},
        {"Binary", {regtype::kBinary, {1, 0, 0, 0}}, ReadStatus::WrongType, "", ReadStatus::WrongType, 0},
        {"Wide",
         {regtype::kQword, {1, 0, 0, 0, 0, 0, 0, 0}},
         ReadStatus::WrongType,
         "",
         ReadStatus::WrongType,
         0},
    };
    auto& registry = this->Registry();
    for (const auto& c : cases) ASSERT_TRUE(registry.WriteRaw(kTestKey + c.name, c.stored).Ok()) << c.name;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "untouched";
        std::uint32_t number = 99;
        EXPECT_EQ(registry.ReadString(kTestKey + c.name, text).status, c.asText);
        EXPECT_EQ(text, c.asText == ReadStatus::Ok ? c.text : "untouched");
        EXPECT_EQ(registry.ReadDword(kTestKey + c.name, number).status, c.asNumber);
        EXPECT_EQ(number, c.asNumber == ReadStatus::Ok ? c.number : 99u);
    }
}

TYPED_TEST(RegistryContractTest, MissingValuesAndKeysReadAsAbsent) {
    auto& registry = this->Registry();
    ASSERT_TRUE(registry.WriteString(kTestKey + "Present", "x"));
    const std::string missing[] = {kTestKey + "Missing", kTestKey + "NoSuchKey\\Value",
                                   kTestKey + "NoSuchKey\\"};
    for (const auto& name : missing) {
        SCOPED_TRACE(name);
        std::string text;
        std::uint32_t number = 0;
        RawRegistryValue raw;
        EXPECT_EQ(registry.ReadString(name, text), (ReadResult{ReadStatus::Absent, 0}));
        EXPECT_EQ(registry.ReadDword(name, number), (ReadResult{ReadStatus::Absent, 0}));
        EXPECT_EQ(registry.ReadRaw(name, raw), (ReadResult{ReadStatus::Absent, 0}));
        EXPECT_FALSE(registry.ReadString(name, text));
    }
}

TYPED_TEST(RegistryContractTest, NamesAreCaseInsensitive) {
    auto& registry = this->Registry();
    ASSERT_TRUE(registry.WriteRaw(kTestKey + "Mixed\\Value", {regtype::kBinary, {9}}).Ok());
    RawRegistryValue raw;
    EXPECT_TRUE(registry.ReadRaw("hkcu\\software\\keltotest\\REGISTRY\\mixed\\VALUE", raw));
    EXPECT_EQ(raw, (RawRegistryValue{regtype::kBinary, {9}}));
}

// ---- what only the double does: failures on demand ----

TEST(FakeRegistry, ScriptedReadFailuresCarryTheirErrorNumber) {
    testing::FakeRegistry registry;
    ASSERT_TRUE(registry.WriteDword(kTestKey + "Locked", 1));
    registry.FailReads(kTestKey + "LOCKED", 5);
    std::uint32_t number = 0;
    RawRegistryValue raw;
    EXPECT_EQ(registry.ReadDword(kTestKey + "Locked", number), (ReadResult{ReadStatus::Failed, 5}));
    EXPECT_EQ(registry.ReadRaw(kTestKey + "Locked", raw), (ReadResult{ReadStatus::Failed, 5}));
}

TEST(FakeRegistry, RefusedRawWritesReportAccessDeniedAndChangeNothing) {
    testing::FakeRegistry registry;
    ASSERT_TRUE(registry.WriteString(kTestKey + "Kept", "before"));
    registry.failWritesAfter = 1;
    EXPECT_EQ(registry.WriteRaw(kTestKey + "Kept", {regtype::kDword, {1, 0, 0, 0}}), platform::Outcome{5});
    const std::vector<std::string> unchanged{"hkcu\\", "hkcu\\software\\", "hkcu\\software\\keltotest\\",
                                             "hkcu\\software\\keltotest\\registry\\",
                                             "hkcu\\software\\keltotest\\registry\\kept=before"};
    EXPECT_EQ(registry.Dump(), unchanged);
}

TEST(FakeRegistry, DumpShowsOtherTypesWithTheirBytes) {
    testing::FakeRegistry registry;
    ASSERT_TRUE(registry.WriteRaw("HKCU\\K\\Blob", {regtype::kBinary, {0x00, 0xAB, 0x7F}}).Ok());
    EXPECT_EQ(registry.Dump(),
              (std::vector<std::string>{"hkcu\\", "hkcu\\k\\", "hkcu\\k\\blob=(type 3) 00 ab 7f"}));
}

// ---- folders ----

TEST(FakeFileSystem, CreatingAFolderReportsWindowsErrorNumbers) {
    testing::FakeFileSystem files;
    files.AddFile("C:\\Data\\file.txt");
    files.readOnlyFolders.insert("C:\\Locked");
    EXPECT_EQ(files.CreateFolder("C:\\Data\\New"), platform::Outcome{0});
    EXPECT_TRUE(files.FolderExists("C:\\Data\\New"));
    EXPECT_EQ(files.CreateFolder("C:\\Data\\New"), platform::Outcome{183});       // ERROR_ALREADY_EXISTS
    EXPECT_EQ(files.CreateFolder("C:\\Data\\file.txt"), platform::Outcome{183});  // a file of that name
    EXPECT_EQ(files.CreateFolder("C:\\Locked\\New"), platform::Outcome{5});       // ERROR_ACCESS_DENIED
    EXPECT_FALSE(files.FolderExists("C:\\Locked\\New"));
}

}  // namespace
}  // namespace kelto

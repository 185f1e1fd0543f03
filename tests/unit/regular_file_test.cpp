// Which opened files the log may be written to, from the facts the file's own handle gives.
#include "platform/regular_file.h"

#include <gtest/gtest.h>

namespace kelto {
namespace {

using platform::OpenedFileFacts;

struct FactsCase {
    const char* name;
    OpenedFileFacts facts;
    bool regular;
};

void PrintTo(const FactsCase& c, std::ostream* os) { *os << c.name; }

class RegularFile : public ::testing::TestWithParam<FactsCase> {};

TEST_P(RegularFile, OnlyAFileWithOneNameAndNoNameSurrogate) {
    EXPECT_EQ(platform::IsRegularFile(GetParam().facts), GetParam().regular);
}

// Tags and attributes as Windows reports them (FILE_ATTRIBUTE_ARCHIVE 0x20, _REPARSE_POINT
// 0x400, _DIRECTORY 0x10; IO_REPARSE_TAG_SYMLINK 0xA000000C, _MOUNT_POINT 0xA0000003,
// _CLOUD_6 0x9000601A, _DEDUP 0x80000013, _APPEXECLINK 0x8000001B).
INSTANTIATE_TEST_SUITE_P(
    Table, RegularFile,
    ::testing::Values(FactsCase{"PlainFile", {0x20, 0, 1}, true},
                      FactsCase{"SymbolicLink", {0x420, 0xA000000C, 1}, false},
                      FactsCase{"JunctionOrMountPoint", {0x410, 0xA0000003, 1}, false},
                      FactsCase{"AnyOtherNameSurrogate", {0x400, 0x20000099, 1}, false},
                      FactsCase{"SecondHardLink", {0x20, 0, 2}, false},
                      FactsCase{"ManyHardLinks", {0x20, 0, 7}, false},
                      FactsCase{"NoNameLeft", {0x20, 0, 0}, false}, FactsCase{"Folder", {0x10, 0, 1}, false},
                      FactsCase{"CloudSyncedFile", {0x420, 0x9000601A, 1}, true},
                      FactsCase{"DeduplicatedFile", {0x420, 0x80000013, 1}, true},
                      // The tag means something only with the attribute.
                      FactsCase{"TagWithoutTheAttribute", {0x20, 0xA000000C, 1}, true},
                      FactsCase{"CloudSyncedWithASecondLink", {0x420, 0x9000601A, 2}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegularFile, NameSurrogateIsBit29OfTheTag) {
    EXPECT_TRUE(platform::IsNameSurrogateTag(0xA000000C));
    EXPECT_TRUE(platform::IsNameSurrogateTag(0x20000000));
    EXPECT_FALSE(platform::IsNameSurrogateTag(0x8000001B));
    EXPECT_FALSE(platform::IsNameSurrogateTag(0xDFFFFFFF));
}

}  // namespace
}  // namespace kelto

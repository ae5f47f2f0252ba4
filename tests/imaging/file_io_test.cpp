#include "file_io.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

TEST(ThreeLetterExtension, TakesExactlyThreeCharactersAfterTheLastDot) {
    EXPECT_EQ(ThreeLetterExtension("x.abm"), "abm");
    EXPECT_EQ(ThreeLetterExtension("X.ABM"), "ABM");
    EXPECT_EQ(ThreeLetterExtension("a.b.AB2"), "AB2");
    EXPECT_EQ(ThreeLetterExtension("x.abmx"), "");
    EXPECT_EQ(ThreeLetterExtension("x.ab"), "");
    EXPECT_EQ(ThreeLetterExtension("x."), "");
}

TEST(ThreeLetterExtension, NameWithoutDotCountsOnlyWhenThreeLong) {
    EXPECT_EQ(ThreeLetterExtension("ABM"), "ABM");
    EXPECT_EQ(ThreeLetterExtension("x"), "");
    EXPECT_EQ(ThreeLetterExtension("abmx"), "");
    // A dot in a directory name is not the file's extension.
    EXPECT_EQ(ThreeLetterExtension("dir.abm/ABM"), "ABM");
    EXPECT_EQ(ThreeLetterExtension("dir.abm/picture"), "");
}

TEST(FileLength, IsTheByteCountOrZeroWhenUnreadable) {
    test::TempDir dir;
    test::WriteBytes(dir.file("f"), std::vector<uint8_t>(1234, 7));
    EXPECT_EQ(FileLength(dir.file("f")), 1234);
    EXPECT_EQ(FileLength(dir.file("missing")), 0);
    EXPECT_EQ(FileLength(dir.path()), 0);
}

TEST(ReadFilePrefix, StopsAtTheLimit) {
    test::TempDir dir;
    test::WriteBytes(dir.file("f"), std::vector<uint8_t>(100, 1));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFilePrefix(dir.file("f"), 40, bytes));
    EXPECT_EQ(bytes.size(), 40u);
    ASSERT_TRUE(ReadFilePrefix(dir.file("f"), 400, bytes));
    EXPECT_EQ(bytes.size(), 100u);
    EXPECT_FALSE(ReadFilePrefix(dir.file("missing"), 40, bytes));
}

TEST(WriteWholeFile, LeavesNothingWhenTheFileCannotBeMade) {
    test::TempDir dir;
    EXPECT_TRUE(WriteWholeFile(dir.file("ok"), {1, 2, 3}));
    EXPECT_EQ(test::ReadBytes(dir.file("ok")).size(), 3u);
    EXPECT_FALSE(WriteWholeFile(dir.file("no/such/dir"), {1}));
    // /dev/full accepts the open and fails the write.
    EXPECT_FALSE(WriteWholeFile("/dev/full", std::vector<uint8_t>(100000, 1)));
}

TEST(Format, FormatsLikePrintf) {
    EXPECT_EQ(Format("INPUT FILE %s SIZE %d\n", "a.abm", 16), "INPUT FILE a.abm SIZE 16\n");
    EXPECT_EQ(Format("%s", std::string(5000, 'x').c_str()).size(), 5000u);
}

} // namespace
} // namespace pavoline

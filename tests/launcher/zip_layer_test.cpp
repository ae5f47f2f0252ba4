#include "temp_dir.h"
#include "zip_builder.h"
#include "zip_layer.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

TEST(ZipNameRules, DropDrivesLeadingSeparatorsAndClimbs) {
    EXPECT_EQ(ApplyEntryNameRules("c:\\a\\..\\b\\c.png"), "b\\c.png");
    EXPECT_EQ(ApplyEntryNameRules("/x/../y"), "y");
    EXPECT_EQ(ApplyEntryNameRules("\\\\server\\share\\f"), "server\\share\\f");
    EXPECT_EQ(ApplyEntryNameRules("a/..\\b"), "b");
    EXPECT_EQ(ApplyEntryNameRules("a\\../b"), "b");
    EXPECT_EQ(ApplyEntryNameRules("N70/N70.so"), "N70/N70.so");
    EXPECT_EQ(ApplyEntryNameRules("C:/../../etc/passwd"), "etc/passwd");
}

TEST(ZipNameRules, SafePathsStayBelowTheModelDirectory) {
    EXPECT_EQ(SafeEntryPath("b\\c.png").value_or("-"), "b/c.png");
    EXPECT_EQ(SafeEntryPath("./a//b/").value_or("-"), "a/b");
    for (const char* climbing : {"../x", "..", "a/../../x", "..\\x", "/abs", "", "./"})
        EXPECT_FALSE(SafeEntryPath(climbing)) << climbing;
}

TEST(ZipAttributes, DosHostsKeepTheirBitsOthersAreMapped) {
    for (unsigned host : {0u, 7u, 11u, 14u}) {
        EXPECT_EQ(MapEntryAttributes(host, 0x10), 0x10u);
        EXPECT_EQ(MapEntryAttributes(host, 0xFFFF0037), 0x37u);
    }
    EXPECT_EQ(MapEntryAttributes(3, (040755u << 16) | 0x10), 0x30u); // Unix directory
    EXPECT_EQ(MapEntryAttributes(3, 0100644u << 16), 0x20u);
    EXPECT_EQ(MapEntryAttributes(3, 0100444u << 16), 0x21u);          // no owner write: read-only
    EXPECT_TRUE(IsSymbolicLinkEntry(3, 0120777u << 16));
    EXPECT_FALSE(IsSymbolicLinkEntry(3, 0100644u << 16));
    EXPECT_FALSE(IsSymbolicLinkEntry(0, 0120777u << 16));
}

TEST(ZipReader, ReportsEntriesAndReadsThemInPieces) {
    test::TempDir dir;
    const std::string big(50000, 'z');
    test::WriteZip(dir.file("p.zip"), {test::DirectoryEntry("img/"), test::FileEntry("img/a.png", big),
                                       test::UnixFileEntry("c:\\x\\..\\b.txt", "hello")});
    std::unique_ptr<ZipReader> zip = ZipReader::Open(dir.file("p.zip"));
    ASSERT_TRUE(zip);
    ASSERT_EQ(zip->entries().size(), 3u);
    EXPECT_EQ(zip->entries()[0].attributes, kAttrDirectory);
    EXPECT_EQ(zip->entries()[1].uncompressedSize, 50000u);
    EXPECT_EQ(zip->entries()[2].storedName, "c:\\x\\..\\b.txt");
    EXPECT_EQ(zip->entries()[2].name, "b.txt");
    EXPECT_EQ(zip->entries()[2].attributes, kAttrArchive);
    ASSERT_TRUE(zip->beginEntry(1));
    std::vector<uint8_t> piece(kZipPieceSize);
    std::string read;
    for (int n; (n = zip->readPiece(piece.data(), piece.size())) > 0;) {
        EXPECT_LE(static_cast<size_t>(n), kZipPieceSize);
        read.append(piece.begin(), piece.begin() + n);
    }
    EXPECT_TRUE(zip->endEntry());
    EXPECT_EQ(read, big);
    EXPECT_FALSE(ZipReader::Open(dir.file("none.zip")));
    test::WriteBytes(dir.file("junk.zip"), {'n', 'o', 't', ' ', 'z', 'i', 'p'});
    EXPECT_FALSE(ZipReader::Open(dir.file("junk.zip")));
}

} // namespace
} // namespace pavoline

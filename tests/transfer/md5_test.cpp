#include "md5.h"
#include "process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace pavoline {
namespace {

std::string Md5Of(const std::string& text) { return BytesMd5Text(text.data(), text.size()); }

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Md5Of(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Of("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(Md5Of("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Of("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(Md5Of("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "D174AB98D277D9F5A5611C2C9F419D9F");
    EXPECT_EQ(Md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57EDF4A22BE3C955AC49DA2E2107B67A");
    // 56 (mod 64) bytes leave no room for the length in the last block: padding takes one more.
    EXPECT_EQ(Md5Of(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
    EXPECT_EQ(Md5Of(std::string(120, 'a')), "5F61C0CCAD4CAC44C75FF505E1F1E537");
}

TEST(Md5, PiecewiseUpdatesGiveTheSameDigest) {
    std::string text(1000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 31);
    for (size_t split : {0, 1, 55, 56, 63, 64, 65, 999}) {
        MD5_CTX md5;
        md5.update(reinterpret_cast<const uint8_t*>(text.data()), split);
        md5.update(reinterpret_cast<const uint8_t*>(text.data()) + split, text.size() - split);
        uint8_t digest[16];
        md5.final(digest);
        EXPECT_EQ(Md5Text(digest), Md5Of(text)) << split;
    }
}

TEST(FileMd5Hex, MatchesMd5sumAtChunkBoundaries) {
    test::TempDir dir;
    std::mt19937 random(5);
    for (size_t size : {size_t{0}, size_t{1023999}, size_t{1024000}, size_t{1024001}, size_t{3072000}}) {
        std::vector<uint8_t> bytes(size);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        const std::string path = dir.file("f" + std::to_string(size));
        test::WriteBytes(path, bytes);
        const test::ProcessResult md5sum = test::RunProgram("/usr/bin/md5sum", {path});
        std::string expected = md5sum.out.substr(0, 32);
        for (char& c : expected) c = static_cast<char>(std::toupper(c));
        EXPECT_EQ(FileMd5Text(path), expected) << size;
    }
}

TEST(FileMd5Hex, UnreadableFileGivesNoDigest) {
    uint8_t digest[16];
    EXPECT_FALSE(FileMd5Hex("/nonexistent/file.zip", digest));
    EXPECT_EQ(FileMd5Text("/nonexistent/file.zip"), "");
}

TEST(ChecksumMatches, IgnoresLetterCaseOnly) {
    const std::string digest = "D41D8CD98F00B204E9800998ECF8427E";
    EXPECT_TRUE(ChecksumMatches("d41d8cd98f00b204e9800998ecf8427e", digest));
    EXPECT_TRUE(ChecksumMatches(digest, digest));
    EXPECT_FALSE(ChecksumMatches(digest + " ", digest));
    EXPECT_FALSE(ChecksumMatches(digest.substr(1), digest));
    // A digest that could not be computed matches nothing, not even an empty checksum.
    EXPECT_FALSE(ChecksumMatches("", FileMd5Text("/nonexistent")));
}

} // namespace
} // namespace pavoline

#include "bytes.h"
#include "presk.h"
#include "process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace pavoline {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const char* kUsage = "Make Sequence 0.1\nUsage: presk [image type: ABM, PNG] [frame delay] [repeat count] "
                     "[output filename] [input filenames]\n";

std::vector<uint8_t> AbmFrame(uint16_t width, uint16_t heightField, size_t length) {
    std::vector<uint8_t> frame;
    PutLe16(frame, width);
    PutLe16(frame, heightField);
    frame.resize(length, 0x5A);
    return frame;
}

std::vector<uint8_t> PngStart(uint32_t width, uint32_t height) {
    std::vector<uint8_t> png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
    png.resize(60, 0);
    return png;
}

test::ProcessResult Presk(const std::vector<std::string>& args) {
    std::ostringstream out;
    const int code = RunPresk(args, out);
    return {code, out.str(), ""};
}

TEST(Presk, MakesTheOneFrameSequenceOf120Bytes) {
    TempDir dir;
    const std::vector<uint8_t> frame = AbmFrame(240, 320, 100);
    WriteBytes(dir.file("f.abm"), frame);
    const auto run = test::RunProgram(test::SuiteProgram("presk"), {"ABM", "7", "0", "s.seq", "f.abm"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "N1 W240 H320\n");
    std::vector<uint8_t> expected = {0x3C, 0x01, 0x00, 0x00, 0x00, 0x40, 0x01, 0x0F};
    PutLe32(expected, 8);
    PutLe32(expected, 100);
    PutLe32(expected, 7);
    expected.insert(expected.end(), frame.begin(), frame.end());
    EXPECT_EQ(ReadBytes(dir.file("s.seq")), expected);
    EXPECT_EQ(expected.size(), 120u);
}

TEST(Presk, TableChainsOffsetsAndRepeatsTheDelay) {
    TempDir dir;
    WriteBytes(dir.file("a.abm"), AbmFrame(3, 0x8000 | 5, 10)); // bit 15 is not part of the height
    WriteBytes(dir.file("b.abm"), AbmFrame(3, 5, 2500));
    const test::ProcessResult run = Presk({"ABM", "-40", "300", dir.file("s.seq"), dir.file("a.abm"), dir.file("b.abm")});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "N2 W3 H5\n");
    const std::vector<uint8_t> seq = ReadBytes(dir.file("s.seq"));
    ASSERT_EQ(seq.size(), 8u + 24 + 10 + 2500);
    EXPECT_EQ(seq[2], 44); // 300 keeps its low 8 bits
    EXPECT_EQ(Le32(&seq[8]), 8u);
    EXPECT_EQ(Le32(&seq[12]), 10u);
    EXPECT_EQ(Le32(&seq[20]), 18u);
    EXPECT_EQ(Le32(&seq[24]), 2500u);
    EXPECT_EQ(static_cast<int32_t>(Le32(&seq[16])), -40);
    EXPECT_EQ(static_cast<int32_t>(Le32(&seq[28])), -40);
    EXPECT_EQ(std::vector<uint8_t>(seq.begin() + 42, seq.end()), AbmFrame(3, 5, 2500));
}

TEST(Presk, PngFramesTakeTheirSizeFromTheHeaderChunk) {
    TempDir dir;
    WriteBytes(dir.file("a.png"), PngStart(300, 200));
    const test::ProcessResult run = Presk({"PNG", "abc", "1", dir.file("s.seq"), dir.file("a.png")});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "N1 W300 H200\n");
    const std::vector<uint8_t> seq = ReadBytes(dir.file("s.seq"));
    EXPECT_EQ(seq[0], 0x39);
    EXPECT_EQ(Le32(&seq[16]), 0u); // a delay that is no number reads as 0

    std::vector<uint8_t> notPng = PngStart(300, 200);
    notPng[12] = 'X';
    WriteBytes(dir.file("b.png"), notPng);
    const std::string bad = dir.file("b.png");
    EXPECT_EQ(Presk({"PNG", "1", "1", dir.file("t.seq"), bad}).out, "Error getting PNG file " + bad + " dimension!\n");
    std::vector<uint8_t> cut = PngStart(1, 1);
    cut.resize(20);
    WriteBytes(dir.file("c.png"), cut);
    EXPECT_EQ(Presk({"PNG", "1", "1", dir.file("t.seq"), dir.file("c.png")}).exitCode, 1);
    // Sizes beyond the 12-bit fields cannot be stored.
    WriteBytes(dir.file("d.png"), PngStart(5000, 10));
    EXPECT_EQ(Presk({"PNG", "1", "1", dir.file("t.seq"), dir.file("d.png")}).exitCode, 1);
}

TEST(Presk, ArgumentsAndTypeAreChecked) {
    EXPECT_EQ(Presk({"ABM", "1", "1", "out"}).out, kUsage);
    EXPECT_EQ(Presk({"ABM", "1", "1", "out"}).exitCode, 1);
    TempDir dir;
    const test::ProcessResult lower = Presk({"abm", "1", "1", dir.file("s.seq"), "x"});
    EXPECT_EQ(lower.exitCode, 1);
    EXPECT_EQ(lower.out, "Not supported image type!\n");
    EXPECT_FALSE(FileExists(dir.file("s.seq")));
    const std::string unwritable = dir.file("no/dir/s.seq");
    EXPECT_EQ(Presk({"ABM", "1", "1", unwritable, "x"}).out, "Error to write the output file " + unwritable + "\n");
}

TEST(Presk, RefusesMoreFramesThanTheCountByteHolds) {
    TempDir dir;
    WriteBytes(dir.file("f.abm"), AbmFrame(1, 1, 12));
    std::vector<std::string> args = {"ABM", "1", "1", dir.file("s.seq")};
    args.insert(args.end(), 255, dir.file("f.abm"));
    const test::ProcessResult accepted = Presk(args);
    EXPECT_EQ(accepted.exitCode, 0);
    EXPECT_EQ(ReadBytes(dir.file("s.seq"))[1], 255);
    args.push_back(dir.file("f.abm"));
    const test::ProcessResult refused = Presk(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "too many input files");
    EXPECT_TRUE(FileExists(dir.file("s.seq")));
    EXPECT_TRUE(ReadBytes(dir.file("s.seq")).empty());
}

TEST(Presk, MissingInputsAreFoundBeforeTheTableIsWritten) {
    TempDir dir;
    WriteBytes(dir.file("a.abm"), AbmFrame(2, 2, 20));
    const std::string missing = dir.file("missing.abm");
    const test::ProcessResult first = Presk({"ABM", "1", "1", dir.file("s.seq"), missing, dir.file("a.abm")});
    EXPECT_EQ(first.exitCode, 1);
    EXPECT_EQ(first.out, "Error getting ABM file " + missing + " dimension!\n");
    const test::ProcessResult later = Presk({"ABM", "1", "1", dir.file("s.seq"), dir.file("a.abm"), missing});
    EXPECT_EQ(later.exitCode, 1);
    EXPECT_EQ(later.out, "N2 W2 H2\nError when accessing file " + missing + "!\n");
    EXPECT_TRUE(ReadBytes(dir.file("s.seq")).empty());
}

TEST(Presk, ShortAbmFirstFrameReadsMissingHeaderBytesAsZero) {
    TempDir dir;
    WriteBytes(dir.file("a.abm"), {0x07, 0x00, 0x03});
    const test::ProcessResult run = Presk({"ABM", "1", "1", dir.file("s.seq"), dir.file("a.abm")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "N1 W7 H3\n");
}

} // namespace
} // namespace pavoline

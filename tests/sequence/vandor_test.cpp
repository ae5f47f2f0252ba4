#include "bytes.h"
#include "file_io.h"
#include "process.h"
#include "sequence_format.h"
#include "temp_dir.h"
#include "vandor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace pavoline {
namespace {

using test::FileExists;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<uint8_t> Frame(size_t length, uint8_t seed) {
    std::vector<uint8_t> frame(length);
    for (size_t i = 0; i < length; ++i) frame[i] = static_cast<uint8_t>(seed + i * 7);
    return frame;
}

std::vector<uint8_t> Sequence(uint8_t type, const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> out;
    SequenceHeader header;
    header.imageType = type;
    header.frameCount = static_cast<uint8_t>(frames.size());
    AppendSequenceHeader(header, out);
    uint32_t offset = kSequenceHeaderSize;
    for (const auto& frame : frames) {
        AppendSequenceEntry({offset, static_cast<uint32_t>(frame.size()), 10}, out);
        offset += static_cast<uint32_t>(frame.size());
    }
    for (const auto& frame : frames) out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

test::ProcessResult Vandor(const TempDir& dir, const std::vector<std::string>& args) {
    std::ostringstream out;
    const int code = RunVandor(args, out, dir.path());
    return {code, out.str(), ""};
}

TEST(Vandor, ExtractsNumberedFramesAndTheCount) {
    TempDir dir;
    const auto a = Frame(10, 1), b = Frame(2500, 2);
    WriteBytes(dir.file("s.seq"), Sequence(kSequenceTypeAbm, {a, b}));
    const auto run = test::RunProgram(test::SuiteProgram("vandor"), {"s.seq", "info.txt"}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "FC2\n");
    EXPECT_EQ(ReadBytes(dir.file("0.ABM")), a);
    EXPECT_EQ(ReadBytes(dir.file("1.ABM")), b);
    const std::vector<uint8_t> info = ReadBytes(dir.file("info.txt"));
    EXPECT_EQ(std::string(info.begin(), info.end()), "2");
}

TEST(Vandor, ReadsBothPngTypeCodes) {
    for (uint8_t type : {kSequenceTypePng, kSequenceTypePngAlternate}) {
        TempDir dir;
        WriteBytes(dir.file("s.seq"), Sequence(type, {Frame(30, 3)}));
        EXPECT_EQ(Vandor(dir, {dir.file("s.seq"), dir.file("i")}).out, "FC1\n");
        EXPECT_EQ(ReadBytes(dir.file("0.PNG")), Frame(30, 3));
    }
}

TEST(Vandor, PreskOutputRoundTrips) {
    TempDir dir;
    std::vector<uint8_t> png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0, 0, 0, 4, 0, 0, 0, 3};
    png.resize(3000, 0x11);
    WriteBytes(dir.file("a.png"), png);
    WriteBytes(dir.file("b.png"), Frame(1024, 9));
    ASSERT_EQ(test::RunProgram(test::SuiteProgram("presk"), {"PNG", "5", "2", "s.seq", "a.png", "b.png"}, dir.path())
                  .exitCode,
              0);
    EXPECT_EQ(Vandor(dir, {dir.file("s.seq"), dir.file("i")}).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir.file("0.PNG")), png);
    EXPECT_EQ(ReadBytes(dir.file("1.PNG")), Frame(1024, 9));
}

TEST(Vandor, EmptySequenceWritesZero) {
    TempDir dir;
    WriteBytes(dir.file("s.seq"), Sequence(kSequenceTypeAbm, {}));
    EXPECT_EQ(Vandor(dir, {dir.file("s.seq"), dir.file("i")}).out, "FC0\n");
    EXPECT_EQ(ReadBytes(dir.file("i")), std::vector<uint8_t>{'0'});
}

TEST(Vandor, RefusesBadArgumentsAndUnknownFiles) {
    TempDir dir;
    const test::ProcessResult usage = Vandor(dir, {"only-one"});
    EXPECT_EQ(usage.exitCode, 1);
    EXPECT_EQ(usage.out, "Extract Sequence 0.1\nUsage: vandor [input sequence filename] [output info filename]");
    const std::string missing = dir.file("missing.seq");
    EXPECT_EQ(Vandor(dir, {missing, dir.file("i")}).out, "Error to read the file " + missing + "\n");
    WriteBytes(dir.file("short.seq"), {0x3C, 1, 0});
    const test::ProcessResult shortHeader = Vandor(dir, {dir.file("short.seq"), dir.file("i")});
    EXPECT_EQ(shortHeader.exitCode, 1);
    EXPECT_EQ(shortHeader.out, "");
    std::vector<uint8_t> wrong = Sequence(kSequenceTypeAbm, {Frame(4, 0)});
    wrong[0] = 0x00;
    WriteBytes(dir.file("wrong.seq"), wrong);
    EXPECT_EQ(Vandor(dir, {dir.file("wrong.seq"), dir.file("i")}).out, "Wrong sequence file\n");
    EXPECT_FALSE(FileExists(dir.file("i")));
}

TEST(Vandor, TruncatedSequencesLeaveOnlyWholeFrames) {
    const std::string data = std::string(PAVOLINE_TEST_DATA) + "/malformed/";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"seq_table_past_end.seq", {}},
        {"seq_frame_past_end.seq", {"0.ABM"}},
        {"seq_frame_offset_past_end.seq", {}},
    };
    for (const auto& [name, whole] : cases) {
        TempDir dir;
        const test::ProcessResult run = Vandor(dir, {data + name, dir.file("i")});
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.out, "Error to read the file " + data + name + "\n") << name;
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, whole) << name;
    }
}

TEST(Vandor, UnwritableFrameOrInfoFileIsReported) {
    TempDir dir;
    WriteBytes(dir.file("s.seq"), Sequence(kSequenceTypeAbm, {Frame(5, 0)}));
    std::filesystem::create_directory(dir.file("0.ABM"));
    EXPECT_EQ(Vandor(dir, {dir.file("s.seq"), dir.file("i")}).out, "Error writing the output file 0.ABM!\n");
    std::filesystem::remove(dir.file("0.ABM"));
    const std::string info = dir.file("no/dir/i");
    const test::ProcessResult run = Vandor(dir, {dir.file("s.seq"), info});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "FC1\nError writing the output file " + info + "!\n");
}

} // namespace
} // namespace pavoline

#include "decoder_shell.h"
#include "file_io.h"
#include "picture_writers.h"
#include "process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace pavoline {
namespace {

using test::ReadBytes;
using test::RunProgram;
using test::SuiteProgram;
using test::TempDir;
using test::WriteBytes;

const std::vector<uint8_t> kRedDotAbm = {0x02, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x01, 0x00, 0x00, 0xF8, 0x01, 0x00};
const std::vector<uint8_t> kRedDotAb2 = {0x02, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x11,
                                         0x01, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x00, 0x01};
const char* kTulseUsage = "ABM Decoder v0.32\nUsage: TULSE [input filename .ABM] [output 32-bit BMP or TGA file]\n";
const char* kMorinUsage = "AB2 Decoder v0.10\nUsage:\n\tmorin [input filename .AB2] [output 32-bit BMP or TGA file]\n";

Canvas RedDotCanvas() {
    Canvas c(2, 1);
    c.row(0)[0] = 0xFFFF0000;
    return c;
}

test::ProcessResult RunShell(const DecoderTool& tool, const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunDecoderShell(tool, args, out, err);
    return {code, out.str(), err.str()};
}

TEST(DecoderPrograms, DecodeTheRedDotsThroughTheProgramsToBmpAndTga) {
    TempDir dir;
    WriteBytes(dir.file("dot.abm"), kRedDotAbm);
    WriteBytes(dir.file("dot.ab2"), kRedDotAb2);
    const auto tulse = RunProgram(SuiteProgram("TULSE"), {"dot.abm", "dot.bmp"}, dir.path());
    EXPECT_EQ(tulse.exitCode, 0);
    EXPECT_EQ(tulse.out, "INPUT FILE dot.abm SIZE 16\n");
    EXPECT_EQ(ReadBytes(dir.file("dot.bmp")), EncodeBmp32(RedDotCanvas()));
    const auto morin = RunProgram(SuiteProgram("morin"), {"dot.ab2", "dot.tga"}, dir.path());
    EXPECT_EQ(morin.exitCode, 0);
    EXPECT_EQ(morin.out, "INPUT FILE dot.ab2 SIZE 16\n");
    EXPECT_EQ(morin.err, "");
    EXPECT_EQ(ReadBytes(dir.file("dot.tga")), EncodeTga32(RedDotCanvas()));
}

TEST(DecoderPrograms, WrongArgumentCountPrintsTheUsage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"a.abm"}, {"a.abm", "b.bmp", "c"}}) {
        const auto tulse = RunProgram(SuiteProgram("TULSE"), args);
        EXPECT_EQ(tulse.exitCode, 1);
        EXPECT_EQ(tulse.out, kTulseUsage);
        const auto morin = RunProgram(SuiteProgram("morin"), args);
        EXPECT_EQ(morin.exitCode, 1);
        EXPECT_EQ(morin.out, kMorinUsage);
    }
}

TEST(DecoderPrograms, InputExtensionIsCheckedWithoutRegardToCase) {
    TempDir dir;
    for (const char* name : {"x.abm", "X.ABM", "ABM", "y.AbM"}) WriteBytes(dir.file(name), kRedDotAbm);
    for (const char* name : {"x.abm", "X.ABM", "ABM", "y.AbM"}) {
        const test::ProcessResult run = RunShell(kAbmDecoderTool, {dir.file(name), dir.file("o.bmp")});
        EXPECT_EQ(run.exitCode, 0) << name;
    }
    for (const char* name : {"x.abmx", "x", "x.ab2", "abm.", "ABMX"}) {
        const test::ProcessResult run = RunShell(kAbmDecoderTool, {dir.file(name), dir.file("o.bmp")});
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.out, "ONLY SUPPORT ABM FILES!\n") << name;
    }
    EXPECT_EQ(RunShell(kAb2DecoderTool, {"p.abm", "o.bmp"}).out, "ONLY SUPPORT AB2 FILES!\n");
}

TEST(DecoderPrograms, MissingInputReportsSizeZeroThenCannotOpen) {
    const auto run = RunProgram(SuiteProgram("TULSE"), {"/nonexistent/m.abm", "o.bmp"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "INPUT FILE /nonexistent/m.abm SIZE 0\nCannot open the file /nonexistent/m.abm!\n");
}

TEST(DecoderPrograms, OutputNameChoosesTgaOrBmp) {
    TempDir dir;
    WriteBytes(dir.file("dot.abm"), kRedDotAbm);
    const std::vector<uint8_t> bmp = EncodeBmp32(RedDotCanvas()), tga = EncodeTga32(RedDotCanvas());
    const std::vector<std::pair<std::string, bool>> outputs = {
        {"out.TGA", true}, {"a.tga", true}, {".tga", false}, {"out.bmp", false}, {"noext", false}, {"x.tgax", false}};
    for (const auto& [name, isTga] : outputs) {
        ASSERT_EQ(RunProgram(SuiteProgram("TULSE"), {"dot.abm", name}, dir.path()).exitCode, 0);
        EXPECT_EQ(ReadBytes(dir.file(name)), isTga ? tga : bmp) << name;
    }
}

TEST(DecoderPrograms, MalformedFilesAreNamedByTheirFault) {
    const std::vector<std::string> cases = {
        "abm_shorter_than_header.abm",      "abm_width_over_1024.abm",
        "abm_height_over_1024.abm",         "abm_palette_past_end.abm",
        "abm_alpha_table_past_end.abm",     "abm_margins_cover_width.abm",
        "abm_margins_cover_height.abm",     "abm_opaque_limit_zero.abm",
        "ab2_shorter_than_header.ab2",      "ab2_width_over_1024.ab2",
        "ab2_height_over_1024.ab2",         "ab2_opaque_entries_past_end.ab2",
        "ab2_translucent_entries_past_end.ab2", "ab2_margins_cover_width.ab2",
        "ab2_unknown_palette_type.ab2",     "ab2_more_colours_than_indices_hold.ab2",
    };
    TempDir dir;
    for (const std::string& name : cases) {
        const std::string input = std::string(PAVOLINE_TEST_DATA) + "/malformed/" + name;
        const DecoderTool& tool = name.rfind("abm", 0) == 0 ? kAbmDecoderTool : kAb2DecoderTool;
        const test::ProcessResult run = RunShell(tool, {input, dir.file("o.bmp")});
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.out, Format("INPUT FILE %s SIZE %lld\nERROR INPUT FILE\n", input.c_str(),
                                  static_cast<long long>(FileLength(input))))
            << name;
        EXPECT_FALSE(test::FileExists(dir.file("o.bmp"))) << name;
    }
}

TEST(DecoderPrograms, AnAb2WithoutDrawableImageGivesABlankPicture) {
    TempDir dir;
    std::vector<uint8_t> file = kRedDotAb2;
    file[7] = 0x21; // coding 2
    WriteBytes(dir.file("c.ab2"), file);
    ASSERT_EQ(RunShell(kAb2DecoderTool, {dir.file("c.ab2"), dir.file("o.bmp")}).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir.file("o.bmp")), EncodeBmp32(Canvas(2, 1)));
}

TEST(DecoderPrograms, UnwritableOutputFailsWithAMessageOnStandardError) {
    TempDir dir;
    WriteBytes(dir.file("dot.ab2"), kRedDotAb2);
    const auto run = RunProgram(SuiteProgram("morin"), {"dot.ab2", "no/such/dir/o.bmp"}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "INPUT FILE dot.ab2 SIZE 16\n");
    EXPECT_NE(run.err.find("no/such/dir/o.bmp"), std::string::npos);
    const auto full = RunProgram(SuiteProgram("morin"), {"dot.ab2", "/dev/full"}, dir.path());
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("/dev/full"), std::string::npos);
}

} // namespace
} // namespace pavoline

namespace pavoline {
namespace {

TEST(ConsolePrograms, LinkNeitherQtNorCurl) {
    for (const char* program : {"TULSE", "morin", "kelpa", "presk", "vandor"}) {
        const test::ProcessResult ldd = test::RunProgram("/usr/bin/ldd", {test::SuiteProgram(program)});
        ASSERT_EQ(ldd.exitCode, 0) << program;
        EXPECT_EQ(ldd.out.find("libQt"), std::string::npos) << program;
        EXPECT_EQ(ldd.out.find("libcurl"), std::string::npos) << program;
    }
}

} // namespace
} // namespace pavoline

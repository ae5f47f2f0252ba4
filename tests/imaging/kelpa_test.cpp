#include "ab2.h"
#include "abm.h"
#include "bmp_source.h"
#include "bytes.h"
#include "encoder_tool.h"
#include "encoders.h"
#include "picture_files.h"
#include "process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace pavoline {
namespace {

using test::ReadBytes;
using test::RunProgram;
using test::SuiteProgram;
using test::TempDir;
using test::WriteBytes;

const char* kUsage =
    "AB2 Encoder v0.10 (no blue prevent)\nUsage:\n\tkelpa (-abm) [input filename .PNG or .BMP (.PBM)] [output AB2 raw file]\n";

test::ProcessResult Kelpa(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunKelpa(args, out, err);
    return {code, out.str(), err.str()};
}

std::vector<uint8_t> KeyColouredBmp(int width, int height) {
    test::BmpSpec s;
    s.width = width;
    s.height = height;
    s.pixels.assign(static_cast<size_t>(width) * height, kTransparentKeyColour);
    return BuildBmp(s);
}

TEST(Kelpa, AllKeyColouredPictureIsOneTransparentPixelInTheMiddle) {
    TempDir dir;
    WriteBytes(dir.file("key.bmp"), KeyColouredBmp(5, 3));
    const auto ab2 = RunProgram(SuiteProgram("kelpa"), {"key.bmp", "key.ab2"}, dir.path());
    EXPECT_EQ(ab2.exitCode, 0);
    EXPECT_EQ(ab2.out + ab2.err, "");
    EXPECT_EQ(ReadBytes(dir.file("key.ab2")),
              (std::vector<uint8_t>{0x05, 0x30, 0x00, 0x02, 0x01, 0x02, 0x01, 0x11, 0, 0, 0, 0, 0x00, 0x00}));
    const auto abm = RunProgram(SuiteProgram("kelpa"), {"-ABM", "key.bmp", "key.abm"}, dir.path());
    EXPECT_EQ(abm.exitCode, 0);
    EXPECT_EQ(ReadBytes(dir.file("key.abm")),
              (std::vector<uint8_t>{0x05, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x01, 0x02, 0x01, 0x00, 0x00}));
}

TEST(Kelpa, ArgumentsSelectFormatAndNeedTwoFiles) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"a.bmp"}, {"-abm", "a.bmp"},
                                                 {"-ABM", "a.bmp"}}) {
        const auto run = Kelpa(args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, kUsage);
    }
    TempDir dir;
    WriteBytes(dir.file("k.BMP"), KeyColouredBmp(2, 2));
    EXPECT_EQ(Kelpa({"-Abm", dir.file("k.BMP"), dir.file("o"), "ignored"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir.file("o")).size(), 14u); // an ABM
    WriteBytes(dir.file("k.pbm"), KeyColouredBmp(2, 2));
    EXPECT_EQ(Kelpa({dir.file("k.pbm"), dir.file("o2")}).exitCode, 0);
    const auto wrong = Kelpa({dir.file("k.gif"), dir.file("o3")});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out + wrong.err, "");
}

TEST(Kelpa, BmpFailuresExitWithTwoAndWriteNothing) {
    TempDir dir;
    std::vector<uint8_t> bmp = KeyColouredBmp(2, 2);
    bmp[2] += 1; // file-size field one byte off
    WriteBytes(dir.file("off.bmp"), bmp);
    const auto off = Kelpa({dir.file("off.bmp"), dir.file("o.ab2")});
    EXPECT_EQ(off.exitCode, 2);
    EXPECT_EQ(off.out, "[ABM enc] parse BMP error, " + dir.file("off.bmp") + "\n");
    const auto missing = Kelpa({dir.file("none.bmp"), dir.file("o.ab2")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "[ABM enc] open file error: " + dir.file("none.bmp") + "\n");
    EXPECT_FALSE(test::FileExists(dir.file("o.ab2")));
}

Canvas EveryOpaqueKey(int extra) {
    Canvas c(256, 257);
    for (uint32_t i = 0; i < 65536; ++i)
        c.pixels[i] = 0xFF000000u | (i >> 11) << 19 | ((i >> 5) & 63) << 10 | (i & 31) << 3;
    for (int i = 0; i < extra; ++i) c.pixels[65536 + i] = 0x80000000u | i;
    return c;
}

TEST(Kelpa, TooManyColoursWriteNothing) {
    TempDir dir;
    Canvas many = EveryOpaqueKey(1);
    WriteBytes(dir.file("many.png"), test::BuildPngRgba(many));
    for (auto& p : many.pixels) p &= 0x00FFFFFF; // 24-bit BMP: alpha gone, still 65,536 keys
    WriteBytes(dir.file("many.bmp"), test::BuildBmp32(many));
    EXPECT_EQ(Kelpa({dir.file("many.bmp"), dir.file("o")}).exitCode, 2);
    EXPECT_EQ(Kelpa({dir.file("many.png"), dir.file("o")}).exitCode, 1);
    EXPECT_FALSE(test::FileExists(dir.file("o")));
}

TEST(Kelpa, TooManyColoursAreReportedWithTheLimitPassed) {
    TempDir dir;
    Canvas every = EveryOpaqueKey(0);
    WriteBytes(dir.file("every.png"), test::BuildPngRgba(every));
    WriteBytes(dir.file("every.bmp"), test::BuildBmp32(every));
    every.pixels[0] = every.pixels[1]; // 65,535 opaque keys: AB2 holds them, ABM cannot
    WriteBytes(dir.file("opaque.png"), test::BuildPngRgba(every));
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    };
    for (const Case& c : std::vector<Case>{
             {{"every.png", "o"}, 1, "[ABM enc] over 65535 colours: every.png\n"},
             {{"-abm", "every.bmp", "o"}, 2, "[ABM enc] over 65535 colours: every.bmp\n"},
             {{"-abm", "opaque.png", "o"}, 1, "[ABM enc] over 65534 opaque colours: opaque.png\n"},
         }) {
        const auto run = RunProgram(SuiteProgram("kelpa"), c.args, dir.path());
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[c.args.size() - 2];
        EXPECT_EQ(run.out, c.out);
        EXPECT_FALSE(test::FileExists(dir.file("o")));
    }
    EXPECT_EQ(RunProgram(SuiteProgram("kelpa"), {"opaque.png", "o"}, dir.path()).exitCode, 0);
}

TEST(Kelpa, PngProblemsAreReportedWithTheirOwnExitCodes) {
    TempDir dir;
    WriteBytes(dir.file("broken.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    const auto broken = RunProgram(SuiteProgram("kelpa"), {"broken.png", "o.ab2"}, dir.path());
    EXPECT_EQ(broken.exitCode, 7);
    EXPECT_EQ(broken.out, "");
    EXPECT_NE(broken.err.find("broken.png"), std::string::npos);
    EXPECT_EQ(broken.err.back(), '\n');
    EXPECT_EQ(Kelpa({dir.file("none.png"), dir.file("o.ab2")}).exitCode, 7);

    test::PngSpec tall;
    tall.height = 1025;
    tall.colourType = 0;
    tall.rows.assign(1025, {5});
    WriteBytes(dir.file("tall.png"), test::BuildPng(tall));
    const auto big = Kelpa({dir.file("tall.png"), dir.file("o.ab2")});
    EXPECT_EQ(big.exitCode, 1);
    EXPECT_EQ(big.out, "[ABM enc] over 1024 pixels a side: " + dir.file("tall.png") + "\n");
    EXPECT_FALSE(test::FileExists(dir.file("o.ab2")));
    // Cut off inside a colour profile (libpng's bad_iCCP crasher): unreadable, whatever its size says.
    for (const int height : {1025, 8}) {
        tall.height = height;
        tall.rows.assign(static_cast<size_t>(height), {5});
        std::vector<test::PngChunk> chunks = test::SplitPng(test::BuildPng(tall));
        chunks.insert(chunks.begin() + 1, test::PngChunk{"iCCP", std::vector<uint8_t>(300, 'p'), std::nullopt});
        std::vector<uint8_t> cut = test::JoinPng(chunks);
        cut.resize(33 + 8 + 100); // the signature, IHDR, then 100 bytes into the profile
        WriteBytes(dir.file("cut.png"), cut);
        const auto unreadable = Kelpa({dir.file("cut.png"), dir.file("o.ab2")});
        EXPECT_EQ(unreadable.exitCode, 7) << height;
        EXPECT_EQ(unreadable.out, "") << height;
    }
    // No temporary file is left in the working directory.
    EXPECT_FALSE(test::FileExists(dir.file("abmenc_tmp.bmp")));
}

TEST(Kelpa, UnwritableOutputIsReportedAndLeavesNoFile) {
    TempDir dir;
    WriteBytes(dir.file("k.bmp"), KeyColouredBmp(2, 2));
    const auto run = Kelpa({dir.file("k.bmp"), dir.file("no/dir/o.ab2")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no/dir/o.ab2"), std::string::npos);
}

// --- Round trips -----------------------------------------------------------------------------
//
// How far a decoded channel may be from the source, derived from what each step loses:
//  - the key keeps 5 bits of red and blue (loses up to 7) and 6 of green (up to 3);
//    a 5-bit blue of 31 is stored as 30 (up to 8 more);
//  - translucent colours are premultiplied (rounding: 1) and stored in 5/6 bits, and decoding
//    widens them again: the premultiplied value moves by up to 7 (green 3);
//  - un-premultiplying multiplies those premultiplied errors by 255 / a and truncates (AB2's
//    factor 32640 / a is itself truncated: up to 2 more, 3 in all);
//  - capping at 255 only moves a value toward the source.
// Opaque pixels have no premultiply step: the widening alone is up to 7 (green 3, blue 9 with
// the blue rule), as the decoders repeat low or high bits.
int Tolerance(uint32_t alpha, int channel /* 0 blue, 1 green, 2 red */) {
    if (alpha == 255) return channel == 1 ? 3 : channel == 0 ? 9 : 7;
    const int scaled = static_cast<int>((255 + alpha - 1) / alpha); // ceil(255 / a)
    const int base = channel == 1 ? 3 + 3 + 4 * scaled : 7 + 3 + 8 * scaled;
    return std::min(255, base + (channel == 0 ? 8 : 0));
}

void ExpectDecodesBack(const Canvas& source, const Canvas& decoded, bool ab2, const std::string& what) {
    ASSERT_EQ(decoded.pixels.size(), source.pixels.size()) << what;
    int reported = 0;
    for (size_t i = 0; i < source.pixels.size() && reported < 5; ++i) {
        const uint32_t s = source.pixels[i], d = decoded.pixels[i], alpha = s >> 24;
        bool ok = (d >> 24) == alpha;
        if (alpha == 0) ok = ok && (!ab2 || d == 0 || d == kBlankPixel);
        for (int c = 0; c < 3 && alpha != 0; ++c)
            ok = ok && std::abs(int((s >> (8 * c)) & 0xFF) - int((d >> (8 * c)) & 0xFF)) <= Tolerance(alpha, c);
        if (!ok) {
            ++reported;
            ADD_FAILURE() << what << (ab2 ? " AB2" : " ABM") << " pixel " << i << ": source " << std::hex << s
                          << " decoded " << d;
        }
    }
}

struct RandomPicture {
    Canvas picture;
    std::string what;
};

// Random size, colour count, transparent margins, and a mix of opaque, translucent and
// transparent pixels in runs.
RandomPicture MakeRandomPicture(std::mt19937& random, int maxSide, size_t maxColours) {
    auto below = [&](uint32_t n) { return n == 0 ? 0u : static_cast<uint32_t>(random() % n); };
    const int w = 1 + static_cast<int>(below(static_cast<uint32_t>(maxSide))),
              h = 1 + static_cast<int>(below(static_cast<uint32_t>(maxSide)));
    const size_t colours = 1 + below(static_cast<uint32_t>(std::min<size_t>(maxColours, size_t(w) * h)));
    std::vector<uint32_t> palette;
    for (size_t i = 0; i < colours; ++i) {
        const uint32_t kind = below(3);
        const uint32_t alpha = kind == 0 ? 255 : kind == 1 ? 1 + below(254) : 0;
        palette.push_back(alpha << 24 | (random() & 0xFFFFFF));
    }
    Canvas c(w, h, 0);
    const int left = static_cast<int>(below(static_cast<uint32_t>(w))), top = static_cast<int>(below(static_cast<uint32_t>(h)));
    for (int y = top; y < h; ++y) {
        for (int x = left; x < w;) {
            const uint32_t pixel = palette[below(static_cast<uint32_t>(colours))];
            for (int n = 1 + static_cast<int>(below(6)); n > 0 && x < w; --n) c.row(y)[x++] = pixel;
        }
    }
    return {std::move(c), std::to_string(w) + "x" + std::to_string(h) + " with up to " + std::to_string(colours) +
                              " colours"};
}

void RoundTripInProcess(const Canvas& picture, const std::string& what, bool abmToo = true) {
    const std::optional<PictureAnalysis> analysis = AnalysePicture(picture);
    ASSERT_TRUE(analysis) << what;
    const std::vector<uint8_t> ab2 = *EncodeAb2(*analysis, picture.width, picture.height);
    Canvas fromAb2(picture.width, picture.height);
    DecodeAb2(fromAb2, 0, 0, ab2.data(), ab2.size());
    ExpectDecodesBack(picture, fromAb2, true, what);
    if (!abmToo) return;
    const std::vector<uint8_t> abm = *EncodeAbm(*analysis, picture.width, picture.height);
    Canvas fromAbm(picture.width, picture.height);
    ASSERT_EQ(DecodeAbm(0, 0, abm.data(), abm.size(), fromAbm, fromAbm), DecodeStatus::Drawn) << what;
    ExpectDecodesBack(picture, fromAbm, false, what);
}

TEST(KelpaRoundTrip, ManyRandomPicturesDecodeBack) {
    std::mt19937 random(20261208);
    for (int i = 0; i < 300; ++i) {
        const RandomPicture r = MakeRandomPicture(random, i % 50 == 0 ? 1024 : 64, i % 3 == 0 ? 65535 : 300);
        RoundTripInProcess(r.picture, r.what);
    }
}

TEST(KelpaRoundTrip, FullPaletteAndEdgeAlphasDecodeBack) {
    Canvas every = EveryOpaqueKey(0);
    every.pixels[0] = every.pixels[1]; // 65,535 keys: AB2 holds them, ABM's f field cannot
    RoundTripInProcess(every, "every opaque key", false);
    EXPECT_FALSE(EncodeAbm(*AnalysePicture(every), every.width, every.height));
    every.pixels[0] = every.pixels[1] = 0x80000000; // 65,534 opaque and one translucent
    RoundTripInProcess(every, "every opaque key but one");
    Canvas alphas(255, 4);
    for (int a = 1; a < 256; ++a) {
        alphas.row(0)[a - 1] = uint32_t(a) << 24 | 0xFFFFFF;
        alphas.row(1)[a - 1] = uint32_t(a) << 24;
        alphas.row(2)[a - 1] = uint32_t(a) << 24 | 0x0000FF;
        alphas.row(3)[a - 1] = uint32_t(a) << 24 | 0x7F8081;
    }
    RoundTripInProcess(alphas, "every alpha");
}

TEST(KelpaRoundTrip, ThroughTheProgramsAsProcesses) {
    std::mt19937 random(99);
    TempDir dir;
    for (int i = 0; i < 4; ++i) {
        const RandomPicture r = MakeRandomPicture(random, 200, 5000);
        WriteBytes(dir.file("in.png"), test::BuildPngRgba(r.picture));
        ASSERT_EQ(RunProgram(SuiteProgram("kelpa"), {"in.png", "out.ab2"}, dir.path()).exitCode, 0);
        ASSERT_EQ(RunProgram(SuiteProgram("kelpa"), {"-abm", "in.png", "out.abm"}, dir.path()).exitCode, 0);
        ASSERT_EQ(RunProgram(SuiteProgram("morin"), {"out.ab2", "ab2.bmp"}, dir.path()).exitCode, 0);
        ASSERT_EQ(RunProgram(SuiteProgram("TULSE"), {"out.abm", "abm.bmp"}, dir.path()).exitCode, 0);
        for (const auto& [file, ab2] : {std::pair{"ab2.bmp", true}, std::pair{"abm.bmp", false}}) {
            const std::vector<uint8_t> bmp = ReadBytes(dir.file(file));
            const std::optional<Canvas> decoded = ParseBmpSource(bmp.data(), bmp.size(), SourceMode::Alpha);
            ASSERT_TRUE(decoded);
            ExpectDecodesBack(r.picture, *decoded, ab2, r.what);
        }
    }
    // A BMP in colour-key mode, with a path that has spaces and quotes.
    const std::string odd = dir.file("a \"quoted\" name 'x'.bmp");
    WriteBytes(odd, KeyColouredBmp(3, 3));
    EXPECT_EQ(RunProgram(SuiteProgram("kelpa"), {odd, dir.file("o p.ab2")}).exitCode, 0);
}

} // namespace
} // namespace pavoline

#include "abm.h"
#include "image_builders.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

using test::AbmSpec;
using test::BuildAbm;

Canvas Decode(const std::vector<uint8_t>& bytes) {
    const AbmHeader h = *ReadAbmHeader(bytes.data(), bytes.size());
    Canvas canvas(h.width, h.height());
    EXPECT_EQ(DecodeAbm(0, 0, bytes.data(), bytes.size(), canvas, canvas), DecodeStatus::Drawn);
    return canvas;
}

TEST(DecodeAbm, DecodesTheSixteenByteRedDot) {
    const std::vector<uint8_t> file = {0x02, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x01, 0x00, 0x00, 0xF8, 0x01, 0x00};
    AbmSpec spec;
    spec.width = 2;
    spec.f = 2;
    spec.margins.right = 1;
    spec.entries = {0xF800};
    spec.indices = {1};
    EXPECT_EQ(BuildAbm(spec), file);
    const Canvas c = Decode(file);
    EXPECT_EQ(c.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(c.at(1, 0), 0x00FFFFFFu);
}

TEST(DecodeAbm, IndexWidthFollowsTheNumberOfValues) {
    EXPECT_EQ(AbmIndexWidth(2), 1u);
    EXPECT_EQ(AbmIndexWidth(3), 2u);
    EXPECT_EQ(AbmIndexWidth(4), 2u);
    EXPECT_EQ(AbmIndexWidth(5), 3u);
    EXPECT_EQ(AbmIndexWidth(32768), 15u);
    EXPECT_EQ(AbmIndexWidth(32769), 16u);
    EXPECT_EQ(AbmIndexWidth(65536), 16u);
    EXPECT_EQ(AbmIndexWidth(131070), 16u);
}

TEST(DecodeAbm, IndicesCrossWordBoundariesLowBitsFirst) {
    // f + g = 3: 2-bit indices; 9 pixels make 18 bits, so the ninth index straddles two words.
    AbmSpec spec;
    spec.width = 9;
    spec.f = 3;
    spec.entries = {0xF800, 0x001F};
    spec.indices = {1, 2, 0, 1, 2, 0, 1, 2, 2};
    const Canvas c = Decode(BuildAbm(spec));
    const uint32_t red = 0xFFFF0000, blue = 0xFF0000FF, blank = kBlankPixel;
    const std::vector<uint32_t> expected = {red, blue, blank, red, blue, blank, red, blue, blue};
    EXPECT_EQ(c.pixels, expected);
}

TEST(DecodeAbm, SixteenBitIndicesReachTheLastEntry) {
    AbmSpec spec;
    spec.width = 3;
    spec.f = 65535;
    spec.g = 1;
    spec.entries.assign(65535, 0);
    spec.entries[65533] = 0x0841;
    spec.entries[65534] = 0xFFFF;
    spec.alphas = {0};
    spec.indices = {65534, 65535, 1};
    const Canvas c = Decode(BuildAbm(spec));
    EXPECT_EQ(c.at(0, 0), 0xFF090A09u); // low bits repeated when widening
    EXPECT_EQ(c.at(1, 0), 0xFFFFFFFFu); // translucent with t = 0 is opaque, colour unchanged
    EXPECT_EQ(c.at(2, 0), 0xFF000000u);
}

TEST(DecodeAbm, TranslucentColoursAreUnpremultipliedAndCapped) {
    AbmSpec spec;
    spec.width = 3;
    spec.f = 1;
    spec.g = 3;
    spec.entries = {0x8C51, 0xFFFF, 0x8C51}; // 0x89 0x8A 0x89; white
    spec.alphas = {127, 255, 0};             // alpha 128; alpha 0; alpha 255
    spec.indices = {1, 2, 3};
    const Canvas c = Decode(BuildAbm(spec));
    EXPECT_EQ(c.at(0, 0), 0x80FFFFFFu);      // 0x89 * 255 / 128 = 272 -> capped at 255
    EXPECT_EQ(c.at(1, 0), 0x00FFFFFFu);      // t = 255: colour kept, alpha 0
    EXPECT_EQ(c.at(2, 0), 0xFF898A89u);
}

TEST(DecodeAbm, HalfTranslucentChannelIsScaled) {
    AbmSpec spec;
    spec.f = 1;
    spec.g = 1;
    spec.wideEntries = true;
    spec.entries = {0x402010};
    spec.alphas = {127};
    spec.indices = {1};
    EXPECT_EQ(Decode(BuildAbm(spec)).at(0, 0), 0x807F3F1Fu); // c * 255 / 128
}

TEST(DecodeAbm, PadByteBeforeTheStreamIsSkipped) {
    // 12 + 2 * 2 + 1 alpha byte = 17: odd, so a pad byte precedes the stream.
    AbmSpec spec;
    spec.width = 2;
    spec.f = 2;
    spec.g = 1;
    spec.entries = {0x001F, 0xF800};
    spec.alphas = {0};
    spec.indices = {2, 1};
    const std::vector<uint8_t> file = BuildAbm(spec);
    ASSERT_EQ(file[17], 0xFF);
    const Canvas c = Decode(file);
    EXPECT_EQ(c.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(c.at(1, 0), 0xFF0000FFu);
}

TEST(DecodeAbm, OnlyTheCodedAreaIsDrawnFromTheBackground) {
    AbmSpec spec;
    spec.width = 4;
    spec.height = 3;
    spec.f = 2;
    spec.margins = {1, 1, 1, 0};
    spec.entries = {0xFFFF};
    spec.indices = {1, 0, 0, 1};
    const std::vector<uint8_t> file = BuildAbm(spec);
    Canvas background(4, 3, 0x12345678);
    Canvas target(4, 3, 0);
    ASSERT_EQ(DecodeAbm(0, 0, file.data(), file.size(), background, target), DecodeStatus::Drawn);
    EXPECT_EQ(target.at(0, 0), 0u); // outside the coded area: untouched
    EXPECT_EQ(target.at(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(target.at(2, 1), 0x12345678u); // index 0: the background
    EXPECT_EQ(target.at(1, 2), 0x12345678u);
    EXPECT_EQ(target.at(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(target.at(3, 2), 0u);
}

TEST(DecodeAbm, DrawsAtAnOriginInsideALargerCanvas) {
    AbmSpec spec;
    spec.f = 2;
    spec.entries = {0xF800};
    spec.indices = {1};
    const std::vector<uint8_t> file = BuildAbm(spec);
    Canvas canvas(3, 3);
    ASSERT_EQ(DecodeAbm(2, 1, file.data(), file.size(), canvas, canvas), DecodeStatus::Drawn);
    EXPECT_EQ(canvas.at(2, 1), 0xFFFF0000u);
    EXPECT_EQ(DecodeAbm(3, 1, file.data(), file.size(), canvas, canvas), DecodeStatus::Malformed);
    EXPECT_EQ(DecodeAbm(-1, 0, file.data(), file.size(), canvas, canvas), DecodeStatus::Malformed);
}

TEST(DecodeAbm, IndexNamingNoEntryKeepsTheBackground) {
    // f + g = 3 allows index 3 in two bits, which names no entry.
    AbmSpec spec;
    spec.width = 2;
    spec.f = 3;
    spec.entries = {0xF800, 0x07E0};
    spec.indices = {3, 2};
    const Canvas c = Decode(BuildAbm(spec));
    EXPECT_EQ(c.at(0, 0), kBlankPixel);
    EXPECT_EQ(c.at(1, 0), 0xFF00FF00u);
}

TEST(DecodeAbm, ShortStreamReadsAsBackground) {
    AbmSpec spec;
    spec.width = 40;
    spec.f = 2;
    spec.entries = {0xF800};
    spec.indices.assign(16, 1); // one word for 40 pixels
    const Canvas c = Decode(BuildAbm(spec));
    EXPECT_EQ(c.at(15, 0), 0xFFFF0000u);
    EXPECT_EQ(c.at(16, 0), kBlankPixel);
    EXPECT_EQ(c.at(39, 0), kBlankPixel);
}

TEST(DecodeAbm, LargePictureIsDrawnWhole) {
    // More pixels than the original tool's fixed canvas held.
    AbmSpec spec;
    spec.width = 1024;
    spec.height = 1024;
    spec.f = 2;
    spec.entries = {0x001F};
    spec.indices.assign(1024 * 1024, 1);
    const Canvas c = Decode(BuildAbm(spec));
    EXPECT_EQ(c.at(1023, 1023), 0xFF0000FFu);
    EXPECT_EQ(c.at(0, 600), 0xFF0000FFu);
}

TEST(DecodeAbm, RejectsBrokenGeometryBeforeDrawing) {
    AbmSpec spec;
    spec.width = 2;
    spec.f = 2;
    spec.entries = {0xF800};
    spec.indices = {1, 1};
    auto status = [](const std::vector<uint8_t>& file) {
        Canvas canvas(2, 1, 0);
        const DecodeStatus s = DecodeAbm(0, 0, file.data(), file.size(), canvas, canvas);
        if (s != DecodeStatus::Drawn) {
            EXPECT_EQ(canvas.pixels, std::vector<uint32_t>(2, 0));
        }
        return s;
    };
    EXPECT_EQ(status(BuildAbm(spec)), DecodeStatus::Drawn);
    std::vector<uint8_t> file = BuildAbm(spec);
    EXPECT_EQ(status(std::vector<uint8_t>(file.begin(), file.begin() + 13)), DecodeStatus::Malformed);
    EXPECT_EQ(status(std::vector<uint8_t>(file.begin(), file.begin() + 11)), DecodeStatus::Malformed);
    AbmSpec margins = spec;
    margins.margins = {1, 0, 1, 0};
    EXPECT_EQ(status(BuildAbm(margins)), DecodeStatus::Malformed);
    AbmSpec noLimit = spec;
    noLimit.f = 0;
    noLimit.g = 2;
    noLimit.alphas = {0, 0};
    EXPECT_EQ(status(BuildAbm(noLimit)), DecodeStatus::Malformed);
}

} // namespace
} // namespace pavoline

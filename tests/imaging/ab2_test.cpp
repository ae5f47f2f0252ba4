#include "ab2.h"
#include "image_builders.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

using test::Ab2Spec;
using test::BuildAb2;

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// RGB565 entries red, green, blue as indices 1, 2, 3.
Ab2Spec ThreeColours(int width, int height) {
    Ab2Spec s;
    s.width = width;
    s.height = height;
    s.n1 = 3;
    for (uint32_t v : {0xF800u, 0x07E0u, 0x001Fu}) test::AppendLe16(s.opaqueBytes, v);
    return s;
}

Canvas Decode(const std::vector<uint8_t>& bytes, DecodeStatus expected = DecodeStatus::Drawn) {
    const Ab2Header h = *ReadAb2Header(bytes.data(), bytes.size());
    Canvas canvas(h.width, h.height);
    EXPECT_EQ(DecodeAb2(canvas, 0, 0, bytes.data(), bytes.size()), expected);
    return canvas;
}

TEST(DecodeAb2, DecodesTheSixteenByteRedDot) {
    const std::vector<uint8_t> file = {0x02, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x11,
                                       0x01, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x00, 0x01};
    Ab2Spec s;
    s.width = 2;
    s.margins.right = 1;
    s.n1 = 1;
    test::AppendLe16(s.opaqueBytes, 0xF800);
    s.packets = {{0x00, {1}}};
    EXPECT_EQ(BuildAb2(s), file);
    const Canvas c = Decode(file);
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(1, 0), kBlankPixel);
}

TEST(DecodeAb2, IndexWidthIsTheSignificantBitsOfTheColourCount) {
    EXPECT_EQ(SignificantBits(0), 0u);
    EXPECT_EQ(SignificantBits(1), 1u);
    EXPECT_EQ(SignificantBits(3), 2u);
    EXPECT_EQ(SignificantBits(4), 3u);
    EXPECT_EQ(SignificantBits(65535), 16u);
}

TEST(DecodeAb2, ControlValuesSetPacketKindAndLength) {
    Ab2Spec s = ThreeColours(258, 1);
    s.packets = {{0x7F, {1}}, {0x80, {2}}, {0xFF, std::vector<uint32_t>(128, 3)}, {0x00, {2}}};
    const Canvas c = Decode(BuildAb2(s));
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(127, 0), kRed);
    EXPECT_EQ(c.at(128, 0), kGreen);
    EXPECT_EQ(c.at(129, 0), kBlue);
    EXPECT_EQ(c.at(256, 0), kBlue);
    EXPECT_EQ(c.at(257, 0), kGreen);
}

TEST(DecodeAb2, PacketsRunOnAcrossRows) {
    Ab2Spec s = ThreeColours(3, 3);
    s.packets = {{0x03, {1}}, {0x81, {2, 3}}, {0x02, {0}}};
    const Canvas c = Decode(BuildAb2(s));
    const std::vector<uint32_t> expected = {kRed, kRed, kRed, kRed, kGreen, kBlue, 0, 0, 0};
    EXPECT_EQ(c.pixels, expected);
}

TEST(DecodeAb2, IndexZeroIsTransparentBlackOnlyInsideTheCodedArea) {
    Ab2Spec s = ThreeColours(3, 2);
    s.margins = {1, 1, 0, 0};
    s.packets = {{0x00, {0}}, {0x00, {1}}};
    const Canvas c = Decode(BuildAb2(s));
    EXPECT_EQ(c.at(1, 1), 0u);
    EXPECT_EQ(c.at(2, 1), kRed);
    EXPECT_EQ(c.at(0, 1), kBlankPixel);
    EXPECT_EQ(c.at(2, 0), kBlankPixel);
}

TEST(DecodeAb2, Rgb565WidensWithHighBitsRepeated) {
    Ab2Spec s;
    s.width = 2;
    s.n1 = 2;
    test::AppendLe16(s.opaqueBytes, 0x0841);
    test::AppendLe16(s.opaqueBytes, 0xFFFF);
    s.packets = {{0x81, {1, 2}}};
    const Canvas c = Decode(BuildAb2(s));
    EXPECT_EQ(c.at(0, 0), 0xFF080808u);
    EXPECT_EQ(c.at(1, 0), 0xFFFFFFFFu);
}

TEST(DecodeAb2, TranslucentEntriesAreUnpremultiplied) {
    Ab2Spec s;
    s.width = 4;
    s.paletteType = 3;
    s.n1 = 1;
    s.n2 = 3;
    test::AppendLe16(s.opaqueBytes, 0xF800);
    // premultiplied grey at alpha 0x80 (t 0x7F), then t = 0, then t = 255
    for (auto [rgb, t] : {std::pair{0x7BEFu, 0x7Fu}, {0x001Fu, 0u}, {0xFFFFu, 0xFFu}}) {
        test::AppendLe16(s.translucentBytes, rgb);
        s.translucentBytes.push_back(static_cast<uint8_t>(t));
    }
    s.packets = {{0x83, {1, 2, 3, 4}}};
    const std::vector<uint8_t> file = BuildAb2(s);
    EXPECT_EQ(file.size() % 2, 0u);
    const Canvas c = Decode(file);
    EXPECT_EQ(c.at(0, 0), kRed);
    // 0x7B (r5 15 -> 0x7B), 0x7D, 0x7B; each * (32640 / 128 = 255) >> 7
    EXPECT_EQ(c.at(1, 0), 0x80F5F9F5u);
    EXPECT_EQ(c.at(2, 0), kBlue); // t = 0 decodes as opaque
    EXPECT_EQ(c.at(3, 0), 0x00FFFFFFu); // t = 255: alpha 0, left untouched by the pass
}

TEST(DecodeAb2, ChannelAboveItsAlphaIsCapped) {
    Ab2Spec s;
    s.paletteType = 3;
    s.n2 = 1;
    test::AppendLe16(s.translucentBytes, 0xFFFF);
    s.translucentBytes.push_back(0xF0); // alpha 15
    s.packets = {{0x00, {1}}};
    EXPECT_EQ(Decode(BuildAb2(s)).at(0, 0), 0x0FFFFFFFu);
}

TEST(DecodeAb2, WidePaletteTypesReadBlueGreenRed) {
    Ab2Spec s;
    s.width = 2;
    s.paletteType = 2;
    s.n1 = 1;
    s.n2 = 1;
    s.opaqueBytes = {0x30, 0x20, 0x10};
    s.translucentBytes = {0x40, 0x40, 0x40, 0x7F}; // alpha 128, premultiplied
    s.packets = {{0x81, {1, 2}}};
    const Canvas c = Decode(BuildAb2(s));
    EXPECT_EQ(c.at(0, 0), 0xFF102030u);
    EXPECT_EQ(c.at(1, 0), 0x807F7F7Fu);

    Ab2Spec opaqueOnly;
    opaqueOnly.paletteType = 0;
    opaqueOnly.n1 = 1;
    opaqueOnly.opaqueBytes = {0x01, 0x02, 0x03};
    opaqueOnly.packets = {{0x00, {1}}};
    EXPECT_EQ(Decode(BuildAb2(opaqueOnly)).at(0, 0), 0xFF030201u);
}

TEST(DecodeAb2, IndexNamingNoEntryIsTransparent) {
    Ab2Spec s = ThreeColours(2, 1);
    s.n1 = 2; // two colours stored, 2-bit indices allow 3
    s.opaqueBytes.resize(4);
    s.packets = {{0x81, {3, 2}}};
    const Canvas c = Decode(BuildAb2(s));
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(1, 0), kGreen);
}

TEST(DecodeAb2, FilesWithoutADrawableImageLeaveTheCanvasBlank) {
    Ab2Spec s = ThreeColours(2, 2);
    s.coding = 2;
    s.packets = {{0x03, {1}}};
    EXPECT_EQ(Decode(BuildAb2(s), DecodeStatus::NothingDrawn).pixels, std::vector<uint32_t>(4, kBlankPixel));
    Ab2Spec empty;
    empty.width = 2;
    EXPECT_EQ(Decode(BuildAb2(empty), DecodeStatus::NothingDrawn).pixels,
              std::vector<uint32_t>(2, kBlankPixel));
}

TEST(DecodeAb2, ShortStreamReadsAsZeroBits) {
    Ab2Spec s = ThreeColours(300, 1);
    s.packets = {{0x01, {1}}}; // then the stream ends: repeat packets of index 0
    const Canvas c = Decode(BuildAb2(s));
    EXPECT_EQ(c.at(1, 0), kRed);
    EXPECT_EQ(c.at(2, 0), 0u);
    EXPECT_EQ(c.at(299, 0), 0u);
}

TEST(DecodeAb2, RejectsSectionsPastTheEndAndImpossibleGeometry) {
    Ab2Spec s = ThreeColours(2, 1);
    s.packets = {{0x01, {1}}};
    const std::vector<uint8_t> good = BuildAb2(s);
    Canvas canvas(2, 1, 7);
    EXPECT_EQ(DecodeAb2(canvas, 0, 0, good.data(), 17), DecodeStatus::Malformed);
    EXPECT_EQ(DecodeAb2(canvas, 1, 0, good.data(), good.size()), DecodeStatus::Malformed);
    Ab2Spec margins = s;
    margins.margins.bottom = 1;
    std::vector<uint8_t> file = BuildAb2(margins);
    EXPECT_EQ(DecodeAb2(canvas, 0, 0, file.data(), file.size()), DecodeStatus::Malformed);
    Ab2Spec type = s;
    type.paletteType = 4;
    file = BuildAb2(type);
    EXPECT_EQ(DecodeAb2(canvas, 0, 0, file.data(), file.size()), DecodeStatus::Malformed);
    Ab2Spec tooMany = s;
    tooMany.n1 = 65535;
    tooMany.n2 = 1;
    file = BuildAb2(tooMany);
    EXPECT_EQ(DecodeAb2(canvas, 0, 0, file.data(), file.size()), DecodeStatus::Malformed);
    EXPECT_EQ(canvas.pixels, std::vector<uint32_t>(2, 7u));
}

} // namespace
} // namespace pavoline

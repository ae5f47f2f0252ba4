#include "bmp_source.h"
#include "bytes.h"
#include "picture_analysis.h"
#include "picture_files.h"
#include "png_source.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <png.h>
#include <sstream>

namespace pavoline {
namespace {

using test::BmpSpec;
using test::BuildBmp;
using test::PngSpec;

Canvas Parse(const BmpSpec& spec, SourceMode mode = SourceMode::ColourKey) {
    const std::vector<uint8_t> bytes = BuildBmp(spec);
    std::optional<Canvas> c = ParseBmpSource(bytes.data(), bytes.size(), mode);
    EXPECT_TRUE(c);
    return c ? *c : Canvas();
}

TEST(ReadBmpSource, TrueColourRowsAreBottomUpWithTheKeyTransparent) {
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.pixels = {0x123456, 0x0A0B0C, 0xFFFFFF, 0x000000, 0x0A0B0D, 0x0A0B0C};
    for (int bits : {24, 32}) {
        s.bitsPerPixel = bits;
        const Canvas c = Parse(s);
        EXPECT_EQ(c.pixels, (std::vector<uint32_t>{0xFF123456, 0, 0xFFFFFFFF, 0xFF000000, 0xFF0A0B0D, 0})) << bits;
    }
    s.bitsPerPixel = 32;
    s.compression = 3;
    s.pixels[1] = 0x770A0B0C; // the fourth byte is ignored in colour-key mode
    EXPECT_EQ(Parse(s).at(1, 0), 0u);
}

TEST(ReadBmpSource, AlphaModeTakesTheFourthByte) {
    BmpSpec s;
    s.width = 2;
    s.bitsPerPixel = 32;
    s.pixels = {0x800A0B0C, 0x00FFFFFF};
    EXPECT_EQ(Parse(s, SourceMode::Alpha).pixels, (std::vector<uint32_t>{0x800A0B0C, 0x00FFFFFF}));
    s.bitsPerPixel = 24;
    EXPECT_EQ(Parse(s, SourceMode::Alpha).pixels, (std::vector<uint32_t>{0xFF0A0B0C, 0xFFFFFFFF}));
}

TEST(ReadBmpSource, PaletteEntriesEqualToTheFirstAreTransparent) {
    BmpSpec s;
    s.width = 5;
    s.bitsPerPixel = 4;
    s.coloursUsed = 3;
    s.table = {0x00FF0000, 0x0000FF00, 0x00FF0000};
    s.pixels = {0, 1, 2, 1, 0};
    EXPECT_EQ(Parse(s).pixels, (std::vector<uint32_t>{0, 0xFF00FF00, 0, 0xFF00FF00, 0}));
    EXPECT_EQ(Parse(s, SourceMode::Alpha).pixels,
              (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFFFF0000, 0xFF00FF00, 0xFFFF0000}));
    s.bitsPerPixel = 8;
    s.coloursUsed = 0;
    s.table.resize(256, 0x00123456);
    s.pixels = {255, 1, 0, 2, 3};
    EXPECT_EQ(Parse(s).pixels, (std::vector<uint32_t>{0xFF123456, 0xFF00FF00, 0, 0, 0xFF123456}));
}

TEST(ReadBmpSource, RefusesEveryHeaderFault) {
    BmpSpec good;
    good.width = 2;
    good.height = 2;
    good.pixels = {1, 2, 3, 4};
    const std::vector<std::pair<const char*, std::function<void(std::vector<uint8_t>&)>>> faults = {
        {"file size one byte off", [](auto& b) { b[2] += 1; }},
        {"not BM", [](auto& b) { b[1] = 'A'; }},
        {"info header under 40", [](auto& b) { b[14] = 39; }},
        {"16 bits per pixel", [](auto& b) { b[28] = 16; }},
        {"zero width", [](auto& b) { b[18] = 0; }},
        {"width 1025", [](auto& b) { b[18] = 0x01; b[19] = 0x04; }},
        {"top-down", [](auto& b) { b[22] = 0xFE; b[23] = b[24] = b[25] = 0xFF; }},
        {"compression 1", [](auto& b) { b[30] = 1; }},
        {"pixels past the end", [](auto& b) { b[10] = 60; }},
        {"shorter than the headers", [](auto& b) {
             b.resize(40);
             b[2] = 40;
             b[3] = b[4] = b[5] = 0;
         }},
    };
    for (const auto& [name, fault] : faults) {
        std::vector<uint8_t> bytes = BuildBmp(good);
        fault(bytes);
        EXPECT_FALSE(ParseBmpSource(bytes.data(), bytes.size(), SourceMode::ColourKey)) << name;
    }
    BmpSpec indexed = good;
    indexed.bitsPerPixel = 8;
    indexed.coloursUsed = 257;
    indexed.table.assign(257, 0);
    std::vector<uint8_t> bytes = BuildBmp(indexed);
    EXPECT_FALSE(ParseBmpSource(bytes.data(), bytes.size(), SourceMode::ColourKey)) << "257 colours";
    indexed.coloursUsed = 2;
    indexed.table.assign(2, 0);
    bytes = BuildBmp(indexed); // pixel values 3 and 4 name no entry
    EXPECT_FALSE(ParseBmpSource(bytes.data(), bytes.size(), SourceMode::ColourKey)) << "index past the table";
}

TEST(ReadBmpSource, FileProblemsHaveTheirOwnMessages) {
    test::TempDir dir;
    std::ostringstream out;
    EXPECT_FALSE(ReadBmpSource(dir.file("none.bmp"), SourceMode::ColourKey, out));
    test::WriteBytes(dir.file("empty.bmp"), {});
    EXPECT_FALSE(ReadBmpSource(dir.file("empty.bmp"), SourceMode::ColourKey, out));
    test::WriteBytes(dir.file("big.bmp"), std::vector<uint8_t>(kMaxSourceFileSize + 1, 0));
    EXPECT_FALSE(ReadBmpSource(dir.file("big.bmp"), SourceMode::ColourKey, out));
    test::WriteBytes(dir.file("bad.bmp"), std::vector<uint8_t>(100, 0));
    EXPECT_FALSE(ReadBmpSource(dir.file("bad.bmp"), SourceMode::ColourKey, out));
    EXPECT_EQ(out.str(), "[ABM enc] open file error: " + dir.file("none.bmp") + "\n" +
                             "[ABM enc] read buffer error: " + dir.file("empty.bmp") + "\n" +
                             "[ABM enc] over buffer size: " + dir.file("big.bmp") + "\n" +
                             "[ABM enc] parse BMP error, " + dir.file("bad.bmp") + "\n");
}

PngSource DecodePng(const PngSpec& spec) {
    const std::vector<uint8_t> bytes = test::BuildPng(spec);
    return DecodePngSource(bytes.data(), bytes.size());
}

TEST(ReadPngSource, ExpandsEveryColourTypeToEightBitArgb) {
    PngSpec palette;
    palette.width = 3;
    palette.colourType = PNG_COLOR_TYPE_PALETTE;
    palette.palette = {255, 0, 0, 0, 255, 0, 1, 2, 3};
    palette.paletteAlpha = {0, 128};
    palette.rows = {{0, 1, 2}};
    EXPECT_EQ(DecodePng(palette).picture.pixels, (std::vector<uint32_t>{0x00FF0000, 0x8000FF00, 0xFF010203}));

    PngSpec grey;
    grey.width = 2;
    grey.colourType = PNG_COLOR_TYPE_GRAY;
    grey.transparentGrey = 7;
    grey.rows = {{7, 200}};
    EXPECT_EQ(DecodePng(grey).picture.pixels, (std::vector<uint32_t>{0x00070707, 0xFFC8C8C8}));

    PngSpec greyAlpha;
    greyAlpha.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.rows = {{9, 99}};
    EXPECT_EQ(DecodePng(greyAlpha).picture.pixels, (std::vector<uint32_t>{0x63090909}));

    PngSpec lowGrey;
    lowGrey.width = 2;
    lowGrey.colourType = PNG_COLOR_TYPE_GRAY;
    lowGrey.bitDepth = 2;
    lowGrey.rows = {{0xC0}}; // 3, 0
    EXPECT_EQ(DecodePng(lowGrey).picture.pixels, (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000}));

    PngSpec deep;
    deep.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    deep.bitDepth = 16;
    deep.rows = {{0xFF, 0xFF, 0x80, 0x80, 0x00, 0x81, 0x7F, 0x7F}};
    EXPECT_EQ(DecodePng(deep).picture.pixels, (std::vector<uint32_t>{0x7FFF8001}));

    PngSpec rgb;
    rgb.width = 2;
    rgb.height = 3;
    rgb.colourType = PNG_COLOR_TYPE_RGB;
    rgb.interlaced = true;
    for (int y = 0; y < 3; ++y) rgb.rows.push_back({uint8_t(y), 2, 3, 4, 5, uint8_t(y)});
    const Canvas c = DecodePng(rgb).picture;
    EXPECT_EQ(c.at(0, 2), 0xFF020203u);
    EXPECT_EQ(c.at(1, 1), 0xFF040501u);
}

TEST(ReadPngSource, ReportsBrokenFilesAndSizesOutOfRange) {
    PngSpec wide;
    wide.width = 1025;
    wide.colourType = PNG_COLOR_TYPE_GRAY;
    wide.rows = {std::vector<uint8_t>(1025, 1)};
    EXPECT_EQ(DecodePng(wide).status, PngSource::Status::SizeOutOfRange);

    PngSpec ok;
    ok.rows = {{1, 2, 3, 4}};
    std::vector<uint8_t> bytes = test::BuildPng(ok);
    bytes.resize(bytes.size() - 20); // lose the end of the image data
    const PngSource cut = DecodePngSource(bytes.data(), bytes.size());
    EXPECT_EQ(cut.status, PngSource::Status::Broken);
    EXPECT_FALSE(cut.reason.empty());
    const uint8_t text[] = "not a png at all";
    EXPECT_EQ(DecodePngSource(text, sizeof text).status, PngSource::Status::Broken);
    EXPECT_EQ(ReadPngSource("/nonexistent/x.png").status, PngSource::Status::CannotOpen);
}

TEST(ReadPngSource, AFileCutOffAfterItsPixelsIsStillBroken) {
    PngSpec ok;
    ok.rows = {{1, 2, 3, 4}};
    std::vector<uint8_t> bytes = test::BuildPng(ok);
    bytes.resize(bytes.size() - 12); // the end marker is missing
    EXPECT_EQ(DecodePngSource(bytes.data(), bytes.size()).status, PngSource::Status::Broken);
}

TEST(AnalysePicture, OrdersKeysDescendingWithOpaqueFirst) {
    Canvas c(4, 1);
    c.pixels = {0x80808080, 0xFF000000, 0xFFFFFFFF, 0xFF000007}; // grey 50%, black, white, black again
    const PictureAnalysis a = *AnalysePicture(c);
    EXPECT_EQ(a.table.keys, (std::vector<uint32_t>{0xFFF8FCF8, 0xFF000000, 0x80808080}));
    EXPECT_EQ(a.table.opaqueCount, 2u);
    EXPECT_EQ(a.table.translucentCount(), 1u);
    EXPECT_EQ(a.indices, (std::vector<uint16_t>{3, 2, 1, 2}));
}

TEST(AnalysePicture, BoxHoldsTheVisiblePixelsWithMarginsOf255AtMost) {
    Canvas c(600, 4, 0);
    c.row(1)[300] = 0xFF112233;
    c.row(2)[301] = 0x01000000; // barely visible still counts
    const PictureAnalysis a = *AnalysePicture(c);
    EXPECT_EQ(a.left, 255);  // grown from 300
    EXPECT_EQ(a.right, 255); // grown from 298
    EXPECT_EQ(a.top, 1);
    EXPECT_EQ(a.bottom, 1);
    EXPECT_EQ(a.area.width(), 600 - 510);
    EXPECT_EQ(a.indices.size(), 90u * 2);

    const PictureAnalysis empty = *AnalysePicture(Canvas(511, 300, 0));
    EXPECT_EQ(empty.table.size(), 0u);
    EXPECT_EQ(empty.left, 255);
    EXPECT_EQ(empty.area.minX, 255);
    EXPECT_EQ(empty.area.maxX, 255);
    EXPECT_EQ(empty.area.minY, 150);
    EXPECT_EQ(empty.indices, std::vector<uint16_t>{0});
}

TEST(AnalysePicture, TakesAtMost65535Keys) {
    Canvas c(256, 256);
    // Every opaque key once: 5 bits of red, 6 of green, 5 of blue.
    for (uint32_t i = 0; i < 65536; ++i)
        c.pixels[i] = 0xFF000000u | (i >> 11) << 19 | ((i >> 5) & 63) << 10 | (i & 31) << 3;
    EXPECT_FALSE(AnalysePicture(c));
    c.pixels[0] = c.pixels[1];
    EXPECT_EQ(AnalysePicture(c)->table.size(), 65535u);
}

TEST(PaletteRgb565, PremultipliesAndAvoidsFullBlue) {
    EXPECT_EQ(PaletteRgb565(ColourKey(0xFF0000FF)), 0x001E);
    EXPECT_EQ(ColourKey(0x80FFFFFF), 0x80F8FCF8u);
    EXPECT_EQ(PaletteRgb565(0x80F8FCF8), 0x7BEF);
    EXPECT_EQ(PaletteRgb565(0xFFF8FCF8), 0xFFFE);
    EXPECT_EQ(ColourKey(0xFF120000), ColourKey(0xFF150000)); // low 3 bits of red
}

} // namespace
} // namespace pavoline

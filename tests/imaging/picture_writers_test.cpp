#include "bytes.h"
#include "picture_writers.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

Canvas TwoRows() {
    Canvas c(2, 2);
    c.row(0)[0] = 0x11223344; // top row
    c.row(1)[1] = 0xAABBCCDD; // bottom row
    return c;
}

TEST(WriteBmp32, OnePixelFileIs58Bytes) {
    const std::vector<uint8_t> bmp = EncodeBmp32(Canvas(1, 1));
    ASSERT_EQ(bmp.size(), 58u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Le32(&bmp[2]), 58u);
    EXPECT_EQ(Le32(&bmp[10]), 54u);
    EXPECT_EQ(Le32(&bmp[14]), 40u);
    EXPECT_EQ(Le32(&bmp[18]), 1u);
    EXPECT_EQ(Le32(&bmp[22]), 1u);
    EXPECT_EQ(Le16(&bmp[26]), 1u);
    EXPECT_EQ(Le16(&bmp[28]), 32u);
    EXPECT_EQ(Le32(&bmp[30]), 0u);
    EXPECT_EQ(Le32(&bmp[34]), 4u);
    EXPECT_EQ(Le32(&bmp[54]), kBlankPixel);
}

TEST(WriteTga32, OnePixelFileIs22Bytes) {
    const std::vector<uint8_t> tga = EncodeTga32(Canvas(1, 1));
    const std::vector<uint8_t> header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8};
    ASSERT_EQ(tga.size(), 22u);
    EXPECT_EQ(std::vector<uint8_t>(tga.begin(), tga.begin() + 18), header);
}

TEST(PictureWriters, BottomRowComesFirstAsBlueGreenRedAlpha) {
    const Canvas c = TwoRows();
    const std::vector<uint8_t> bmp = EncodeBmp32(c), tga = EncodeTga32(c);
    for (const uint8_t* pixels : {bmp.data() + kBmpHeaderSize, tga.data() + kTgaHeaderSize}) {
        EXPECT_EQ(Le32(pixels + 4), 0xAABBCCDDu);
        EXPECT_EQ(pixels[4], 0xDD); // blue first
        EXPECT_EQ(Le32(pixels + 8), 0x11223344u);
    }
    EXPECT_EQ(tga[12], 2);
    EXPECT_EQ(tga[14], 2);
}

} // namespace
} // namespace pavoline

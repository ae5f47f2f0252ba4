#include "sequence_format.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

TEST(SequenceFormat, HeaderPacksTheFrameSizeIntoThreeBytes) {
    SequenceHeader h;
    h.imageType = kSequenceTypeAbm;
    h.frameCount = 1;
    h.repeatCount = static_cast<uint8_t>(300);
    h.frameWidth = 240;
    h.frameHeight = 320;
    std::vector<uint8_t> bytes;
    AppendSequenceHeader(h, bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x3C, 0x01, 44, 0x00, 0x00, 0x40, 0x01, 0x0F}));
    const SequenceHeader back = *ReadSequenceHeader(bytes.data(), bytes.size());
    EXPECT_EQ(back.frameWidth, 240u);
    EXPECT_EQ(back.frameHeight, 320u);
    EXPECT_EQ(back.repeatCount, 44);
    EXPECT_FALSE(ReadSequenceHeader(bytes.data(), 7));
}

TEST(SequenceFormat, EntryOffsetPlusTableSizeIsTheFilePosition) {
    std::vector<uint8_t> bytes;
    AppendSequenceEntry({18, 20, -5}, bytes);
    ASSERT_EQ(bytes.size(), kSequenceEntrySize);
    const SequenceEntry e = *ReadSequenceEntry(bytes.data(), bytes.size());
    EXPECT_EQ(e.offset, 18u);
    EXPECT_EQ(e.size, 20u);
    EXPECT_EQ(e.delay, -5);
    EXPECT_EQ(FramePosition(e, 2), 42u);
    EXPECT_EQ(FramePosition({0xFFFFFFFF, 0, 0}, 255), 0xFFFFFFFFull + 12 * 255);
}

} // namespace
} // namespace pavoline

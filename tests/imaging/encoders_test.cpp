#include "ab2.h"
#include "abm.h"
#include "bit_reader.h"
#include "bytes.h"
#include "encoders.h"

#include <gtest/gtest.h>

namespace pavoline {
namespace {

struct Packet {
    uint32_t control;
    std::vector<uint32_t> indices;
    bool operator==(const Packet& o) const { return control == o.control && indices == o.indices; }
};

std::ostream& operator<<(std::ostream& os, const Packet& p) {
    os << "{0x" << std::hex << p.control << std::dec << ":";
    for (uint32_t i : p.indices) os << " " << i;
    return os << "}";
}

// Reads back the packet stream of an AB2 file written by the encoder.
std::vector<Packet> PacketsOf(const std::vector<uint8_t>& file) {
    const Ab2Header h = *ReadAb2Header(file.data(), file.size());
    const uint32_t n1 = Le16(&file[8]), n2 = Le16(&file[10]);
    size_t stream = 12 + 2 * n1 + 3 * n2;
    stream += stream % 2;
    const unsigned k = EncoderIndexWidth(n1 + n2);
    WordBitReader reader(file.data() + stream, file.size() - stream);
    size_t left = static_cast<size_t>(h.width - h.left - h.right) * (h.height - h.top - h.bottom);
    std::vector<Packet> packets;
    while (left > 0) {
        Packet p{reader.read(8), {}};
        const size_t n = (p.control & 0x7F) + 1;
        for (size_t i = 0; i < ((p.control & 0x80) ? n : 1); ++i) p.indices.push_back(reader.read(k));
        packets.push_back(p);
        left -= std::min(n, left);
    }
    return packets;
}

// A one-row picture analysis with the given indices into `colours` opaque colours.
PictureAnalysis Row(const std::vector<uint16_t>& indices, size_t colours = 1) {
    PictureAnalysis a;
    for (size_t i = 0; i < colours; ++i) a.table.keys.push_back(0xFF000000u | static_cast<uint32_t>(colours - i) << 3);
    a.table.opaqueCount = colours;
    a.area = {0, 0, static_cast<int>(indices.size()) - 1, 0};
    a.indices = indices;
    return a;
}

std::vector<uint16_t> Runs(std::initializer_list<std::pair<uint16_t, size_t>> runs) {
    std::vector<uint16_t> out;
    for (auto [index, n] : runs) out.insert(out.end(), n, index);
    return out;
}

std::vector<Packet> EncodeRow(const std::vector<uint16_t>& indices, size_t colours = 1) {
    return PacketsOf(*EncodeAb2(Row(indices, colours), static_cast<int>(indices.size()), 1));
}

TEST(PacketChoice, ThresholdFollowsIndexWidth) {
    EXPECT_EQ(LongRunThreshold(1), 9u);
    EXPECT_EQ(LongRunThreshold(2), 5u);
    EXPECT_EQ(LongRunThreshold(3), 4u);
    EXPECT_EQ(LongRunThreshold(4), 3u);
    EXPECT_EQ(LongRunThreshold(7), 3u);
    EXPECT_EQ(LongRunThreshold(8), 2u);
    EXPECT_EQ(LongRunThreshold(16), 2u);
}

TEST(PacketChoice, RunOfThresholdLengthIsARepeat) {
    const std::vector<Packet> expected = {{0x08, {1}}, {0x08, {0}}};
    EXPECT_EQ(EncodeRow(Runs({{1, 9}, {0, 9}})), expected);
}

TEST(PacketChoice, ShorterRunJoinsThePendingStretchWhichEndsAsALiteral) {
    const std::vector<Packet> expected = {{0x87, std::vector<uint32_t>(8, 1)}, {0x08, {0}}};
    EXPECT_EQ(EncodeRow(Runs({{1, 8}, {0, 9}})), expected);
}

TEST(PacketChoice, PendingSingleRunBeforeALongRunIsARepeat) {
    const std::vector<Packet> expected = {{0x02, {1}}, {0x08, {0}}, {0x08, {1}}};
    EXPECT_EQ(EncodeRow(Runs({{1, 3}, {0, 9}, {1, 9}})), expected);
}

TEST(PacketChoice, PendingRunsBeforeALongRunAreALiteral) {
    const std::vector<Packet> expected = {{0x83, {1, 1, 0, 0}}, {0x08, {1}}, {0x00, {0}}};
    EXPECT_EQ(EncodeRow(Runs({{1, 2}, {0, 2}, {1, 9}, {0, 1}})), expected);
}

TEST(PacketChoice, AtTheEndAShortRunJoinsAndThePendingStretchIsALiteral) {
    // One short run pending at the end is still written as a literal.
    EXPECT_EQ(EncodeRow(Runs({{1, 9}, {0, 3}, {1, 2}})),
              (std::vector<Packet>{{0x08, {1}}, {0x84, {0, 0, 0, 1, 1}}}));
    EXPECT_EQ(EncodeRow(Runs({{1, 3}})), (std::vector<Packet>{{0x02, {1}}}));
}

TEST(PacketChoice, LongPacketsSplitAt128) {
    EXPECT_EQ(EncodeRow(Runs({{1, 300}})), (std::vector<Packet>{{0x7F, {1}}, {0x7F, {1}}, {0x2B, {1}}}));
    std::vector<uint16_t> alternating;
    for (int i = 0; i < 130; ++i) alternating.push_back(static_cast<uint16_t>(1 + i % 2));
    const std::vector<Packet> packets = EncodeRow(alternating, 2);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].control, 0xFFu);
    EXPECT_EQ(packets[0].indices.size(), 128u);
    EXPECT_EQ(packets[1], (Packet{0x81, {1, 2}}));
}

TEST(PacketChoice, StretchesRunAcrossRowsOfTheCodedArea) {
    PictureAnalysis a = Row(Runs({{1, 2}, {0, 2}, {1, 2}}));
    a.area = {1, 0, 3, 1}; // 3 x 2
    a.left = 1;
    const std::vector<uint8_t> file = *EncodeAb2(a, 4, 2);
    EXPECT_EQ(PacketsOf(file), (std::vector<Packet>{{0x85, {1, 1, 0, 0, 1, 1}}}));
    Canvas c(4, 2);
    ASSERT_EQ(DecodeAb2(c, 0, 0, file.data(), file.size()), DecodeStatus::Drawn);
    EXPECT_EQ(c.at(3, 0), 0u);
    EXPECT_EQ(c.at(1, 1), 0u);
    EXPECT_EQ(c.at(2, 1), c.at(1, 0));
}

TEST(EncodeAbm, FileLengthFollowsTheLayout) {
    // N = 3 (one translucent): 12 + 6 + 1 = 19, padded to 20; 5 x 3 pixels at k = 2 is 30 bits: 2 words.
    PictureAnalysis a;
    a.table.keys = {0xFFF8FCF8, 0xFF000000, 0x80F8FCF8};
    a.table.opaqueCount = 2;
    a.area = {0, 0, 4, 2};
    a.indices.assign(15, 3);
    const std::vector<uint8_t> file = *EncodeAbm(a, 5, 3);
    EXPECT_EQ(file.size(), 24u);
    EXPECT_EQ(file[19], 0xFF);
    EXPECT_EQ(Le16(&file[4]), 3u); // f = N1 + 1
    EXPECT_EQ(Le16(&file[6]), 1u); // g = N2
    EXPECT_EQ(Le16(&file[16]), 0x7BEFu);
    EXPECT_EQ(file[18], 0x7F);
}

TEST(Encoders, RefuseMoreColoursThanAPaletteHolds) {
    PictureAnalysis a = Row({1});
    a.table.keys.resize(65536);
    EXPECT_FALSE(EncodeAb2(a, 1, 1));
    EXPECT_FALSE(EncodeAbm(a, 1, 1));
    a.table.keys.resize(65535);
    a.table.opaqueCount = 65535;
    EXPECT_TRUE(EncodeAb2(a, 1, 1));
    EXPECT_FALSE(EncodeAbm(a, 1, 1)); // f = 65,536 does not fit the ABM header
    a.table.opaqueCount = 65534;
    EXPECT_TRUE(EncodeAbm(a, 1, 1));
}

} // namespace
} // namespace pavoline

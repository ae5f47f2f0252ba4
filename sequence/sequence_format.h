#pragma once
// Animation sequence: header, frame table, then the frames (whole ABM or PNG files) back to back.
// All fields little-endian.
//
// SequenceHeader (8 bytes)
//  off size field
//    0   1  image type: 0x3C ABM frames, 0x39 PNG frames (0x3B is read as PNG too)
//    1   1  frame count N (0..255)
//    2   1  repeat count, low 8 bits
//    3   2  0
//    5   3  24-bit frame size: height in bits 0-11, width in bits 12-23
//
// SequenceEntry (12 bytes, entry i at 8 + 12 * i)
//    0   4  offset: file position of the frame minus 12 * N (entry 0 has 8)
//    4   4  size of the frame in bytes
//    8   4  delay (signed), the same in every entry

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pavoline {

constexpr size_t kSequenceHeaderSize = 8;
constexpr size_t kSequenceEntrySize = 12;
constexpr uint8_t kSequenceTypeAbm = 0x3C;
constexpr uint8_t kSequenceTypePng = 0x39;
constexpr uint8_t kSequenceTypePngAlternate = 0x3B;
constexpr unsigned kMaxSequenceFrames = 255;
constexpr unsigned kMaxFrameSide = 4095; // 12-bit fields

struct SequenceHeader {
    uint8_t imageType = 0;
    uint8_t frameCount = 0;
    uint8_t repeatCount = 0;
    unsigned frameWidth = 0;
    unsigned frameHeight = 0;
};

struct SequenceEntry {
    uint32_t offset = 0;
    uint32_t size = 0;
    int32_t delay = 0;
};

enum class FrameKind { Abm, Png };
// What the frames of a sequence of this image type are; nothing for an unknown type.
std::optional<FrameKind> FrameKindOf(uint8_t imageType);

struct SequenceTable {
    SequenceHeader header;
    std::vector<SequenceEntry> entries;
};

// The header and the frame table of a sequence that can be shown: a known image type, the two
// zero bytes, at least one frame of a size above 0 x 0, the whole table among the size bytes and
// every frame inside the fileSize bytes of the file.
std::optional<SequenceTable> ReadSequenceTable(const uint8_t* bytes, size_t size, uint64_t fileSize);

void AppendSequenceHeader(const SequenceHeader& header, std::vector<uint8_t>& out);
void AppendSequenceEntry(const SequenceEntry& entry, std::vector<uint8_t>& out);
std::optional<SequenceHeader> ReadSequenceHeader(const uint8_t* bytes, size_t size);
std::optional<SequenceEntry> ReadSequenceEntry(const uint8_t* bytes, size_t size);

// Where the frame of an entry starts in the file.
inline uint64_t FramePosition(const SequenceEntry& entry, unsigned frameCount) {
    return uint64_t{entry.offset} + kSequenceEntrySize * frameCount;
}

} // namespace pavoline

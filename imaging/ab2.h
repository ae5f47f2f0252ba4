#pragma once
// AB2: palettised image whose indices are run-length coded in packets. All fields little-endian.
//
//  off  bits          field
//    0  word 0-11     width W          word 12-23  height H       word 24-31  left
//    4  8             top              5  8  right                 6  8  bottom
//    7  0-3           palette type     4-6  coding (1 = packets)   7  written as 0
//    8  16            N1 opaque colours
//   10  16            N2 translucent colours
//   12  N1*eo         opaque entries, then pad to even
//    .  N2*et         translucent entries, then pad to even; the packet stream starts here
//
//  type  eo  et  entries
//     0   3   0  B,G,R opaque
//     1   2   0  RGB565 opaque
//     2   3   4  B,G,R opaque;  B,G,R,t translucent (premultiplied, t = 255 - alpha)
//     3   2   3  RGB565 opaque; RGB565,t translucent (premultiplied)
//
// Packet stream (LSB-first 16-bit words): control c (8 bits), n = (c & 0x7F) + 1 pixels;
//   1nnnnnnn literal: n indices of k bits follow        0nnnnnnn repeat: one k-bit index for n pixels
// k = significant bits of N1 + N2. Index 0 is transparent black; 1..N1 opaque; above N1 translucent.
// Packets run on across rows of the coded area.

#include "canvas.h"
#include "decode_status.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pavoline {

constexpr size_t kAb2HeaderSize = 8;
constexpr uint32_t kAb2PacketCoding = 1;
constexpr uint32_t kControlLiteral = 0x80; // 1nnnnnnn
constexpr uint32_t kControlCountMask = 0x7F;

struct Ab2Header {
    int width = 0;
    int height = 0;
    uint8_t left = 0, top = 0, right = 0, bottom = 0;
    uint8_t paletteType = 0;
    uint8_t coding = 0;
};

std::optional<Ab2Header> ReadAb2Header(const uint8_t* bytes, size_t size);

// True when the palette's counts are among the size bytes and its entries lie inside a file of
// fileSize bytes.
bool Ab2SectionsFit(const Ab2Header& header, const uint8_t* bytes, size_t size, uint64_t fileSize);

// Number of significant bits of n (0 for 0).
unsigned SignificantBits(uint32_t n);

// Draws the image with its top-left corner at (x, y) of target. Everything is checked before the
// first pixel; a file without a drawable image leaves the target as it was.
DecodeStatus DecodeAb2(Canvas& target, int x, int y, const uint8_t* bytes, size_t size);

} // namespace pavoline

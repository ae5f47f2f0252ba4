#pragma once
// ABM: palettised image with per-colour transparency and a bit-packed index stream.
// All fields little-endian.
//
//  off  size           field
//    0     2           width W
//    2     2           bits 0-14 height H; bit 15 set = 3-byte palette entries (B,G,R), clear = RGB565
//    4     2           f = opaque colours + 1
//    6     2           g = translucent colours
//    8     1 x 4       left, top, right, bottom: edge columns/rows not stored
//   12     es*(f+g-1)  palette, opaque entries first; translucent ones premultiplied
//    .     g           alpha table, one byte t = 255 - alpha per translucent colour
//    .     0 or 1      pad to an even offset (0xFF)
//  even    rest        indices of the coded area, row-major, k bits each, packed LSB first into
//                      16-bit LE words; k = smallest k >= 1 with 2^k >= f + g (at most 16)
//
// Index 0 keeps the background; 1..f-1 are opaque; f..f+g-1 translucent.

#include "canvas.h"
#include "decode_status.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pavoline {

constexpr size_t kAbmHeaderSize = 12;
constexpr uint16_t kAbmWideEntryFlag = 0x8000; // bit 15 of the height field
constexpr uint16_t kAbmHeightMask = 0x7FFF;

struct AbmHeader {
    uint16_t width = 0;
    uint16_t heightField = 0;
    uint16_t opaqueLimit = 0;      // f
    uint16_t translucentCount = 0; // g
    uint8_t left = 0, top = 0, right = 0, bottom = 0;

    int height() const { return heightField & kAbmHeightMask; }
    int entrySize() const { return (heightField & kAbmWideEntryFlag) ? 3 : 2; }
};

std::optional<AbmHeader> ReadAbmHeader(const uint8_t* bytes, size_t size);

// True when the palette and the alpha table lie inside a file of fileSize bytes.
bool AbmSectionsFit(const AbmHeader& header, uint64_t fileSize);

// Smallest k >= 1 with 2^k >= values, at most 16.
unsigned AbmIndexWidth(uint32_t values);

// Draws the image with its top-left corner at (x, y) of target; index 0 takes the pixel at the same
// place of background, which has the target's geometry. Everything is checked before the first pixel.
DecodeStatus DecodeAbm(int x, int y, const uint8_t* bytes, size_t size, const Canvas& background,
                       Canvas& target);

} // namespace pavoline

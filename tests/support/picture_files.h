#pragma once
// BMP and PNG inputs for the encoder's tests, made field by field.

#include "canvas.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pavoline::test {

struct BmpSpec {
    int width = 1, height = 1;
    int bitsPerPixel = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    uint32_t coloursUsed = 0;        // written as is; the table holds `table` entries
    std::vector<uint32_t> table;     // B,G,R,reserved as a little-endian word
    std::vector<uint32_t> pixels;    // top row first: indices for 4/8 bits, 0xAARRGGBB (B,G,R[,A]) otherwise
};
std::vector<uint8_t> BuildBmp(const BmpSpec& spec);

// 32-bit BMP of a canvas (alpha in the fourth byte), as a converter would leave it.
std::vector<uint8_t> BuildBmp32(const Canvas& picture);

struct PngSpec {
    int width = 1, height = 1;
    int colourType = 6; // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::vector<uint8_t>> rows; // packed as stored in the PNG
    std::vector<uint8_t> palette;           // R,G,B triples
    std::vector<uint8_t> paletteAlpha;      // tRNS for palettes
    int transparentGrey = -1;               // tRNS for grey
};
std::vector<uint8_t> BuildPng(const PngSpec& spec);

// An 8-bit RGBA PNG of a canvas.
std::vector<uint8_t> BuildPngRgba(const Canvas& picture);

} // namespace pavoline::test

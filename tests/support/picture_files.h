#pragma once
// BMP and PNG inputs for the encoder's tests, made field by field.

#include "canvas.h"

#include <cstdint>
#include <optional>
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
    int filters = 0;                        // PNG_FILTER_* bits to choose from; 0 for libpng's choice
    size_t idatBytes = 0;                   // at most this much image data a chunk; 0 for libpng's size
};
std::vector<uint8_t> BuildPng(const PngSpec& spec);

// A PNG's chunks after the signature, to change one and put the file together again.
struct PngChunk {
    std::string type;
    std::vector<uint8_t> data;
    std::optional<uint32_t> crc; // computed when joined, unless set
};
std::vector<PngChunk> SplitPng(const std::vector<uint8_t>& png);
std::vector<uint8_t> JoinPng(const std::vector<PngChunk>& chunks);

// An 8-bit RGBA PNG of a canvas.
std::vector<uint8_t> BuildPngRgba(const Canvas& picture);

} // namespace pavoline::test

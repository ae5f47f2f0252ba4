#pragma once
// What both encoders need of a picture: its distinct colours at 16-bit precision, in a fixed
// order, and the smallest rectangle that holds every pixel that is not fully transparent.

#include "canvas.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace pavoline {

// Alpha whole; top 5 bits of red, 6 of green, 5 of blue.
constexpr uint32_t kColourKeyMask = 0xFFF8FCF8;
// The writers store at most 65,535 colours (index 0 is transparent).
constexpr size_t kMaxPaletteColours = 65535;

inline uint32_t ColourKey(uint32_t pixel) { return pixel & kColourKeyMask; }

// Distinct keys in descending order of the unsigned key, so opaque keys (alpha 0xFF) come first,
// then the translucent ones by falling alpha. A pixel's index is its key's position + 1.
struct ColourTable {
    std::vector<uint32_t> keys;
    size_t opaqueCount = 0; // N1

    size_t size() const { return keys.size(); }
    size_t translucentCount() const { return keys.size() - opaqueCount; } // N2
};

struct CodedArea {
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
    int width() const { return maxX - minX + 1; }
    int height() const { return maxY - minY + 1; }
};

struct PictureAnalysis {
    ColourTable table;
    CodedArea area;
    uint8_t left = 0, top = 0, right = 0, bottom = 0; // margins, each at most 255
    std::vector<uint16_t> indices;                    // the coded area's indices, row-major
};

// Nothing when the picture has more distinct keys than a palette can hold.
std::optional<PictureAnalysis> AnalysePicture(const Canvas& picture);

// Smallest k >= 1 with 2^k >= colours + 1.
unsigned EncoderIndexWidth(size_t colours);

// A table key as the writers store it: premultiplied by its alpha, as RGB565.
uint16_t PaletteRgb565(uint32_t key);

} // namespace pavoline

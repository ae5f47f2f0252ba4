#pragma once
// PNG scanlines after inflating: undoing the row filters and turning 8-bit samples into canvas
// words. A scanline is one filter-type byte followed by the row's samples; each filter predicts a
// byte from the byte one pixel to the left (a), the byte above (b) and the one above-left (c).
//
//   type  name     byte stored                     a, b, c outside the picture
//   0     None     x                               -
//   1     Sub      x - a                           0
//   2     Up       x - b                           0 (first row)
//   3     Average  x - floor((a + b) / 2)          0
//   4     Paeth    x - whichever of a, b, c is     0
//                  nearest a + b - c (a, b, c
//                  winning ties in that order)

#include <cstddef>
#include <cstdint>

namespace pavoline {

constexpr uint8_t kLastPngFilter = 4;

// Undoes the filter of one row in place. `row` holds `rowBytes` samples (after the filter byte),
// `above` the row above already unfiltered (zeros for the first row); `pixelBytes` is 1, 3 or 4.
void UnfilterPngRow(uint8_t filter, uint8_t* row, const uint8_t* above, size_t rowBytes, unsigned pixelBytes);

// R,G,B,A / R,G,B samples / palette indices to 0xAARRGGBB words.
void RgbaRowToArgb(const uint8_t* samples, uint32_t* out, size_t pixels);
void RgbRowToArgb(const uint8_t* samples, uint32_t* out, size_t pixels);
void PaletteRowToArgb(const uint8_t* indices, const uint32_t palette[256], uint32_t* out, size_t pixels);

} // namespace pavoline

#pragma once
// Uncompressed 32-bit BMP and TGA output of a canvas, bottom row first in both.
//
// BMP (little-endian)                      TGA
// off size value                           off size value
//   0   2  "BM"                              2   1  2 (uncompressed true-colour)
//   2   4  54 + 4*W*H (file size)           12   2  W
//  10   4  54 (pixel offset)                14   2  H
//  14   4  40 (info header size)            16   1  32 (pixel depth)
//  18   4  W       22  4  H (bottom-up)     17   1  8 (8 alpha bits, origin bottom left)
//  26   2  1 (planes) 28 2 32 (bpp)         all other header bytes 0; pixels from 18
//  30   4  0 (uncompressed)
//  34   4  4*W*H (image size), rest 0; pixels from 54

#include "canvas.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pavoline {

constexpr size_t kBmpHeaderSize = 54;
constexpr size_t kTgaHeaderSize = 18;

std::vector<uint8_t> EncodeBmp32(const Canvas& canvas);
std::vector<uint8_t> EncodeTga32(const Canvas& canvas);

// Each creates or truncates the file; false when it cannot be written whole (nothing is left then).
bool WriteBmp32(const std::string& path, const Canvas& canvas);
bool WriteTga32(const std::string& path, const Canvas& canvas);

} // namespace pavoline

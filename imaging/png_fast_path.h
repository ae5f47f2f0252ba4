#pragma once
// The common PNG kinds read without libspng: 8-bit RGB, RGBA and palette pictures, not interlaced,
// up to 1024 x 1024, whose image data inflates with libdeflate in one call. It decodes a file only
// when libspng would decode it to the same pixels, and calls a file broken only when libspng
// would refuse it too; every other file it leaves to libspng.
//
//   PNG file (numbers big-endian)
//   offset  size  meaning
//   0       8     signature 89 50 4E 47 0D 0A 1A 0A
//   8       ...   chunks, each: length (4, at most 2^31 - 1), type (4), data (length), CRC-32 of
//                 type and data (4); a type whose first letter is upper-case is critical
//
//   chunk   where                          data
//   IHDR    first                          width 4, height 4, bit depth 1, colour type 1 (2 RGB,
//                                          3 palette, 6 RGBA), compression 1, filter 1, interlace 1
//   PLTE    before IDAT                    R,G,B triples, 1 to 256 of them; needed for palettes
//   IDAT    one unbroken run               together one zlib stream: height scanlines, each a
//                                          filter byte and width x bytes-per-pixel samples
//   IEND    last                           empty; bytes after it are not read
//   others  lower-case first letter        ancillary: skipped

#include "canvas.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pavoline {

struct FastPngResult {
    enum class Verdict {
        Decoded,  // picture holds what libspng would decode
        Broken,   // a fault that makes libspng refuse the file as well
        NotMine,  // not one of the common kinds, or not sure: libspng decides
    } verdict = Verdict::NotMine;
    Canvas picture;
};

// Files above this size are left to libspng, which keeps its own limits for them.
constexpr size_t kMaxFastPngFileBytes = 16u << 20;

// The IDAT data is gathered in place, so the file's bytes are changed once its chunks are read.
FastPngResult DecodeCommonPng(std::vector<uint8_t>& file);

} // namespace pavoline

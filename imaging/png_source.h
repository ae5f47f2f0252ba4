#pragma once
// The encoder's PNG input, decoded in process: every colour type and depth comes out as 8-bit
// pixels 0xAARRGGBB with the stored values (palette and tRNS expanded, grey widened, 16-bit
// channels scaled), alpha 0 transparent to 255 opaque. No gamma or colour-space conversion.

#include "canvas.h"

#include <cstdint>
#include <string>

namespace pavoline {

struct PngSource {
    enum class Status { Decoded, CannotOpen, Broken, SizeOutOfRange } status = Status::Broken;
    Canvas picture;
    std::string reason; // for CannotOpen and Broken: one line, why
};

// The common kinds go through DecodeCommonPng, everything else through libspng.
PngSource ReadPngSource(const std::string& path);
PngSource DecodePngSource(const uint8_t* bytes, size_t size);

// libspng alone, for comparing the two readers.
PngSource DecodePngWithLibspng(const uint8_t* bytes, size_t size);

} // namespace pavoline

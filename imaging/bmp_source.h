#pragma once
// The encoder's BMP input: 4, 8, 24 or 32 bits per pixel, uncompressed (or compression 3 read as
// plain B,G,R(,A) bytes), 1 to 1024 pixels a side, rows bottom-up.
//
//  off  size  field                     off  size  field
//    0     2  "BM"                       22     4  height (signed; top-down refused)
//    2     4  file size (= file length)  28     2  bits per pixel: 4, 8, 24, 32
//   10     4  offset of the pixel rows   30     4  compression: 0 or 3
//   14     4  info header size (>= 40)   46     4  colours used (0 = 256), at most 256
//   18     4  width (signed)             14 + info size: colour table, 4 bytes an entry (B,G,R,-)

#include "canvas.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pavoline {

constexpr size_t kMaxSourceFileSize = 4194304;
constexpr int kMaxSourceSide = 1024;

enum class SourceMode {
    ColourKey, // every pixel opaque but the key colour (0x0A0B0C, or palette entry 0) which is transparent
    Alpha,     // a 32-bit pixel's fourth byte is its alpha
};

constexpr uint32_t kTransparentKeyColour = 0x0A0B0C;

// Pixels of an accepted BMP, as 0xAARRGGBB, top row first; nothing when it is not accepted.
std::optional<Canvas> ParseBmpSource(const uint8_t* bytes, size_t size, SourceMode mode);

// Reads and parses the file; on failure prints the matching "[ABM enc]" message naming the path.
std::optional<Canvas> ReadBmpSource(const std::string& path, SourceMode mode, std::ostream& out);

// "[ABM enc] parse BMP error, <path>\n"
std::string BmpParseErrorMessage(const std::string& path);

} // namespace pavoline

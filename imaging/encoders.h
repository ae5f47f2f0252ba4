#pragma once
// The AB2 and ABM writers, on a picture analysis. Layouts are in ab2.h and abm.h.

#include "picture_analysis.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace pavoline {

// ABM stores N1 + 1 in a 16-bit field, so it holds one opaque colour fewer than a palette.
constexpr size_t kMaxAbmOpaqueColours = kMaxPaletteColours - 1;

// The long-run threshold: a run of at least T equal indices becomes a repeat packet.
unsigned LongRunThreshold(unsigned k);

std::optional<std::vector<uint8_t>> EncodeAb2(const PictureAnalysis& picture, int width, int height);
std::optional<std::vector<uint8_t>> EncodeAbm(const PictureAnalysis& picture, int width, int height);

} // namespace pavoline

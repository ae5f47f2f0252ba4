#include "ab2.h"

#include "bit_reader.h"
#include "bytes.h"
#include "index_width.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace pavoline {
namespace {

constexpr size_t kPaletteCountsSize = 4;
constexpr uint32_t kMaxColours = 65535; // indices must fit 16 bits

// High bits are repeated when widening, unlike ABM.
uint32_t WidenRgb565HighBits(uint16_t v) {
    const uint32_t r5 = v >> 11, g6 = (v >> 5) & 0x3F, b5 = v & 0x1F;
    const uint32_t r = (r5 << 3) | (r5 >> 2), g = (g6 << 2) | (g6 >> 4), b = (b5 << 3) | (b5 >> 2);
    return r << 16 | g << 8 | b;
}

uint32_t Bgr(const uint8_t* p) { return static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]; }

size_t EvenUp(size_t n) { return (n + 1) & ~static_cast<size_t>(1); }

struct EntrySizes {
    size_t opaque, translucent;
};
constexpr std::array<EntrySizes, 4> kEntrySizes{{{3, 0}, {2, 0}, {3, 4}, {2, 3}}};

struct Ab2Palette {
    uint32_t opaqueCount = 0, translucentCount = 0;
    size_t opaqueOffset = 0, translucentOffset = 0, streamOffset = 0;
    EntrySizes sizes{0, 0};
};

std::optional<Ab2Palette> LayOutPalette(const Ab2Header& h, const uint8_t* bytes, size_t size) {
    if (h.paletteType >= kEntrySizes.size() || size < kAb2HeaderSize + kPaletteCountsSize) return std::nullopt;
    Ab2Palette p;
    p.sizes = kEntrySizes[h.paletteType];
    p.opaqueCount = Le16(bytes + 8);
    p.translucentCount = Le16(bytes + 10);
    if (p.opaqueCount + p.translucentCount > kMaxColours) return std::nullopt;
    p.opaqueOffset = kAb2HeaderSize + kPaletteCountsSize;
    p.translucentOffset = EvenUp(p.opaqueOffset + p.opaqueCount * p.sizes.opaque);
    const size_t translucentEnd = p.translucentOffset + p.translucentCount * p.sizes.translucent;
    if (translucentEnd > size) return std::nullopt;
    p.streamOffset = EvenUp(translucentEnd);
    return p;
}

// Drawn translucent pixels are turned back from premultiplied colours with
// c = (c * (32640 / a)) >> 7, capped at 255. Every pixel comes from the palette, so doing it once
// per entry gives the same picture as a pass over the drawn area.
uint32_t Unpremultiply(uint32_t pixel) {
    const uint32_t a = pixel >> 24;
    if (a == 0 || a == 255) return pixel; // 255 would leave the colour as it is
    const uint32_t factor = 32640 / a;
    auto channel = [&](int shift) { return std::min<uint32_t>(255, (((pixel >> shift) & 0xFF) * factor) >> 7) << shift; };
    return a << 24 | channel(16) | channel(8) | channel(0);
}

// A table of 2^k colours: unused slots, and every index naming no entry, are transparent black.
std::vector<uint32_t> BuildColours(const Ab2Palette& p, unsigned k, const uint8_t* bytes) {
    std::vector<uint32_t> colours(size_t{1} << k, 0);
    const uint8_t* entry = bytes + p.opaqueOffset;
    for (uint32_t i = 0; i < p.opaqueCount; ++i, entry += p.sizes.opaque)
        colours[1 + i] = 0xFF000000u | (p.sizes.opaque == 2 ? WidenRgb565HighBits(Le16(entry)) : Bgr(entry));
    if (p.sizes.translucent == 0) return colours; // types 0 and 1 store no translucent entries
    entry = bytes + p.translucentOffset;
    for (uint32_t i = 0; i < p.translucentCount; ++i, entry += p.sizes.translucent) {
        const bool rgb565 = p.sizes.translucent == 3;
        const uint32_t rgb = rgb565 ? WidenRgb565HighBits(Le16(entry)) : Bgr(entry);
        const uint32_t alpha = 255u - entry[rgb565 ? 2 : 3];
        colours[1 + p.opaqueCount + i] = Unpremultiply(alpha << 24 | rgb);
    }
    return colours;
}

// Walks the coded area row-major; packets run on from the end of one row into the next.
class AreaCursor {
public:
    AreaCursor(Canvas& canvas, int x, int y, int width, int height)
        : canvas_(canvas), x_(x), y_(y), width_(width), left_(static_cast<size_t>(width) * height),
          row_(canvas.row(y) + x) {}
    size_t left() const { return left_; }
    // Pixels that can be drawn before the row ends, at most n.
    size_t span(size_t n) const { return std::min<size_t>(n, static_cast<size_t>(width_ - col_)); }
    uint32_t* here() { return row_ + col_; }
    void advance(size_t n) {
        left_ -= n;
        col_ += static_cast<int>(n);
        if (col_ == width_ && left_ > 0) {
            col_ = 0;
            row_ = canvas_.row(++y_) + x_;
        }
    }

private:
    Canvas& canvas_;
    int x_, y_, width_;
    size_t left_;
    int col_ = 0;
    uint32_t* row_;
};

constexpr size_t kFillBlock = 16;
size_t RoundUpToBlock(size_t n) { return (n + kFillBlock - 1) & ~(kFillBlock - 1); }

// One copy per index width, so masks are constants in the hot loop.
template <unsigned K>
void DrawPackets(WordBitReader& reader, const uint32_t* palette, AreaCursor& area) {
    while (area.left() > 0) {
        if (reader.held() < 8 + K) reader.refill();
        const uint32_t control = reader.take(8);
        size_t n = std::min<size_t>((control & kControlCountMask) + 1, area.left());
        if (!(control & kControlLiteral)) {
            const uint32_t repeated = palette[reader.take(K)];
            if (area.span(SIZE_MAX) >= RoundUpToBlock(n)) {
                // Fixed-size blocks need no branch on the run's length; the few pixels written
                // past the run stay inside the row and are drawn over by the packets that follow.
                uint32_t* out = area.here();
                for (size_t i = 0; i < n; i += kFillBlock)
                    for (size_t j = 0; j < kFillBlock; ++j) out[i + j] = repeated;
                area.advance(n);
                continue;
            }
            for (; n > 0;) {
                const size_t span = area.span(n);
                std::fill_n(area.here(), span, repeated);
                area.advance(span);
                n -= span;
            }
            continue;
        }
        for (; n > 0;) {
            const size_t span = area.span(n);
            uint32_t* out = area.here();
            for (size_t i = 0; i < span; ++i) out[i] = palette[reader.read(K)];
            area.advance(span);
            n -= span;
        }
    }
}

} // namespace

std::optional<Ab2Header> ReadAb2Header(const uint8_t* bytes, size_t size) {
    if (size < kAb2HeaderSize) return std::nullopt;
    const uint32_t word = Le32(bytes);
    Ab2Header h;
    h.width = static_cast<int>(word & 0xFFF);
    h.height = static_cast<int>((word >> 12) & 0xFFF);
    h.left = static_cast<uint8_t>(word >> 24);
    h.top = bytes[4];
    h.right = bytes[5];
    h.bottom = bytes[6];
    h.paletteType = bytes[7] & 0x0F;
    h.coding = (bytes[7] >> 4) & 0x07;
    return h;
}

bool Ab2SectionsFit(const Ab2Header& header, const uint8_t* bytes, size_t size, uint64_t fileSize) {
    if (size < kAb2HeaderSize + kPaletteCountsSize) return false;
    return LayOutPalette(header, bytes, static_cast<size_t>(std::min<uint64_t>(fileSize, SIZE_MAX))).has_value();
}

unsigned SignificantBits(uint32_t n) {
    unsigned bits = 0;
    while (n >> bits) ++bits;
    return bits;
}

DecodeStatus DecodeAb2(Canvas& target, int x, int y, const uint8_t* bytes, size_t size) {
    const std::optional<Ab2Header> header = ReadAb2Header(bytes, size);
    if (!header) return DecodeStatus::Malformed;
    const Ab2Header& h = *header;
    if (!target.holds(x, y, h.width, h.height)) return DecodeStatus::Malformed;
    if (h.coding != kAb2PacketCoding) return DecodeStatus::NothingDrawn;
    const std::optional<Ab2Palette> palette = LayOutPalette(h, bytes, size);
    if (!palette) return DecodeStatus::Malformed;
    const uint32_t colourCount = palette->opaqueCount + palette->translucentCount;
    if (colourCount == 0) return DecodeStatus::NothingDrawn;
    const int codedWidth = h.width - h.left - h.right;
    const int codedHeight = h.height - h.top - h.bottom;
    if (codedWidth < 1 || codedHeight < 1) return DecodeStatus::Malformed;

    const unsigned k = SignificantBits(colourCount);
    const std::vector<uint32_t> colours = BuildColours(*palette, k, bytes);
    const size_t stream = std::min(palette->streamOffset, size);
    WordBitReader reader(bytes + stream, size - stream);
    AreaCursor area(target, x + h.left, y + h.top, codedWidth, codedHeight);
    WithIndexWidth(k, [&](auto width) { DrawPackets<decltype(width)::value>(reader, colours.data(), area); });
    return DecodeStatus::Drawn;
}

} // namespace pavoline

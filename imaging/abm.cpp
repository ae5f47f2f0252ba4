#include "abm.h"

#include "bytes.h"
#include "index_width.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pavoline {
namespace {

// Low bits are repeated when widening, unlike AB2.
uint32_t WidenRgb565LowBits(uint16_t v) {
    const uint32_t r5 = v >> 11, g6 = (v >> 5) & 0x3F, b5 = v & 0x1F;
    const uint32_t r = (r5 << 3) | (r5 & 7), g = (g6 << 2) | (g6 & 3), b = (b5 << 3) | (b5 & 7);
    return r << 16 | g << 8 | b;
}

uint32_t Unpremultiply(uint32_t rgb, uint8_t t) {
    const uint32_t alpha = 255u - t;
    if (t == 255) return rgb; // alpha 0: the stored colour is kept
    auto channel = [&](int shift) {
        const uint32_t c = (rgb >> shift) & 0xFF;
        return std::min<uint32_t>(255, c * 255 / alpha) << shift;
    };
    return alpha << 24 | channel(16) | channel(8) | channel(0);
}

struct AbmLayout {
    size_t entries = 0;
    size_t alphaOffset = 0;
    size_t streamOffset = 0;
};

std::optional<AbmLayout> LayOut(const AbmHeader& h, size_t size) {
    if (h.opaqueLimit == 0) return std::nullopt; // f counts the transparent index, so it is never 0
    AbmLayout layout;
    layout.entries = static_cast<size_t>(h.opaqueLimit) + h.translucentCount - 1;
    layout.alphaOffset = kAbmHeaderSize + layout.entries * static_cast<size_t>(h.entrySize());
    const size_t alphaEnd = layout.alphaOffset + h.translucentCount;
    if (alphaEnd > size) return std::nullopt;
    layout.streamOffset = (alphaEnd + 1) & ~static_cast<size_t>(1);
    return layout;
}

// What an index paints, for all 2^k indices: the low half is the colour, the high half masks the
// background pixel that shows through. Index 0 and indices naming no entry keep the background.
constexpr uint64_t kKeepBackground = 0xFFFFFFFF00000000ull;

std::vector<uint64_t> BuildPaints(const AbmHeader& h, const AbmLayout& layout, const uint8_t* bytes, unsigned k) {
    std::vector<uint64_t> paints(std::max<size_t>(size_t{1} << k, layout.entries + 1), kKeepBackground);
    const uint8_t* entry = bytes + kAbmHeaderSize;
    const uint8_t* alphas = bytes + layout.alphaOffset;
    for (size_t i = 1; i <= layout.entries; ++i, entry += h.entrySize()) {
        const uint32_t rgb = h.entrySize() == 2
                                 ? WidenRgb565LowBits(Le16(entry))
                                 : static_cast<uint32_t>(entry[2]) << 16 | entry[1] << 8 | entry[0];
        paints[i] = i < h.opaqueLimit ? 0xFF000000u | rgb : Unpremultiply(rgb, alphas[i - h.opaqueLimit]);
    }
    return paints;
}

// Indices are read by their bit position rather than through a running bit buffer, so that no
// pixel waits for the one before it. The stream is copied with zero padding: bits past the end of
// the file read as 0, and every 8-byte load stays inside the copy.
std::vector<uint8_t> PaddedStream(const uint8_t* bytes, size_t available, uint64_t bits) {
    const size_t needed = static_cast<size_t>(bits / 8) + sizeof(uint64_t) + 1;
    std::vector<uint8_t> stream(needed, 0);
    std::memcpy(stream.data(), bytes, std::min(available, needed));
    return stream;
}

uint64_t StreamBitsAt(const uint8_t* stream, uint64_t bit) {
    uint64_t word;
    std::memcpy(&word, stream + bit / 8, sizeof word);
    // Stream words are little-endian and taken least-significant bit first.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word >> (bit % 8); // at least 57 valid bits
}

uint32_t PaintPixel(uint64_t paint, uint32_t back) {
    return (paint & kKeepBackground) ? back : static_cast<uint32_t>(paint);
}

// One copy per index width, so the width and the shifts are constants in the hot loop; one load
// serves as many indices as fit in the 57 bits it guarantees.
template <unsigned K>
void DrawIndexRowsOf(const uint8_t* stream, const uint64_t* paints, const Canvas& background, Canvas& target, int x,
                     int y, int width, int height) {
    constexpr uint64_t kMask = (1u << K) - 1u;
    constexpr int kPerLoad = 57 / K;
    uint64_t bit = 0;
    for (int row = 0; row < height; ++row) {
        uint32_t* out = target.row(y + row) + x;
        const uint32_t* back = background.row(y + row) + x;
        int col = 0;
        for (; col + kPerLoad <= width; col += kPerLoad, bit += kPerLoad * K) {
            const uint64_t bits = StreamBitsAt(stream, bit);
#pragma GCC unroll 16
            for (int j = 0; j < kPerLoad; ++j)
                out[col + j] = PaintPixel(paints[(bits >> (j * K)) & kMask], back[col + j]);
        }
        for (; col < width; ++col, bit += K)
            out[col] = PaintPixel(paints[StreamBitsAt(stream, bit) & kMask], back[col]);
    }
}

} // namespace

std::optional<AbmHeader> ReadAbmHeader(const uint8_t* bytes, size_t size) {
    if (size < kAbmHeaderSize) return std::nullopt;
    AbmHeader h;
    h.width = Le16(bytes);
    h.heightField = Le16(bytes + 2);
    h.opaqueLimit = Le16(bytes + 4);
    h.translucentCount = Le16(bytes + 6);
    h.left = bytes[8];
    h.top = bytes[9];
    h.right = bytes[10];
    h.bottom = bytes[11];
    return h;
}

bool AbmSectionsFit(const AbmHeader& header, uint64_t fileSize) {
    return LayOut(header, static_cast<size_t>(std::min<uint64_t>(fileSize, SIZE_MAX))).has_value();
}

unsigned AbmIndexWidth(uint32_t values) {
    unsigned k = 1;
    while (k < 16 && (1u << k) < values) ++k;
    return k;
}

DecodeStatus DecodeAbm(int x, int y, const uint8_t* bytes, size_t size, const Canvas& background,
                       Canvas& target) {
    const std::optional<AbmHeader> header = ReadAbmHeader(bytes, size);
    if (!header) return DecodeStatus::Malformed;
    const AbmHeader& h = *header;
    const int codedWidth = h.width - h.left - h.right;
    const int codedHeight = h.height() - h.top - h.bottom;
    if (codedWidth < 1 || codedHeight < 1) return DecodeStatus::Malformed;
    if (!target.holds(x, y, h.width, h.height()) || background.width != target.width ||
        background.height != target.height)
        return DecodeStatus::Malformed;
    const std::optional<AbmLayout> layout = LayOut(h, size);
    if (!layout) return DecodeStatus::Malformed;

    const unsigned k = AbmIndexWidth(static_cast<uint32_t>(h.opaqueLimit) + h.translucentCount);
    const std::vector<uint64_t> paints = BuildPaints(h, *layout, bytes, k);
    const size_t stream = std::min(layout->streamOffset, size);
    const std::vector<uint8_t> indices =
        PaddedStream(bytes + stream, size - stream, uint64_t{k} * static_cast<uint64_t>(codedWidth) * codedHeight);
    WithIndexWidth(k, [&](auto width) {
        DrawIndexRowsOf<decltype(width)::value>(indices.data(), paints.data(), background, target, x + h.left,
                                                y + h.top, codedWidth, codedHeight);
    });
    return DecodeStatus::Drawn;
}

} // namespace pavoline

#include "encoders.h"

#include "ab2.h"
#include "abm.h"
#include "bit_writer.h"
#include "bytes.h"

namespace pavoline {
namespace {

constexpr size_t kMaxPacket = 128;

bool PaletteFits(const PictureAnalysis& p) { return p.table.size() <= kMaxPaletteColours; }

uint8_t TranslucentByte(uint32_t key) { return static_cast<uint8_t>(255 - (key >> 24)); }

// Room for the palette (at most 3 bytes a colour), the bit-packed indices at up to `bitsPerPixel`
// each, and the words' padding, so the output is never copied while it grows.
size_t OutputBound(const PictureAnalysis& p, unsigned bitsPerPixel) {
    return 16 + 3 * p.table.size() + (p.indices.size() * bitsPerPixel + 7) / 8 + 4;
}

class PacketWriter {
public:
    PacketWriter(WordBitWriter& bits, unsigned k, const std::vector<uint16_t>& indices)
        : bits_(bits), k_(k), indices_(indices) {}

    void repeat(uint32_t index, size_t n) {
        for (; n > kMaxPacket; n -= kMaxPacket) packet(kMaxPacket - 1, index);
        packet(static_cast<uint32_t>(n - 1), index);
    }

    void literal(size_t start, size_t n) {
        for (; n > kMaxPacket; n -= kMaxPacket, start += kMaxPacket) literalPacket(start, kMaxPacket);
        literalPacket(start, n);
    }

private:
    void packet(uint32_t control, uint32_t index) {
        bits_.write(control, 8);
        bits_.write(index, k_);
    }
    void literalPacket(size_t start, size_t n) {
        bits_.write(static_cast<uint32_t>(kControlLiteral | (n - 1)), 8);
        for (size_t i = start; i < start + n; ++i) bits_.write(indices_[i], k_);
    }

    WordBitWriter& bits_;
    unsigned k_;
    const std::vector<uint16_t>& indices_;
};

// Short runs gather in a pending stretch; a long run flushes it (as one repeat when it holds a
// single run, else as a literal) and is written as a repeat.
void WritePackets(const std::vector<uint16_t>& indices, unsigned k, WordBitWriter& bits) {
    PacketWriter out(bits, k, indices);
    const size_t threshold = LongRunThreshold(k);
    uint32_t runIndex = 0;
    size_t run = 0, pendingStart = 0, pending = 0;
    bool pendingHasRuns = false; // more than one run in the pending stretch
    for (size_t i = 0; i < indices.size(); ++i) {
        if (run > 0 && indices[i] == runIndex) {
            ++run;
            continue;
        }
        if (run > 0 && run < threshold) {
            pendingHasRuns = pending != 0;
            pending += run;
        } else if (run > 0) {
            if (pending > 0) {
                if (pendingHasRuns)
                    out.literal(pendingStart, pending);
                else
                    out.repeat(indices[pendingStart], pending);
            }
            pending = 0;
            pendingHasRuns = false;
            out.repeat(runIndex, run);
            pendingStart = i;
        }
        runIndex = indices[i];
        run = 1;
    }
    if (pending > 0) {
        if (run < threshold) {
            pending += run;
            run = 0;
        }
        out.literal(pendingStart, pending);
    }
    if (run > 0) out.repeat(runIndex, run);
}

} // namespace

unsigned LongRunThreshold(unsigned k) { return (k + 7) / k + 1; }

std::optional<std::vector<uint8_t>> EncodeAb2(const PictureAnalysis& p, int width, int height) {
    if (!PaletteFits(p)) return std::nullopt;
    const ColourTable& table = p.table;
    const unsigned k = EncoderIndexWidth(table.size());
    std::vector<uint8_t> out;
    out.reserve(OutputBound(p, 8 + k)); // at worst a control byte for every pixel
    PutLe32(out, static_cast<uint32_t>(width) | static_cast<uint32_t>(height) << 12 | uint32_t{p.left} << 24);
    const uint8_t paletteType = table.translucentCount() == 0 ? 1 : 3;
    out.insert(out.end(), {p.top, p.right, p.bottom, static_cast<uint8_t>(paletteType | kAb2PacketCoding << 4)});

    WordBitWriter palette(out);
    palette.write(static_cast<uint32_t>(table.opaqueCount), 16);
    palette.write(static_cast<uint32_t>(table.translucentCount()), 16);
    for (size_t i = 0; i < table.opaqueCount; ++i) palette.write(PaletteRgb565(table.keys[i]), 16);
    for (size_t i = table.opaqueCount; i < table.size(); ++i) {
        palette.write(PaletteRgb565(table.keys[i]), 16);
        palette.write(TranslucentByte(table.keys[i]), 8);
    }
    palette.flush();

    WordBitWriter packets(out);
    WritePackets(p.indices, k, packets);
    packets.flush();
    return out;
}

std::optional<std::vector<uint8_t>> EncodeAbm(const PictureAnalysis& p, int width, int height) {
    if (!PaletteFits(p) || p.table.opaqueCount > kMaxAbmOpaqueColours) return std::nullopt;
    const ColourTable& table = p.table;
    const unsigned k = EncoderIndexWidth(table.size());
    std::vector<uint8_t> out;
    out.reserve(OutputBound(p, k));
    PutLe16(out, static_cast<uint32_t>(width));
    PutLe16(out, static_cast<uint32_t>(height)); // bit 15 clear: RGB565 entries
    PutLe16(out, static_cast<uint32_t>(table.opaqueCount + 1));
    PutLe16(out, static_cast<uint32_t>(table.translucentCount()));
    out.insert(out.end(), {p.left, p.top, p.right, p.bottom});
    for (uint32_t key : table.keys) PutLe16(out, PaletteRgb565(key));
    for (size_t i = table.opaqueCount; i < table.size(); ++i) out.push_back(TranslucentByte(table.keys[i]));
    if (out.size() % 2) out.push_back(0xFF);

    WordBitWriter bits(out);
    for (uint16_t index : p.indices) bits.write(index, k);
    bits.flush();
    return out;
}

} // namespace pavoline

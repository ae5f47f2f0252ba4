#include "image_builders.h"

#include "ab2.h"
#include "abm.h"
#include "bit_writer.h"
#include "bytes.h"

namespace pavoline::test {

void AppendLe16(std::vector<uint8_t>& out, uint32_t v) { PutLe16(out, v); }

std::vector<uint8_t> BuildAbm(const AbmSpec& s) {
    std::vector<uint8_t> out;
    PutLe16(out, s.width);
    PutLe16(out, s.height | (s.wideEntries ? kAbmWideEntryFlag : 0));
    PutLe16(out, s.f);
    PutLe16(out, s.g);
    out.insert(out.end(), {s.margins.left, s.margins.top, s.margins.right, s.margins.bottom});
    for (uint32_t e : s.entries) {
        if (s.wideEntries)
            out.insert(out.end(), {uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16)});
        else
            PutLe16(out, e);
    }
    out.insert(out.end(), s.alphas.begin(), s.alphas.end());
    if (out.size() % 2) out.push_back(0xFF);
    WordBitWriter bits(out);
    const unsigned k = AbmIndexWidth(uint32_t{s.f} + s.g);
    for (uint32_t index : s.indices) bits.write(index, k);
    bits.flush();
    return out;
}

std::vector<uint8_t> BuildAb2(const Ab2Spec& s) {
    std::vector<uint8_t> out;
    PutLe32(out, uint32_t(s.width) | uint32_t(s.height) << 12 | uint32_t(s.margins.left) << 24);
    out.insert(out.end(), {s.margins.top, s.margins.right, s.margins.bottom,
                           uint8_t(s.paletteType | s.coding << 4)});
    PutLe16(out, s.n1);
    PutLe16(out, s.n2);
    out.insert(out.end(), s.opaqueBytes.begin(), s.opaqueBytes.end());
    if (out.size() % 2) out.push_back(0);
    out.insert(out.end(), s.translucentBytes.begin(), s.translucentBytes.end());
    if (out.size() % 2) out.push_back(0);
    WordBitWriter bits(out);
    const unsigned k = SignificantBits(uint32_t{s.n1} + s.n2);
    for (const Ab2Packet& p : s.packets) {
        bits.write(p.control, 8);
        for (uint32_t index : p.indices) bits.write(index, k);
    }
    bits.flush();
    return out;
}

} // namespace pavoline::test

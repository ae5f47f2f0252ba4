#pragma once
// Hand-made ABM and AB2 files for tests, field by field.

#include <cstdint>
#include <vector>

namespace pavoline::test {

struct Margins {
    uint8_t left = 0, top = 0, right = 0, bottom = 0;
};

struct AbmSpec {
    uint16_t width = 1, height = 1;
    bool wideEntries = false;        // 3-byte B,G,R entries instead of RGB565
    uint16_t f = 1, g = 0;
    Margins margins;
    std::vector<uint32_t> entries;   // f + g - 1 values, RGB565 or 0xRRGGBB
    std::vector<uint8_t> alphas;     // g bytes t = 255 - alpha
    std::vector<uint32_t> indices;   // of the coded area
};
std::vector<uint8_t> BuildAbm(const AbmSpec& spec);

struct Ab2Packet {
    uint8_t control = 0;
    std::vector<uint32_t> indices; // one for a repeat packet, n for a literal
};

struct Ab2Spec {
    int width = 1, height = 1;
    Margins margins;
    uint8_t paletteType = 1;
    uint8_t coding = 1;
    uint16_t n1 = 0, n2 = 0;
    std::vector<uint8_t> opaqueBytes;      // N1 entries as stored
    std::vector<uint8_t> translucentBytes; // N2 entries as stored
    std::vector<Ab2Packet> packets;
};
std::vector<uint8_t> BuildAb2(const Ab2Spec& spec);

// Convenience: stores a 16-bit value little-endian.
void AppendLe16(std::vector<uint8_t>& out, uint32_t v);

} // namespace pavoline::test

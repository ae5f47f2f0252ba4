#include "deflate_builder.h"

#include "bytes.h"

#include <zlib.h>

namespace pavoline::test {

void DeflateBits::put(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
        if (bitsInLast_ == 8) {
            bytes_.push_back(0);
            bitsInLast_ = 0;
        }
        bytes_.back() = static_cast<uint8_t>(bytes_.back() | ((value >> i) & 1) << bitsInLast_++);
    }
}

void DeflateBits::putCode(uint32_t codeword, unsigned length) {
    for (unsigned i = length; i-- > 0;) put(codeword >> i, 1);
}

void DeflateBits::alignToByte() { bitsInLast_ = 8; }

std::vector<uint32_t> CanonicalCodewords(const std::vector<uint8_t>& lengths) {
    unsigned count[16] = {}, next[16] = {};
    for (uint8_t len : lengths) ++count[len];
    count[0] = 0;
    for (unsigned len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<uint32_t> codewords(lengths.size(), 0);
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0) codewords[s] = next[lengths[s]]++;
    return codewords;
}

void PutFixedLitLen(DeflateBits& bits, unsigned symbol) {
    if (symbol < 144) return bits.putCode(0x30 + symbol, 8);
    if (symbol < 256) return bits.putCode(0x190 + symbol - 144, 9);
    if (symbol < 280) return bits.putCode(symbol - 256, 7);
    bits.putCode(0xC0 + symbol - 280, 8);
}

void PutFixedDistance(DeflateBits& bits, unsigned symbol) { bits.putCode(symbol, 5); }

void PutDynamicHeader(DeflateBits& bits, const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& distance,
                      unsigned overrun) {
    static const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::vector<uint8_t> codeLengthLengths(19, 0);
    for (unsigned s : {0u, 1u, 2u, 17u}) codeLengthLengths[s] = 2;
    const std::vector<uint32_t> codes = CanonicalCodewords(codeLengthLengths);
    bits.put(1, 1); // final
    bits.put(2, 2); // dynamic
    bits.put(static_cast<uint32_t>(litLen.size() - 257), 5);
    bits.put(static_cast<uint32_t>(distance.size() - 1), 5);
    bits.put(19 - 4, 4);
    for (unsigned s : kOrder) bits.put(codeLengthLengths[s], 3);
    std::vector<uint8_t> all(litLen);
    all.insert(all.end(), distance.begin(), distance.end());
    const size_t written = overrun > 0 ? all.size() - 1 : all.size();
    for (size_t i = 0; i < written; ++i) bits.putCode(codes[all[i]], 2);
    if (overrun > 0) {
        bits.putCode(codes[17], 2);
        bits.put(overrun + 1 - 3, 3); // repeat zero overrun + 1 times where 1 was left
    }
}

std::vector<uint8_t> ZlibWrap(const std::vector<uint8_t>& deflate, const std::vector<uint8_t>& inflated) {
    std::vector<uint8_t> out = {0x78, 0x01};
    out.insert(out.end(), deflate.begin(), deflate.end());
    PutBe32(out, static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), inflated.data(), static_cast<uInt>(inflated.size()))));
    return out;
}

} // namespace pavoline::test

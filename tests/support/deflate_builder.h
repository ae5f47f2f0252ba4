#pragma once
// DEFLATE streams written bit by bit, to make the odd and invalid streams no compressor emits.

#include <cstdint>
#include <vector>

namespace pavoline::test {

class DeflateBits {
public:
    // `n` bits of `value`, least-significant first (header fields, extra bits).
    void put(uint32_t value, unsigned n);
    // A Huffman codeword, most-significant bit first.
    void putCode(uint32_t codeword, unsigned length);
    void alignToByte();
    std::vector<uint8_t> bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    unsigned bitsInLast_ = 8;
};

// The canonical codewords for these lengths (0 for unused symbols), as DEFLATE assigns them.
std::vector<uint32_t> CanonicalCodewords(const std::vector<uint8_t>& lengths);

// Fixed-code symbols: a literal/length symbol (0..287) and a distance symbol (0..31).
void PutFixedLitLen(DeflateBits& bits, unsigned symbol);
void PutFixedDistance(DeflateBits& bits, unsigned symbol);

// The header of a final dynamic block: its code lengths, each written with a code-length code in
// which 0, 1, 2 and 17 take two bits. `overrun` > 0 ends the lengths with a run of zeros that
// many past their end instead of their last value.
void PutDynamicHeader(DeflateBits& bits, const std::vector<uint8_t>& litLen, const std::vector<uint8_t>& distance,
                      unsigned overrun = 0);

// A zlib stream: header, the DEFLATE data, and the Adler-32 of what it inflates to.
std::vector<uint8_t> ZlibWrap(const std::vector<uint8_t>& deflate, const std::vector<uint8_t>& inflated);

} // namespace pavoline::test

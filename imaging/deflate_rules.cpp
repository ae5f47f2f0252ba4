#include "deflate_rules.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pavoline {
namespace {

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kLengthCodes = 286, kDistanceCodes = 30, kCodeLengthCodes = 19;
constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kLitLenRootBits = 10, kDistanceRootBits = 8, kCodeLengthRootBits = 7;
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A table entry: the bits it takes (codeword and extra bits) in bits 0-7, the symbol from bit
// 16, and what it is in the flag bits.
constexpr uint32_t kLiteral = 1u << 31, kEnd = 1u << 30, kInvalid = 1u << 29, kLongCode = 1u << 28;
constexpr uint32_t kUnusual = kEnd | kInvalid | kLongCode;
constexpr uint32_t MakeEntry(unsigned bits, unsigned symbol, uint32_t flags) { return bits | symbol << 16 | flags; }
unsigned BitsOf(uint32_t e) { return e & 0xFF; }
unsigned SymbolOf(uint32_t e) { return (e >> 16) & 0x1FF; }

enum class CodeUse { CodeLengths, LitLen, Distance };

uint32_t EntryFor(CodeUse use, unsigned symbol, unsigned length) {
    switch (use) {
    case CodeUse::CodeLengths:
        return MakeEntry(length, symbol, 0);
    case CodeUse::LitLen:
        if (symbol < kEndOfBlock) return MakeEntry(length, symbol, kLiteral);
        if (symbol == kEndOfBlock) return MakeEntry(length, symbol, kEnd);
        if (symbol < kLengthCodes) return MakeEntry(length + kLengthExtraBits[symbol - 257], symbol, 0);
        return MakeEntry(length, symbol, kInvalid); // only in the fixed code
    case CodeUse::Distance:
        if (symbol < kDistanceCodes) return MakeEntry(length + kDistanceExtraBits[symbol], symbol, 0);
        return MakeEntry(length, symbol, kInvalid); // only in the fixed code
    }
    return MakeEntry(length, symbol, kInvalid);
}

uint64_t LoadLittleEndian64(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

// Reads bits least-significant first; past the end it reads zeros, and counts them.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // At least 56 bits buffered, zeros past the end.
    void refill() {
        if (at_ + 8 <= size_) {
            buffer_ |= LoadLittleEndian64(data_ + at_) << bits_;
            at_ += (63 - bits_) >> 3;
            bits_ |= 56;
            return;
        }
        refillNearEnd();
    }
    // As refill(); false once the stream has run out, read past its end by more than a refill
    // reads ahead.
    bool refillWithin() {
        if (at_ + 8 <= size_) {
            refill();
            return true;
        }
        refillNearEnd();
        return at_ <= size_ + 8;
    }
    void refillNearEnd() {
        while (bits_ <= 55) {
            buffer_ |= uint64_t{at_ < size_ ? data_[at_] : uint8_t{0}} << bits_;
            ++at_;
            bits_ += 8;
        }
    }
    uint32_t peek(unsigned n) const { return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << n) - 1)); }
    void consume(unsigned n) {
        buffer_ >>= n;
        bits_ -= n;
    }
    uint32_t take(unsigned n) {
        refill();
        const uint32_t v = peek(n);
        consume(n);
        return v;
    }
    bool withinData() const { return at_ * 8 - bits_ <= size_ * 8; }

    // Drops the bits up to the next byte boundary; false when `n` whole bytes do not follow.
    bool skipBytesAfterAlign(size_t n, const uint8_t*& start) {
        at_ -= bits_ / 8;
        buffer_ = 0;
        bits_ = 0;
        if (at_ > size_ || size_ - at_ < n) return false;
        start = data_ + at_;
        at_ += n;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    uint64_t buffer_ = 0;
    unsigned bits_ = 0;
};

// A canonical Huffman code: a table for codewords up to `rootBits` long, and the counts and
// symbols to decode longer ones (and unused ones) bit by bit.
struct Code {
    CodeUse use = CodeUse::LitLen;
    unsigned rootBits = 0;
    std::array<uint32_t, 1u << kLitLenRootBits> root{};
    std::array<uint16_t, kMaxCodeLength + 1> count{};
    std::array<uint16_t, 288> symbols{};
};

unsigned ReverseBits(unsigned code, unsigned n) {
    unsigned r = 0;
    for (unsigned i = 0; i < n; ++i, code >>= 1) r = r << 1 | (code & 1);
    return r;
}

// inflate_table's checks: no over-subscribed code; an incomplete one only for lengths and
// distances with a single one-bit codeword; an empty one only for distances.
bool LengthsFormCode(const Code& code) {
    unsigned longest = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        if (code.count[len] != 0) longest = len;
    if (longest == 0) return code.use == CodeUse::Distance;
    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        left = 2 * left - code.count[len];
        if (left < 0) return false;
    }
    return left == 0 || (code.use != CodeUse::CodeLengths && longest == 1);
}

bool BuildCode(Code& code, const uint8_t* lengths, unsigned n, unsigned rootBits, CodeUse use) {
    code.use = use;
    code.rootBits = rootBits;
    code.count.fill(0);
    for (unsigned s = 0; s < n; ++s) ++code.count[lengths[s]];
    code.count[0] = 0;
    if (!LengthsFormCode(code)) return false;

    std::array<uint16_t, kMaxCodeLength + 2> offset{};
    std::array<unsigned, kMaxCodeLength + 1> next{};
    for (unsigned len = 1, codeword = 0; len <= kMaxCodeLength; ++len) {
        offset[len + 1] = static_cast<uint16_t>(offset[len] + code.count[len]);
        codeword = (codeword + code.count[len - 1]) << 1;
        next[len] = codeword;
    }
    const size_t rootSize = size_t{1} << rootBits;
    std::fill(code.root.begin(), code.root.begin() + rootSize, MakeEntry(0, 0, kLongCode));
    for (unsigned s = 0; s < n; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        code.symbols[offset[len]++] = static_cast<uint16_t>(s);
        const unsigned codeword = next[len]++;
        if (len > rootBits) continue;
        const uint32_t entry = EntryFor(use, s, len);
        for (size_t i = ReverseBits(codeword, len); i < rootSize; i += size_t{1} << len) code.root[i] = entry;
    }
    return true;
}

// A codeword longer than the table, or one the code leaves unused, decoded a bit at a time.
__attribute__((noinline)) uint32_t DecodeLong(const Code& code, uint32_t bits) {
    int codeword = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len, bits >>= 1) {
        codeword |= static_cast<int>(bits & 1);
        const int count = code.count[len];
        if (codeword - count < first) return EntryFor(code.use, code.symbols[index + (codeword - first)], len);
        index += count;
        first = (first + count) << 1;
        codeword <<= 1;
    }
    return MakeEntry(0, 0, kInvalid);
}

// An entry of the root table resolved: a long codeword decoded, an unused one found invalid.
inline uint32_t Resolve(const Code& code, uint32_t e, uint32_t next15) {
    return (e & kLongCode) ? DecodeLong(code, next15) : e;
}

// Literals, lengths with their distances, up to the end-of-block code. Like an inflater's fast
// loop: up to three literals a refill, and the reader copied so that it stays in registers.
bool WalkHuffmanBlock(BitReader& reader, const Code& litLen, const Code& distance) {
    BitReader bits = reader;
    const uint32_t litMask = (1u << litLen.rootBits) - 1, distanceMask = (1u << distance.rootBits) - 1;
    for (;;) {
        if (!bits.refillWithin()) return false;
        uint32_t e = litLen.root[bits.peek(kLitLenRootBits) & litMask];
        if (e & kLiteral) { // three table literals take at most 30 of the 56 bits a refill gives
            bits.consume(BitsOf(e));
            e = litLen.root[bits.peek(kLitLenRootBits) & litMask];
            if (e & kLiteral) {
                bits.consume(BitsOf(e));
                e = litLen.root[bits.peek(kLitLenRootBits) & litMask];
                if (e & kLiteral) {
                    bits.consume(BitsOf(e));
                    continue;
                }
            }
        }
        if (e & kUnusual) {
            e = Resolve(litLen, e, bits.peek(kMaxCodeLength));
            if (e & (kEnd | kLiteral)) {
                bits.consume(BitsOf(e));
                if (e & kLiteral) continue;
                reader = bits;
                return true;
            }
            if (e & kInvalid) return false;
        }
        bits.consume(BitsOf(e)); // a length code and its extra bits
        bits.refill();
        const uint32_t d = Resolve(distance, distance.root[bits.peek(kDistanceRootBits) & distanceMask],
                                   bits.peek(kMaxCodeLength));
        if (d & kInvalid) return false;
        bits.consume(BitsOf(d));
    }
}

bool ReadCodeLengths(BitReader& bits, unsigned count, uint8_t* lengths) {
    std::array<uint8_t, kCodeLengthCodes> codeLengthLengths{};
    const unsigned explicitLengths = bits.take(4) + 4;
    for (unsigned i = 0; i < explicitLengths; ++i) codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.take(3));
    Code code;
    if (!BuildCode(code, codeLengthLengths.data(), kCodeLengthCodes, kCodeLengthRootBits, CodeUse::CodeLengths))
        return false;
    for (unsigned have = 0; have < count;) {
        bits.refill();
        const uint32_t e = code.root[bits.peek(kCodeLengthRootBits)];
        bits.consume(BitsOf(e));
        const unsigned symbol = SymbolOf(e);
        if (symbol < 16) {
            lengths[have++] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == 16 && have == 0) return false;
        const uint8_t value = symbol == 16 ? lengths[have - 1] : 0;
        const unsigned repeat = symbol == 16 ? 3 + bits.take(2) : symbol == 17 ? 3 + bits.take(3) : 11 + bits.take(7);
        if (repeat > count - have) return false;
        for (unsigned i = 0; i < repeat; ++i) lengths[have++] = value;
    }
    return true;
}

bool WalkDynamicBlock(BitReader& bits) {
    const unsigned litLenCount = bits.take(5) + 257, distanceCount = bits.take(5) + 1;
    if (litLenCount > kLengthCodes || distanceCount > kDistanceCodes) return false;
    std::array<uint8_t, kLengthCodes + kDistanceCodes> lengths{};
    if (!ReadCodeLengths(bits, litLenCount + distanceCount, lengths.data()) || lengths[kEndOfBlock] == 0) return false;
    Code litLen, distance;
    return BuildCode(litLen, lengths.data(), litLenCount, kLitLenRootBits, CodeUse::LitLen) &&
           BuildCode(distance, lengths.data() + litLenCount, distanceCount, kDistanceRootBits, CodeUse::Distance) &&
           WalkHuffmanBlock(bits, litLen, distance);
}

struct FixedCodes {
    Code litLen, distance;
    FixedCodes() {
        std::array<uint8_t, 288> lengths{};
        for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        BuildCode(litLen, lengths.data(), 288, kLitLenRootBits, CodeUse::LitLen);
        lengths.fill(5);
        BuildCode(distance, lengths.data(), 32, kDistanceRootBits, CodeUse::Distance);
    }
};

bool WalkStoredBlock(BitReader& bits) {
    const uint8_t* header = nullptr;
    if (!bits.skipBytesAfterAlign(4, header)) return false;
    const unsigned length = header[0] | header[1] << 8, complement = header[2] | header[3] << 8;
    const uint8_t* unused = nullptr;
    return length == (~complement & 0xFFFF) && bits.skipBytesAfterAlign(length, unused);
}

} // namespace

bool MeetsZlibDeflateRules(const uint8_t* stream, size_t size) {
    static const FixedCodes fixed;
    BitReader bits(stream, size);
    for (bool last = false; !last;) {
        last = bits.take(1) != 0;
        const unsigned type = bits.take(2);
        const bool ok = type == 0   ? WalkStoredBlock(bits)
                        : type == 1 ? WalkHuffmanBlock(bits, fixed.litLen, fixed.distance)
                        : type == 2 ? WalkDynamicBlock(bits)
                                    : false;
        if (!ok || !bits.refillWithin()) return false;
    }
    return bits.withinData();
}

} // namespace pavoline

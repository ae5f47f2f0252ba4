#pragma once
// Reads a stream of 16-bit little-endian words least-significant bit first. Taking the words
// least-significant bit first is the same as taking the bytes that way, so the reader keeps up to
// 64 bits and refills eight bytes at a time. Bytes past the end of the input read as zero, so a
// short stream decodes as index 0.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pavoline {

class WordBitReader {
public:
    WordBitReader(const uint8_t* data, size_t size) : next_(data), end_(data + size) {}

    // n is at most 16; n == 0 reads nothing and returns 0.
    uint32_t read(unsigned n) {
        if (count_ < n) refill();
        return take(n);
    }

    // For hot loops: after refill() at least kRefillBits can be taken without checks.
    static constexpr unsigned kRefillBits = 56;
    unsigned held() const { return count_; }
    uint32_t take(unsigned n) {
        const uint32_t value = static_cast<uint32_t>(buffer_) & ((1u << n) - 1u);
        buffer_ >>= n;
        count_ -= n;
        return value;
    }

    // Called with fewer than 56 bits held; leaves at least 56.
    void refill() {
        if (end_ - next_ >= 8) {
            uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            buffer_ |= LittleEndian(word) << count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            const uint64_t byte = next_ < end_ ? *next_++ : 0;
            buffer_ |= byte << count_;
            count_ += 8;
        }
    }

private:
    static uint64_t LittleEndian(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return __builtin_bswap64(v);
#else
        return v;
#endif
    }

    const uint8_t* next_;
    const uint8_t* end_;
    uint64_t buffer_ = 0;
    unsigned count_ = 0;
};

} // namespace pavoline

#pragma once
// Writes bits least-significant first; each full 16 bits become one little-endian word.

#include <cstdint>
#include <vector>

namespace pavoline {

class WordBitWriter {
public:
    explicit WordBitWriter(std::vector<uint8_t>& out) : out_(out) {}

    // n is at most 16; value's bits above n are ignored.
    void write(uint32_t value, unsigned n) {
        buffer_ |= (value & ((1u << n) - 1u)) << count_;
        count_ += n;
        if (count_ >= 16) {
            putWord(buffer_);
            buffer_ >>= 16;
            count_ -= 16;
        }
    }

    // Writes the partial word, if any, padded with zero bits.
    void flush() {
        if (count_ > 0) putWord(buffer_);
        buffer_ = 0;
        count_ = 0;
    }

private:
    void putWord(uint32_t word) {
        out_.push_back(static_cast<uint8_t>(word));
        out_.push_back(static_cast<uint8_t>(word >> 8));
    }

    std::vector<uint8_t>& out_;
    uint32_t buffer_ = 0;
    unsigned count_ = 0;
};

} // namespace pavoline

#include "md5.h"

#include "platform.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <optional>
#include <memory>
#include <vector>

namespace pavoline {
namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// One step of round R on word a; the message word and constant are picked by the step number.
template <int R>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, const uint32_t* x, int i) {
    uint32_t f;
    int k;
    if constexpr (R == 0) {
        f = d ^ (b & (c ^ d));
        k = i;
    } else if constexpr (R == 1) {
        f = c ^ (d & (b ^ c));
        k = (5 * i + 1) & 15;
    } else if constexpr (R == 2) {
        f = b ^ c ^ d;
        k = (3 * i + 5) & 15;
    } else {
        f = c ^ (b | ~d);
        k = (7 * i) & 15;
    }
    a = b + RotateLeft(a + f + x[k] + kSine[16 * R + i], kShift[R][i & 3]);
}

template <int R>
inline void Round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x) {
    for (int i = 0; i < 16; i += 4) {
        Step<R>(a, b, c, d, x, i);
        Step<R>(d, a, b, c, x, i + 1);
        Step<R>(c, d, a, b, x, i + 2);
        Step<R>(b, c, d, a, x, i + 3);
    }
}

// Pauses so that digesting a big file leaves the disk to others now and then.
void PauseSince(uint32_t& mark) {
    const uint32_t elapsed = TickCount() - mark;
    SleepMs(elapsed < 200 ? elapsed / 2 : 100);
    mark = TickCount();
}

} // namespace

void MD5_CTX::init() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    bitCount_ = 0;
}

void MD5_CTX::transform(const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    Round<0>(a, b, c, d, x);
    Round<1>(a, b, c, d, x);
    Round<2>(a, b, c, d, x);
    Round<3>(a, b, c, d, x);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void MD5_CTX::update(const uint8_t* data, size_t length) {
    size_t used = static_cast<size_t>((bitCount_ >> 3) & 63);
    bitCount_ += static_cast<uint64_t>(length) << 3;
    if (used > 0) {
        const size_t take = std::min(length, 64 - used);
        std::memcpy(buffer_ + used, data, take);
        used += take;
        data += take;
        length -= take;
        if (used < 64) return;
        transform(buffer_);
    }
    for (; length >= 64; data += 64, length -= 64) transform(data);
    std::memcpy(buffer_, data, length);
}

void MD5_CTX::final(uint8_t digest[16]) {
    uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(bitCount_ >> (8 * i));
    const size_t used = static_cast<size_t>((bitCount_ >> 3) & 63);
    static const uint8_t kPadding[64] = {0x80};
    update(kPadding, used < 56 ? 56 - used : 120 - used);
    update(lengthBytes, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
    init();
}

bool FileMd5Hex(const std::string& path, uint8_t digest[16]) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        std::fprintf(stderr, "Fail to open file %s.\n", path.c_str());
        return false;
    }
    const std::optional<uint64_t> size = FileSize(path);
    std::vector<uint8_t> chunk(kMd5ChunkSize, 0);
    MD5_CTX md5;
    auto readInto = [&](size_t length) {
        if (std::fread(chunk.data(), 1, length, file.get()) == length) return true;
        std::fprintf(stderr, "Fail to read file.\n");
        return false;
    };
    uint32_t mark = 0;
    const uint64_t total = size.value_or(0);
    for (uint64_t n = total / kMd5ChunkSize; n > 0; --n) {
        PauseSince(mark);
        if (!readInto(kMd5ChunkSize)) return false;
        PauseSince(mark);
        md5.update(chunk.data(), kMd5ChunkSize);
    }
    const size_t rest = static_cast<size_t>(total % kMd5ChunkSize);
    if (rest > 0 && !readInto(rest)) return false;
    md5.update(chunk.data(), rest);
    md5.final(digest);
    return true;
}

std::string Md5Text(const uint8_t digest[16]) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

bool ChecksumMatches(const std::string& expected, const std::string& digestText) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (digestText.empty() || expected.size() != digestText.size()) return false;
    for (size_t i = 0; i < expected.size(); ++i)
        if (lower(expected[i]) != lower(digestText[i])) return false;
    return true;
}

std::string BytesMd5Text(const void* data, size_t length) {
    MD5_CTX md5;
    md5.update(static_cast<const uint8_t*>(data), length);
    uint8_t digest[16];
    md5.final(digest);
    return Md5Text(digest);
}

std::string FileMd5Text(const std::string& path) {
    uint8_t digest[16];
    return FileMd5Hex(path, digest) ? Md5Text(digest) : std::string();
}

} // namespace pavoline

#pragma once
// MD5 message digest (RFC 1321), and the digest of a file as the suite checks its packages.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pavoline {

class MD5_CTX {
public:
    MD5_CTX() { init(); }
    void init();
    void update(const uint8_t* data, size_t length);
    void final(uint8_t digest[16]);

private:
    void transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t bitCount_;
    uint8_t buffer_[64];
};

constexpr size_t kMd5ChunkSize = 1024000;

// Digest of the whole file, read in 1,024,000-byte chunks with short pauses between them so a big
// file does not hog the disk. False when the file cannot be opened or read (a line on stderr says so).
bool FileMd5Hex(const std::string& path, uint8_t digest[16]);

// The 16 bytes as 32 upper-case hexadecimal digits.
std::string Md5Text(const uint8_t digest[16]);

// Published checksum against a digest text: ASCII letter case ignored, nothing trimmed. An empty
// digest text (one that could not be computed) matches nothing.
bool ChecksumMatches(const std::string& expected, const std::string& digestText);

// Digest text of bytes in memory.
std::string BytesMd5Text(const void* data, size_t length);

// FileMd5Hex and Md5Text together; empty when the digest could not be computed.
std::string FileMd5Text(const std::string& path);

} // namespace pavoline

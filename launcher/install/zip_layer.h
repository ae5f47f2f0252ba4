#pragma once
// Reading model packages (zip archives) with minizip: entries as the install sees them, with the
// stored names made relative and safe, and the stored attributes mapped to the DOS bits.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pavoline {

constexpr uint32_t kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04, kAttrDirectory = 0x10,
                   kAttrArchive = 0x20;
constexpr size_t kZipPieceSize = 16384;

struct ZipEntryInfo {
    size_t index = 0;
    std::string storedName;
    std::string name;       // after the name rules
    uint32_t attributes = 0;
    bool symbolicLink = false;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t crc = 0;
};

// Drops drive letters, leading separators and everything up to a "..": applied again and again
// until none applies. "c:\a\..\b\c.png" becomes "b\c.png", "/x/../y" becomes "y".
std::string ApplyEntryNameRules(std::string name);

// The DOS attributes of an entry from the host that made it (high byte of version-made-by) and its
// external attributes.
uint32_t MapEntryAttributes(unsigned host, uint32_t externalAttributes);
bool IsSymbolicLinkEntry(unsigned host, uint32_t externalAttributes);

// The entry's path below the model directory, with '/' separators; nothing when it would still
// leave the directory (a ".." part, an absolute path) or names nothing.
std::optional<std::string> SafeEntryPath(const std::string& name);

class ZipReader {
public:
    static std::unique_ptr<ZipReader> Open(const std::string& path);
    ~ZipReader();

    const std::vector<ZipEntryInfo>& entries() const { return entries_; }

    // Entries are read in archive order: begin, pieces until 0, end.
    bool beginEntry(size_t index);
    // Bytes put in the buffer, 0 at the end of the entry, negative on a damaged stream.
    int readPiece(uint8_t* buffer, size_t size);
    // False unless what was read has the size and the CRC the central directory gives the entry.
    bool endEntry();

private:
    explicit ZipReader(void* handle) : handle_(handle) {}
    bool readDirectory();

    void* handle_;
    std::vector<ZipEntryInfo> entries_;
    size_t current_ = 0;
    bool positioned_ = false; // the reader stands on entry current_
    uint64_t readSize_ = 0;   // of the current entry
    uint32_t readCrc_ = 0;
};

} // namespace pavoline

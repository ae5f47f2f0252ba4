#pragma once
// Writing zip archives with minizip: the update site's packages, and the tests' fixtures.
//
// How an entry's attributes are stored depends on the host it claims:
//   DOS (0)   the attribute bits in the low byte; a directory is exactly 0x10, which is what the
//             launcher's strict reading of a model package expects;
//   Unix (3)  the file mode in the high half (0100755 << 16), which 7-Zip applies on extraction,
//             so that the programs of an update stay executable.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace pavoline {

constexpr unsigned kZipHostDos = 0, kZipHostUnix = 3;

struct ZipEntryHeader {
    std::string name; // '/' separated; a directory's name ends with '/'
    unsigned host = kZipHostDos;
    uint32_t externalAttributes = 0;
    std::time_t modified = 0; // 0: the time of writing
    uint64_t size = 0;        // bytes to come, so that large entries get their zip64 fields
};

class ZipWriter {
public:
    static std::unique_ptr<ZipWriter> Create(const std::string& path);
    ~ZipWriter(); // closes the archive when close() was not called
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool beginEntry(const ZipEntryHeader& header);
    bool write(const void* data, size_t length);
    bool endEntry();

    bool addBytes(const ZipEntryHeader& header, const std::string& data);
    // The file's content, read in pieces.
    bool addFile(const ZipEntryHeader& header, const std::string& sourcePath);

    // Writes the central directory; false when the archive is not complete.
    bool close();

private:
    explicit ZipWriter(void* handle) : handle_(handle) {}

    void* handle_;
    bool entryOpen_ = false;
};

} // namespace pavoline

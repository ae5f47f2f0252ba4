#include "zip_builder.h"

#include "temp_dir.h"
#include "zip_writer.h"

#include <stdexcept>

namespace pavoline::test {

ZipEntrySpec FileEntry(const std::string& name, const std::string& data) { return {name, data, 0, 0x20, false}; }
ZipEntrySpec DirectoryEntry(const std::string& name) { return {name, "", 0, 0x10, true}; }
ZipEntrySpec UnixFileEntry(const std::string& name, const std::string& data) {
    return {name, data, 3, (0100644u << 16), false};
}
ZipEntrySpec UnixDirectoryEntry(const std::string& name) { return {name, "", 3, (040755u << 16) | 0x10, true}; }
ZipEntrySpec UnixSymlinkEntry(const std::string& name, const std::string& target) {
    return {name, target, 3, (0120777u << 16), false};
}

void WriteZip(const std::string& path, const std::vector<ZipEntrySpec>& entries) {
    std::unique_ptr<ZipWriter> zip = ZipWriter::Create(path);
    if (!zip) throw std::runtime_error("cannot make " + path);
    for (const ZipEntrySpec& e : entries)
        if (!zip->addBytes({e.name, e.host, e.externalAttributes}, e.data))
            throw std::runtime_error("cannot add " + e.name);
    if (!zip->close()) throw std::runtime_error("cannot finish " + path);
}

void DamageFirstEntryData(const std::string& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    // The local header is 30 bytes plus the name and extra field; the data follows.
    const size_t nameLength = bytes[26] | bytes[27] << 8, extraLength = bytes[28] | bytes[29] << 8;
    const size_t data = 30 + nameLength + extraLength;
    for (size_t i = data; i < data + 16 && i < bytes.size(); ++i) bytes[i] ^= 0xA5;
    WriteBytes(path, bytes);
}

} // namespace pavoline::test

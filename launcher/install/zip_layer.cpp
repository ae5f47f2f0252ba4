#include "zip_layer.h"

#include <minizip/unzip.h>
#include <zlib.h>

namespace pavoline {
namespace {

constexpr size_t kMaxStoredName = 4096;
constexpr uint32_t kUnixTypeMask = 0170000, kUnixSymlink = 0120000;
constexpr uint32_t kUnixDirectoryBit = 1u << 30; // S_IFDIR in the high half
constexpr uint32_t kUnixOwnerWriteBit = 1u << 23; // S_IWUSR in the high half

bool HasDosAttributes(unsigned host) { return host == 0 || host == 7 || host == 11 || host == 14; }

bool DropFirstRuleMatch(std::string& name) {
    if (name.size() >= 2 && name[1] == ':') {
        name.erase(0, 2);
        return true;
    }
    if (!name.empty() && (name[0] == '\\' || name[0] == '/')) {
        name.erase(0, 1);
        return true;
    }
    for (const char* climb : {"\\..\\", "\\../", "/../", "/..\\"}) {
        const size_t at = name.find(climb);
        if (at != std::string::npos) {
            name.erase(0, at + 4);
            return true;
        }
    }
    return false;
}

} // namespace

std::string ApplyEntryNameRules(std::string name) {
    while (DropFirstRuleMatch(name)) {
    }
    return name;
}

uint32_t MapEntryAttributes(unsigned host, uint32_t external) {
    if (HasDosAttributes(host))
        return external & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
    uint32_t attributes = kAttrArchive;
    if (external & kUnixDirectoryBit) attributes |= kAttrDirectory;
    if (!(external & kUnixOwnerWriteBit)) attributes |= kAttrReadOnly;
    return attributes;
}

bool IsSymbolicLinkEntry(unsigned host, uint32_t external) {
    return !HasDosAttributes(host) && ((external >> 16) & kUnixTypeMask) == kUnixSymlink;
}

std::optional<std::string> SafeEntryPath(const std::string& name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty() || path[0] == '/' || path.find('\0') != std::string::npos) return std::nullopt;
    std::string safe;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") safe += (safe.empty() ? "" : "/") + part;
        start = end + 1;
    }
    if (safe.empty()) return std::nullopt;
    return safe;
}

std::unique_ptr<ZipReader> ZipReader::Open(const std::string& path) {
    unzFile handle = unzOpen64(path.c_str());
    if (!handle) return nullptr;
    std::unique_ptr<ZipReader> reader(new ZipReader(handle));
    if (!reader->readDirectory()) return nullptr;
    return reader;
}

ZipReader::~ZipReader() { unzClose(handle_); }

bool ZipReader::readDirectory() {
    int status = unzGoToFirstFile(handle_);
    for (size_t index = 0; status == UNZ_OK; ++index, status = unzGoToNextFile(handle_)) {
        unz_file_info64 info{};
        std::vector<char> name(kMaxStoredName + 1, 0);
        if (unzGetCurrentFileInfo64(handle_, &info, name.data(), kMaxStoredName, nullptr, 0, nullptr, 0) != UNZ_OK ||
            info.size_filename > kMaxStoredName)
            return false;
        ZipEntryInfo entry;
        entry.index = index;
        entry.storedName.assign(name.data(), info.size_filename);
        entry.name = ApplyEntryNameRules(entry.storedName);
        const unsigned host = static_cast<unsigned>(info.version >> 8);
        entry.attributes = MapEntryAttributes(host, static_cast<uint32_t>(info.external_fa));
        entry.symbolicLink = IsSymbolicLinkEntry(host, static_cast<uint32_t>(info.external_fa));
        entry.compressedSize = info.compressed_size;
        entry.uncompressedSize = info.uncompressed_size;
        entry.crc = static_cast<uint32_t>(info.crc);
        entries_.push_back(entry);
    }
    // The walk must end at the last entry (an empty archive ends at once), not on an error.
    return status == UNZ_END_OF_LIST_OF_FILE;
}

bool ZipReader::beginEntry(size_t index) {
    if (index >= entries_.size()) return false;
    // Archives are walked forwards; anything else starts again from the first entry.
    if (!positioned_ || index != current_ + 1) {
        if (unzGoToFirstFile(handle_) != UNZ_OK) return false;
        for (size_t i = 0; i < index; ++i)
            if (unzGoToNextFile(handle_) != UNZ_OK) return false;
    } else if (unzGoToNextFile(handle_) != UNZ_OK) {
        return false;
    }
    current_ = index;
    positioned_ = true;
    readSize_ = 0;
    readCrc_ = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    return unzOpenCurrentFile(handle_) == UNZ_OK;
}

int ZipReader::readPiece(uint8_t* buffer, size_t size) {
    const int n = unzReadCurrentFile(handle_, buffer, static_cast<unsigned>(size));
    if (n > 0) {
        readSize_ += static_cast<uint64_t>(n);
        readCrc_ = static_cast<uint32_t>(crc32(readCrc_, buffer, static_cast<uInt>(n)));
    }
    return n;
}

// minizip checks the CRC only of an entry read to its declared end; an entry whose data end
// before that would pass unchecked, so both are compared here.
bool ZipReader::endEntry() {
    if (!positioned_) return false;
    const bool closed = unzCloseCurrentFile(handle_) == UNZ_OK;
    const ZipEntryInfo& entry = entries_[current_];
    return closed && readSize_ == entry.uncompressedSize && readCrc_ == entry.crc;
}

} // namespace pavoline

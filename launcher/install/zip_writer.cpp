#include "zip_writer.h"

#include "zip_layer.h"

#include <algorithm>
#include <cstdio>
#include <minizip/zip.h>
#include <vector>

namespace pavoline {
namespace {

constexpr uLong kVersionMadeBy20 = 20; // "2.0", in the low byte
constexpr uint64_t kZip64Threshold = 0xFFFFFFFFu;

zip_fileinfo FileInfo(const ZipEntryHeader& header) {
    zip_fileinfo info{};
    std::time_t when = header.modified ? header.modified : std::time(nullptr);
    std::tm local{};
    localtime_r(&when, &local);
    info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
    info.external_fa = header.externalAttributes;
    return info;
}

} // namespace

std::unique_ptr<ZipWriter> ZipWriter::Create(const std::string& path) {
    zipFile handle = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!handle) return nullptr;
    return std::unique_ptr<ZipWriter>(new ZipWriter(handle));
}

ZipWriter::~ZipWriter() {
    if (handle_) zipClose(handle_, nullptr);
}

bool ZipWriter::beginEntry(const ZipEntryHeader& header) {
    if (!handle_ || entryOpen_) return false;
    const zip_fileinfo info = FileInfo(header);
    const uLong versionMadeBy = (static_cast<uLong>(header.host) << 8) | kVersionMadeBy20;
    const int zip64 = header.size >= kZip64Threshold ? 1 : 0;
    entryOpen_ = zipOpenNewFileInZip4_64(handle_, header.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                         Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                         Z_DEFAULT_STRATEGY, nullptr, 0, versionMadeBy, 0, zip64) == ZIP_OK;
    return entryOpen_;
}

bool ZipWriter::write(const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (entryOpen_ && length > 0) {
        const unsigned piece = static_cast<unsigned>(std::min<size_t>(length, kZipPieceSize));
        if (zipWriteInFileInZip(handle_, bytes, piece) != ZIP_OK) return false;
        bytes += piece;
        length -= piece;
    }
    return entryOpen_;
}

bool ZipWriter::endEntry() {
    if (!entryOpen_) return false;
    entryOpen_ = false;
    return zipCloseFileInZip(handle_) == ZIP_OK;
}

bool ZipWriter::addBytes(const ZipEntryHeader& header, const std::string& data) {
    ZipEntryHeader sized = header;
    sized.size = data.size();
    return beginEntry(sized) && write(data.data(), data.size()) && endEntry();
}

bool ZipWriter::addFile(const ZipEntryHeader& header, const std::string& sourcePath) {
    FILE* file = std::fopen(sourcePath.c_str(), "rb");
    if (!file) return false;
    bool ok = beginEntry(header);
    std::vector<char> piece(kZipPieceSize * 4);
    while (ok) {
        const size_t n = std::fread(piece.data(), 1, piece.size(), file);
        if (n > 0) ok = write(piece.data(), n);
        if (n < piece.size()) {
            ok = ok && !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    return endEntry() && ok;
}

bool ZipWriter::close() {
    if (!handle_ || entryOpen_) return false;
    const bool closed = zipClose(handle_, nullptr) == ZIP_OK;
    handle_ = nullptr;
    return closed;
}

} // namespace pavoline

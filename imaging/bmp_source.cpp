#include "bmp_source.h"

#include "bytes.h"
#include "file_io.h"

#include <cstdio>
#include <memory>

namespace pavoline {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kMinInfoHeaderSize = 40;
constexpr uint32_t kMaxTableEntries = 256;

struct BmpLayout {
    int width = 0, height = 0, bitsPerPixel = 0;
    size_t pixelOffset = 0, stride = 0;
    std::vector<uint32_t> table; // entries already mapped to pixels
};

std::vector<uint32_t> ReadColourTable(const uint8_t* entries, uint32_t count, SourceMode mode) {
    std::vector<uint32_t> table(count);
    const uint32_t first = count > 0 ? Le32(entries) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t value = Le32(entries + 4 * i);
        table[i] = mode == SourceMode::ColourKey && value == first ? 0 : 0xFF000000u | value;
    }
    return table;
}

std::optional<BmpLayout> CheckHeaders(const uint8_t* bytes, size_t size, SourceMode mode) {
    if (size < kFileHeaderSize + kMinInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M' || Le32(bytes + 2) != size)
        return std::nullopt;
    const uint32_t infoSize = Le32(bytes + 14);
    BmpLayout b;
    b.width = static_cast<int32_t>(Le32(bytes + 18));
    b.height = static_cast<int32_t>(Le32(bytes + 22));
    b.bitsPerPixel = Le16(bytes + 28);
    const uint32_t compression = Le32(bytes + 30);
    if (infoSize < kMinInfoHeaderSize || (b.bitsPerPixel != 4 && b.bitsPerPixel != 8 && b.bitsPerPixel != 24 &&
                                          b.bitsPerPixel != 32))
        return std::nullopt;
    if (b.width < 1 || b.width > kMaxSourceSide || b.height < 1 || b.height > kMaxSourceSide) return std::nullopt;
    if (compression != 0 && compression != 3) return std::nullopt;
    if (b.bitsPerPixel <= 8) {
        const uint32_t used = Le32(bytes + 46);
        const uint32_t count = used == 0 ? kMaxTableEntries : used;
        const uint64_t tableStart = kFileHeaderSize + uint64_t{infoSize};
        if (count > kMaxTableEntries || tableStart + 4 * uint64_t{count} > size) return std::nullopt;
        b.table = ReadColourTable(bytes + tableStart, count, mode);
    }
    b.pixelOffset = Le32(bytes + 10);
    b.stride = (static_cast<size_t>(b.width) * b.bitsPerPixel + 31) / 32 * 4;
    if (b.pixelOffset > size || b.stride * b.height > size - b.pixelOffset) return std::nullopt;
    return b;
}

uint32_t TruePixel(const uint8_t* p, int bitsPerPixel, SourceMode mode) {
    const uint32_t rgb = static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
    if (mode == SourceMode::Alpha) return bitsPerPixel == 32 ? uint32_t{p[3]} << 24 | rgb : 0xFF000000u | rgb;
    return rgb == kTransparentKeyColour ? 0 : 0xFF000000u | rgb;
}

// False when a pixel names a colour the table does not have.
bool DecodeRows(const uint8_t* bytes, const BmpLayout& b, SourceMode mode, Canvas& picture) {
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* row = bytes + b.pixelOffset + static_cast<size_t>(b.height - 1 - y) * b.stride;
        uint32_t* out = picture.row(y);
        for (int x = 0; x < b.width; ++x) {
            if (b.bitsPerPixel >= 24) {
                out[x] = TruePixel(row + static_cast<size_t>(x) * (b.bitsPerPixel / 8), b.bitsPerPixel, mode);
                continue;
            }
            // A 4-bit row takes the high nibble of each byte as the left pixel.
            const uint32_t index = b.bitsPerPixel == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
            if (index >= b.table.size()) return false;
            out[x] = b.table[index];
        }
    }
    return true;
}

} // namespace

std::string BmpParseErrorMessage(const std::string& path) { return "[ABM enc] parse BMP error, " + path + "\n"; }

std::optional<Canvas> ParseBmpSource(const uint8_t* bytes, size_t size, SourceMode mode) {
    const std::optional<BmpLayout> layout = CheckHeaders(bytes, size, mode);
    if (!layout) return std::nullopt;
    Canvas picture(layout->width, layout->height, 0);
    if (!DecodeRows(bytes, *layout, mode, picture)) return std::nullopt;
    return picture;
}

std::optional<Canvas> ReadBmpSource(const std::string& path, SourceMode mode, std::ostream& out) {
    const FilePtr file = OpenFile(path, "rb");
    if (!file) {
        out << "[ABM enc] open file error: " << path << "\n";
        return std::nullopt;
    }
    const int64_t length = OpenFileLength(file.get());
    if (length > static_cast<int64_t>(kMaxSourceFileSize)) {
        out << "[ABM enc] over buffer size: " << path << "\n";
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(length > 0 ? length : 0));
    if (length <= 0 || std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        out << "[ABM enc] read buffer error: " << path << "\n";
        return std::nullopt;
    }
    std::optional<Canvas> picture = ParseBmpSource(bytes.data(), bytes.size(), mode);
    if (!picture) out << BmpParseErrorMessage(path);
    return picture;
}

} // namespace pavoline

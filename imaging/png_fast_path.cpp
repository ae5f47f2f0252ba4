#include "png_fast_path.h"

#include "bmp_source.h"
#include "bytes.h"
#include "png_rows.h"

#include <array>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <vector>

namespace pavoline {
namespace {

using Verdict = FastPngResult::Verdict;

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kIhdrEnd = 8 + 8 + 13 + 4;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kMaxSide = kMaxSourceSide;
constexpr uint8_t kColourRgb = 2, kColourPalette = 3, kColourRgba = 6;

constexpr uint32_t ChunkType(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 | uint32_t(uint8_t(name[2])) << 8 |
           uint32_t(uint8_t(name[3]));
}
constexpr uint32_t kIhdr = ChunkType("IHDR"), kPlte = ChunkType("PLTE"), kIdat = ChunkType("IDAT"),
                   kIend = ChunkType("IEND"), kTrns = ChunkType("tRNS"), kBkgd = ChunkType("bKGD"),
                   kHist = ChunkType("hIST"), kText = ChunkType("tEXt"), kZtxt = ChunkType("zTXt"),
                   kItxt = ChunkType("iTXt"), kIccp = ChunkType("iCCP"), kExif = ChunkType("eXIf"),
                   kSplt = ChunkType("sPLT");

// The case bit of the type's first letter.
bool IsCritical(uint32_t type) { return (type & 0x20000000u) == 0; }

struct Chunk {
    uint32_t type = 0;
    uint32_t length = 0;
    const uint8_t* data = nullptr; // the type's 4 bytes come just before
    bool hasCrc = true;            // false only for a last chunk cut off inside its CRC
};

bool CrcMatches(const Chunk& c) {
    return c.hasCrc && libdeflate_crc32(0, c.data - 4, size_t{c.length} + 4) == Be32(c.data + c.length);
}

// Chunks one after the other, each wholly inside the file.
class ChunkReader {
public:
    ChunkReader(const uint8_t* bytes, size_t size, size_t at) : bytes_(bytes), size_(size), at_(at) {}

    // False when the file ends inside the next chunk's header or data, or its length is out of range.
    bool next(Chunk& c) {
        if (size_ - at_ < 8) return false;
        c.length = Be32(bytes_ + at_);
        if (c.length > kMaxChunkLength || c.length > size_ - at_ - 8) return false;
        c.type = Be32(bytes_ + at_ + 4);
        c.data = bytes_ + at_ + 8;
        c.hasCrc = size_ - at_ - 8 - c.length >= 4;
        at_ = c.hasCrc ? at_ + size_t{c.length} + 12 : size_;
        return true;
    }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_;
};

struct Header {
    uint32_t width = 0, height = 0;
    uint8_t colourType = 0;
    unsigned pixelBytes = 0;
    size_t rowBytes() const { return size_t{width} * pixelBytes; }
};

// The header of a common kind of picture; false for anything else.
bool ReadCommonHeader(const uint8_t* bytes, size_t size, Header& h, Chunk& ihdr) {
    if (size < kIhdrEnd || std::memcmp(bytes, kSignature, sizeof kSignature) != 0) return false;
    ChunkReader reader(bytes, size, sizeof kSignature);
    if (!reader.next(ihdr) || ihdr.type != kIhdr || ihdr.length != 13) return false;
    const uint8_t* d = ihdr.data;
    h.width = Be32(d);
    h.height = Be32(d + 4);
    h.colourType = d[9];
    const uint8_t bitDepth = d[8], compression = d[10], filter = d[11], interlace = d[12];
    if (h.width < 1 || h.width > kMaxSide || h.height < 1 || h.height > kMaxSide) return false;
    if (bitDepth != 8 || compression != 0 || filter != 0 || interlace != 0) return false;
    h.pixelBytes = h.colourType == kColourRgba ? 4 : h.colourType == kColourRgb ? 3 : h.colourType == kColourPalette ? 1 : 0;
    return h.pixelBytes != 0;
}

// libspng skips what it cannot use in an ancillary chunk, but some kinds it keeps can still fail a
// file: more than 1000 text, eXIf and sPLT chunks, or compressed text and ICC profiles inflating
// past its limits. Those are bounded here with room to spare; tRNS changes the pixels.
class AncillaryBudget {
public:
    bool admit(const Chunk& c) {
        switch (c.type) {
        case kTrns:
            return false;
        case kZtxt:
        case kItxt:
        case kIccp:
            compressedBytes_ += c.length;
            if (c.length > kMaxCompressedChunk || compressedBytes_ > kMaxCompressedBytes) return false;
            [[fallthrough]];
        case kText:
        case kExif:
        case kSplt:
            return ++keptChunks_ <= kMaxKeptChunks;
        default:
            return true;
        }
    }

private:
    // Inflating multiplies by 1032 at most: 32 KiB stays below libspng's 64 MiB a chunk, and
    // 128 KiB, with a file of at most 16 MiB, below its 256 MiB for all it keeps.
    static constexpr size_t kMaxCompressedChunk = 32u << 10, kMaxCompressedBytes = 128u << 10;
    static constexpr unsigned kMaxKeptChunks = 500;
    size_t compressedBytes_ = 0;
    unsigned keptChunks_ = 0;
};

struct ImageChunks {
    std::vector<Chunk> imageData;
    bool hasPalette = false;
    // Entries past the palette's end read as opaque black, as in libspng.
    std::array<uint32_t, 256> palette{};
};

bool ReadPalette(const Chunk& c, ImageChunks& chunks) {
    if (c.length == 0 || c.length % 3 != 0 || c.length / 3 > 256 || !CrcMatches(c)) return false;
    chunks.palette.fill(0xFF000000u);
    for (uint32_t i = 0; i < c.length / 3; ++i) {
        const uint8_t* rgb = c.data + 3 * i;
        chunks.palette[i] = 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    }
    chunks.hasPalette = true;
    return true;
}

// Every chunk from after IHDR to IEND, in the order libspng allows: Decoded when they all are,
// with the image data still to inflate.
Verdict ReadChunks(const uint8_t* bytes, size_t size, const Header& h, ImageChunks& chunks) {
    enum class Stage { BeforeImageData, ImageData, AfterImageData } stage = Stage::BeforeImageData;
    ChunkReader reader(bytes, size, kIhdrEnd);
    AncillaryBudget budget;
    bool sawBackgroundOrHistogram = false; // these before PLTE make libspng refuse it
    Chunk c;
    for (;;) {
        if (!reader.next(c)) return Verdict::Broken;
        if (c.type == kIend) {
            // libspng takes a file that ends inside IEND's CRC, though not a wrong CRC.
            const bool ends = stage != Stage::BeforeImageData && c.length == 0 && (!c.hasCrc || CrcMatches(c));
            return ends ? Verdict::Decoded : Verdict::Broken;
        }
        if (!c.hasCrc) return Verdict::Broken; // the file ends before IEND
        if (c.type == kIdat) {
            if (stage == Stage::AfterImageData || !CrcMatches(c)) return Verdict::Broken;
            if (h.colourType == kColourPalette && !chunks.hasPalette) return Verdict::Broken;
            stage = Stage::ImageData;
            chunks.imageData.push_back(c);
            continue;
        }
        if (stage == Stage::ImageData) stage = Stage::AfterImageData;
        if (IsCritical(c.type)) {
            if (c.type != kPlte) return Verdict::Broken; // a second IHDR, or a critical chunk unknown to libspng
            if (stage != Stage::BeforeImageData || chunks.hasPalette || sawBackgroundOrHistogram)
                return Verdict::NotMine;
            if (!ReadPalette(c, chunks)) return Verdict::Broken;
            continue;
        }
        sawBackgroundOrHistogram = sawBackgroundOrHistogram || c.type == kBkgd || c.type == kHist;
        if (!budget.admit(c)) return Verdict::NotMine;
    }
}

// The IDAT chunks' data moved together in place, over the chunk headers between them:
// libdeflate inflates whole buffers only.
size_t JoinImageData(const std::vector<Chunk>& imageData, uint8_t* file) {
    uint8_t* const start = file + (imageData.front().data - file);
    uint8_t* end = start;
    for (const Chunk& c : imageData) {
        std::memmove(end, file + (c.data - file), c.length);
        end += c.length;
    }
    return static_cast<size_t>(end - start);
}

using Decompressor = std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)>;

// The scanlines, when the zlib stream holds exactly that many bytes and its checksum is right.
// libdeflate also inflates a few streams zlib refuses (codes the format reserves, such as distance
// code 30); holding every stream to zlib's rules would cost as much again as inflating it, so such
// a stream is read as libdeflate reads it. Every stream a compressor writes inflates alike in both.
bool Inflate(const uint8_t* stream, size_t streamSize, uint8_t* scanlines, size_t size) {
    const Decompressor d(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    return d && libdeflate_zlib_decompress(d.get(), stream, streamSize, scanlines, size, nullptr) == LIBDEFLATE_SUCCESS;
}

bool FilterTypesValid(const uint8_t* scanlines, const Header& h) {
    const size_t stride = h.rowBytes() + 1;
    for (uint32_t y = 0; y < h.height; ++y)
        if (scanlines[y * stride] > kLastPngFilter) return false;
    return true;
}

void ConvertRow(const Header& h, const ImageChunks& chunks, const uint8_t* samples, uint32_t* out) {
    switch (h.colourType) {
    case kColourRgba: RgbaRowToArgb(samples, out, h.width); break;
    case kColourRgb: RgbRowToArgb(samples, out, h.width); break;
    default: PaletteRowToArgb(samples, chunks.palette.data(), out, h.width); break;
    }
}

// Unfilters row by row and converts each row once the next one no longer needs it; `pixels` may
// be the scanlines' own memory when a converted row is no longer than its scanline.
void UnfilterAndConvert(uint8_t* scanlines, const Header& h, const ImageChunks& chunks, uint32_t* pixels) {
    static const uint8_t kZeroRow[kMaxSide * 4] = {};
    const size_t stride = h.rowBytes() + 1;
    const uint8_t* above = kZeroRow;
    for (uint32_t y = 0; y < h.height; ++y) {
        uint8_t* line = scanlines + y * stride;
        UnfilterPngRow(line[0], line + 1, above, h.rowBytes(), h.pixelBytes);
        if (y > 0) ConvertRow(h, chunks, above, pixels + size_t{y - 1} * h.width);
        above = line + 1;
    }
    ConvertRow(h, chunks, above, pixels + size_t{h.height - 1} * h.width);
}

// RGBA rows shrink by their filter byte when converted, so they are converted in place.
Canvas DecodeImageData(const uint8_t* stream, size_t streamSize, const Header& h, const ImageChunks& chunks,
                       Verdict& verdict) {
    const size_t scanlineBytes = (h.rowBytes() + 1) * h.height, pixelCount = size_t{h.width} * h.height;
    const bool inPlace = h.colourType == kColourRgba;
    std::vector<uint32_t> words(inPlace ? (scanlineBytes + 3) / 4 : 0);
    std::unique_ptr<uint8_t[]> separate(inPlace ? nullptr : new uint8_t[scanlineBytes]);
    uint8_t* scanlines = inPlace ? reinterpret_cast<uint8_t*>(words.data()) : separate.get();
    Canvas picture;
    verdict = Verdict::NotMine; // zlib may still read what libdeflate does not: libspng stops at the last row
    if (!Inflate(stream, streamSize, scanlines, scanlineBytes)) return picture;
    verdict = Verdict::Broken;
    if (!FilterTypesValid(scanlines, h)) return picture;
    verdict = Verdict::Decoded;
    picture.width = static_cast<int>(h.width);
    picture.height = static_cast<int>(h.height);
    if (inPlace) {
        UnfilterAndConvert(scanlines, h, chunks, words.data());
        words.resize(pixelCount);
        picture.pixels = std::move(words);
    } else {
        picture.pixels.resize(pixelCount);
        UnfilterAndConvert(scanlines, h, chunks, picture.pixels.data());
    }
    return picture;
}

} // namespace

FastPngResult DecodeCommonPng(std::vector<uint8_t>& file) {
    FastPngResult result;
    Header h;
    Chunk ihdr;
    if (file.size() > kMaxFastPngFileBytes || !ReadCommonHeader(file.data(), file.size(), h, ihdr)) return result;
    ImageChunks chunks;
    result.verdict = CrcMatches(ihdr) ? ReadChunks(file.data(), file.size(), h, chunks) : Verdict::Broken;
    if (result.verdict != Verdict::Decoded) return result;
    const size_t streamSize = JoinImageData(chunks.imageData, file.data());
    result.picture = DecodeImageData(chunks.imageData.front().data, streamSize, h, chunks, result.verdict);
    return result;
}

} // namespace pavoline

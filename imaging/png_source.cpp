#include "png_source.h"

#include "bmp_source.h"
#include "bytes.h"
#include "file_io.h"
#include "png_fast_path.h"

#include <cerrno>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <spng.h>
#include <vector>

namespace pavoline {
namespace {

// libspng keeps the ancillary chunks it knows (text, ICC profiles) and refuses a file whose kept
// chunks, or one decompressed text, pass its limits; libpng skipped them instead. The limits are
// generous so metadata-heavy files still read, and bounded so a crafted one cannot exhaust memory.
constexpr size_t kMaxChunkBytes = 64u << 20;
constexpr size_t kMaxChunkCacheBytes = 256u << 20;

using Context = std::unique_ptr<spng_ctx, void (*)(spng_ctx*)>;

PngSource Failed(PngSource::Status status, std::string reason) {
    PngSource result;
    result.status = status;
    result.reason = std::move(reason);
    return result;
}

uint32_t Argb(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

// A 16-bit sample to the nearest 8-bit value, as libpng's scale_16 rounds it.
uint32_t Nearest8(uint16_t sample) { return (sample * 255u + 32895u) >> 16; }

// The decoder writes R,G,B,A bytes; the canvas holds 0xAARRGGBB words.
void RgbaBytesToArgb(Canvas& picture) {
    for (uint32_t& pixel : picture.pixels) {
        uint8_t rgba[4];
        std::memcpy(rgba, &pixel, 4);
        pixel = Argb(rgba[0], rgba[1], rgba[2], rgba[3]);
    }
}

int DecodeEightBit(spng_ctx* ctx, Canvas& picture) {
    const int error = spng_decode_image(ctx, picture.pixels.data(), picture.pixels.size() * 4, SPNG_FMT_RGBA8,
                                        SPNG_DECODE_TRNS);
    if (error == 0) RgbaBytesToArgb(picture);
    return error;
}

// Sixteen-bit pictures are decoded whole, so tRNS is matched on the full samples, then rounded.
int DecodeSixteenBit(spng_ctx* ctx, Canvas& picture) {
    std::vector<uint16_t> wide(picture.pixels.size() * 4);
    const int error = spng_decode_image(ctx, wide.data(), wide.size() * 2, SPNG_FMT_RGBA16, SPNG_DECODE_TRNS);
    if (error != 0) return error;
    const uint16_t* sample = wide.data();
    for (uint32_t& pixel : picture.pixels) {
        pixel = Argb(Nearest8(sample[0]), Nearest8(sample[1]), Nearest8(sample[2]), Nearest8(sample[3]));
        sample += 4;
    }
    return 0;
}

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kEndChunk = 0x49454E44; // "IEND"

// Whether the file holds every chunk whole, up to IEND, each with its right CRC: a picture too
// large for the encoder is called so only when the file could be read, not when it is cut off or
// damaged. The pixels themselves are not decoded (they may be far too many); memory stays bounded.
bool ChunksAreWhole(FILE* file) {
    uint8_t head[8];
    if (std::fread(head, 1, 8, file) != 8 || std::memcmp(head, kSignature, 8) != 0) return false;
    std::vector<uint8_t> piece(64 * 1024);
    for (;;) {
        if (std::fread(head, 1, 8, file) != 8) return false;
        const uint32_t length = Be32(head);
        if (length > kMaxChunkLength) return false;
        uint32_t crc = libdeflate_crc32(0, head + 4, 4);
        for (uint32_t left = length; left > 0;) {
            const size_t n = std::fread(piece.data(), 1, std::min<size_t>(left, piece.size()), file);
            if (n == 0) return false;
            crc = libdeflate_crc32(crc, piece.data(), n);
            left -= static_cast<uint32_t>(n);
        }
        uint8_t stored[4];
        if (std::fread(stored, 1, 4, file) != 4 || Be32(stored) != crc) return false;
        if (Be32(head + 4) == kEndChunk) return true;
    }
}

// Too large a picture is said so only of a file read whole; any other is broken.
PngSource OutOfRange(FILE* file) {
    std::rewind(file);
    if (!ChunksAreWhole(file)) return Failed(PngSource::Status::Broken, "the file is cut off or damaged");
    return Failed(PngSource::Status::SizeOutOfRange, "");
}

PngSource Decode(spng_ctx* ctx, FILE* file) {
    // A damaged ancillary chunk is dropped, as libpng does; a damaged critical one is an error.
    spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_chunk_limits(ctx, kMaxChunkBytes, kMaxChunkCacheBytes);
    spng_ihdr header{};
    int error = spng_get_ihdr(ctx, &header);
    if (error != 0) return Failed(PngSource::Status::Broken, spng_strerror(error));
    if (header.width < 1 || header.width > kMaxSourceSide || header.height < 1 || header.height > kMaxSourceSide)
        return OutOfRange(file);

    PngSource result;
    result.picture = Canvas(static_cast<int>(header.width), static_cast<int>(header.height), 0);
    error = header.bit_depth == 16 ? DecodeSixteenBit(ctx, result.picture) : DecodeEightBit(ctx, result.picture);
    // A file cut off after its pixels is still refused: read on to the end marker.
    if (error == 0) error = spng_decode_chunks(ctx);
    if (error != 0) return Failed(PngSource::Status::Broken, spng_strerror(error));
    result.status = PngSource::Status::Decoded;
    return result;
}

Context NewContext() { return Context(spng_ctx_new(0), spng_ctx_free); }

// The whole file when it is a regular file small enough for the common kinds' reader.
bool ReadSmallFile(FILE* file, std::vector<uint8_t>& bytes) {
    const int64_t length = OpenFileLength(file);
    if (length < 0 || static_cast<uint64_t>(length) > kMaxFastPngFileBytes) return false;
    bytes.resize(static_cast<size_t>(length));
    return std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

PngSource FromFastPath(FastPngResult&& fast) {
    PngSource result;
    result.status = PngSource::Status::Decoded;
    result.picture = std::move(fast.picture);
    return result;
}

} // namespace

PngSource DecodePngWithLibspng(const uint8_t* bytes, size_t size) {
    const Context ctx = NewContext();
    if (!ctx) return Failed(PngSource::Status::Broken, "out of memory");
    const int error = spng_set_png_buffer(ctx.get(), bytes, size);
    if (error != 0) return Failed(PngSource::Status::Broken, spng_strerror(error));
    // The bytes as a stream, for the check of a file too large to decode.
    const FilePtr file(size > 0 ? fmemopen(const_cast<uint8_t*>(bytes), size, "rb") : nullptr, &std::fclose);
    if (!file) return Failed(PngSource::Status::Broken, "empty file");
    return Decode(ctx.get(), file.get());
}

PngSource DecodePngSource(const uint8_t* bytes, size_t size) {
    std::vector<uint8_t> copy(bytes, bytes + size);
    FastPngResult fast = DecodeCommonPng(copy);
    if (fast.verdict == FastPngResult::Verdict::Decoded) return FromFastPath(std::move(fast));
    return DecodePngWithLibspng(bytes, size);
}

PngSource ReadPngSource(const std::string& path) {
    const FilePtr file = OpenFile(path, "rb");
    if (!file) return Failed(PngSource::Status::CannotOpen, std::strerror(errno));
    std::vector<uint8_t> bytes;
    if (ReadSmallFile(file.get(), bytes)) {
        FastPngResult fast = DecodeCommonPng(bytes);
        if (fast.verdict == FastPngResult::Verdict::Decoded) return FromFastPath(std::move(fast));
    }
    // Everything else, and the message for a broken file, comes from libspng reading the stream.
    std::rewind(file.get());
    const Context ctx = NewContext();
    if (!ctx) return Failed(PngSource::Status::Broken, "out of memory");
    const int error = spng_set_png_file(ctx.get(), file.get());
    if (error != 0) return Failed(PngSource::Status::Broken, spng_strerror(error));
    return Decode(ctx.get(), file.get());
}

} // namespace pavoline

// PNG bytes through the encoder's reader into the encoder, and the AB2 result back through its
// decoder; and the common kinds' reader held against libspng on every input, as given and with
// its checksums made right, so that changes reach past the CRCs and the Adler-32.
#include "ab2.h"
#include "bytes.h"
#include "deflate_rules.h"
#include "encoders.h"
#include "png_fast_path.h"
#include "png_source.h"

#include <cstddef>
#include <cstdint>
#include <libdeflate.h>
#include <memory>
#include <vector>

namespace {

using namespace pavoline;

// The first run of image data, joined: the zlib stream of the picture.
std::vector<uint8_t> ImageDataStream(const std::vector<uint8_t>& png);

// The common kinds' reader may decode a file only to libspng's pixels, and call it broken only
// when libspng refuses it. The one difference allowed: a stream that breaks zlib's rules, which
// libdeflate reads and libspng refuses.
void CompareReaders(const std::vector<uint8_t>& png) {
    std::vector<uint8_t> copy = png;
    const FastPngResult fast = DecodeCommonPng(copy);
    if (fast.verdict == FastPngResult::Verdict::NotMine) return;
    const PngSource reference = DecodePngWithLibspng(png.data(), png.size());
    if (fast.verdict == FastPngResult::Verdict::Broken) {
        if (reference.status != PngSource::Status::Broken) __builtin_trap();
        return;
    }
    if (reference.status == PngSource::Status::Broken) {
        const std::vector<uint8_t> stream = ImageDataStream(png);
        if (stream.size() < 2 || MeetsZlibDeflateRules(stream.data() + 2, stream.size() - 2)) __builtin_trap();
        return;
    }
    if (reference.status != PngSource::Status::Decoded || reference.picture.width != fast.picture.width ||
        reference.picture.height != fast.picture.height || reference.picture.pixels != fast.picture.pixels)
        __builtin_trap();
}

struct ChunkAt {
    size_t at; // of the length field
    uint32_t length;
};

std::vector<ChunkAt> Chunks(const std::vector<uint8_t>& png) {
    std::vector<ChunkAt> chunks;
    for (size_t at = 8; png.size() >= 12 && at <= png.size() - 12;) {
        const uint32_t length = Be32(png.data() + at);
        if (length > png.size() - 12 - at) break;
        chunks.push_back({at, length});
        at += 12 + size_t{length};
    }
    return chunks;
}

bool IsImageData(const std::vector<uint8_t>& png, const ChunkAt& c) {
    return png[c.at + 4] == 'I' && png[c.at + 5] == 'D' && png[c.at + 6] == 'A' && png[c.at + 7] == 'T';
}

std::vector<uint8_t> ImageDataStream(const std::vector<uint8_t>& png) {
    std::vector<uint8_t> stream;
    for (const ChunkAt& c : Chunks(png)) {
        if (!IsImageData(png, c)) {
            if (!stream.empty()) break;
            continue;
        }
        stream.insert(stream.end(), png.begin() + static_cast<long>(c.at + 8), png.begin() + static_cast<long>(c.at + 8 + c.length));
    }
    return stream;
}

// The Adler-32 after the first IDAT run's DEFLATE data set to what that data inflates to.
void RepairAdler32(std::vector<uint8_t>& png, const std::vector<ChunkAt>& chunks) {
    std::vector<size_t> where; // file offset of each byte of the run's data
    for (const ChunkAt& c : chunks) {
        if (!IsImageData(png, c)) {
            if (!where.empty()) break;
            continue;
        }
        for (uint32_t i = 0; i < c.length; ++i) where.push_back(c.at + 8 + i);
    }
    if (where.size() < 6) return;
    std::vector<uint8_t> stream;
    for (size_t at : where) stream.push_back(png[at]);
    const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(libdeflate_alloc_decompressor(),
                                                                                        libdeflate_free_decompressor);
    static std::vector<uint8_t> out(size_t{5} << 20);
    size_t in = 0, produced = 0;
    if (!d || libdeflate_deflate_decompress_ex(d.get(), stream.data() + 2, stream.size() - 2, out.data(), out.size(),
                                               &in, &produced) != LIBDEFLATE_SUCCESS ||
        2 + in + 4 > where.size())
        return;
    const uint32_t adler = libdeflate_adler32(1, out.data(), produced);
    for (unsigned i = 0; i < 4; ++i) png[where[2 + in + i]] = static_cast<uint8_t>(adler >> (24 - 8 * i));
}

std::vector<uint8_t> WithChecksumsRepaired(const uint8_t* data, size_t size) {
    std::vector<uint8_t> png(data, data + size);
    const std::vector<ChunkAt> chunks = Chunks(png);
    RepairAdler32(png, chunks);
    for (const ChunkAt& c : chunks) {
        const uint32_t crc = libdeflate_crc32(0, png.data() + c.at + 4, size_t{c.length} + 4);
        for (unsigned i = 0; i < 4; ++i) png[c.at + 8 + c.length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
    return png;
}

void EncodeAndDecode(const uint8_t* data, size_t size) {
    const PngSource png = DecodePngSource(data, size);
    if (png.status != PngSource::Status::Decoded) return;
    const std::optional<PictureAnalysis> analysis = AnalysePicture(png.picture);
    if (!analysis) return;
    const std::optional<std::vector<uint8_t>> ab2 = EncodeAb2(*analysis, png.picture.width, png.picture.height);
    if (ab2) {
        Canvas canvas(png.picture.width, png.picture.height);
        if (DecodeAb2(canvas, 0, 0, ab2->data(), ab2->size()) == DecodeStatus::Malformed) __builtin_trap();
    }
    EncodeAbm(*analysis, png.picture.width, png.picture.height);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> given(data, data + size), repaired = WithChecksumsRepaired(data, size);
    CompareReaders(given);
    EncodeAndDecode(given.data(), given.size());
    if (repaired == given) return 0;
    CompareReaders(repaired);
    EncodeAndDecode(repaired.data(), repaired.size());
    return 0;
}

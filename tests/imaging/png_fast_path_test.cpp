// The common kinds' PNG reader against libspng, and the DEFLATE rules it adds to libdeflate's.
#include "deflate_builder.h"
#include "deflate_rules.h"
#include "picture_files.h"
#include "png_fast_path.h"
#include "png_source.h"

#include <gtest/gtest.h>

#include <libdeflate.h>
#include <png.h>
#include <random>
#include <zlib.h>

namespace pavoline {
namespace {

using test::DeflateBits;
using test::PngChunk;
using test::PngSpec;
using Verdict = FastPngResult::Verdict;

Verdict FastVerdict(std::vector<uint8_t> png) { return DecodeCommonPng(png).verdict; }

PngSource::Status LibspngStatus(const std::vector<uint8_t>& png) {
    return DecodePngWithLibspng(png.data(), png.size()).status;
}

PngSpec Noise(int colourType, int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    PngSpec s;
    s.width = width;
    s.height = height;
    s.colourType = colourType;
    const int samples = colourType == PNG_COLOR_TYPE_RGBA ? 4 : colourType == PNG_COLOR_TYPE_RGB ? 3 : 1;
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> row;
        // Small steps, so that every filter has something to predict.
        for (int i = 0; i < width * samples; ++i) row.push_back(static_cast<uint8_t>(y * 7 + i * 3 + random() % 5));
        s.rows.push_back(std::move(row));
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        for (int i = 0; i < 200 * 3; ++i) s.palette.push_back(static_cast<uint8_t>(random())); // indices past 199 too
    return s;
}

TEST(DecodeCommonPng, DecodesTheCommonKindsToLibspngsPixels) {
    for (int colourType : {PNG_COLOR_TYPE_RGBA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_PALETTE}) {
        for (int filter : {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH}) {
            PngSpec s = Noise(colourType, 37, 6, static_cast<unsigned>(filter + colourType));
            s.filters = filter;
            s.idatBytes = 64; // several IDAT chunks
            std::vector<uint8_t> png = test::BuildPng(s);
            const PngSource expected = DecodePngWithLibspng(png.data(), png.size());
            const FastPngResult fast = DecodeCommonPng(png);
            ASSERT_EQ(fast.verdict, Verdict::Decoded) << colourType << " " << filter;
            EXPECT_EQ(fast.picture.width, 37);
            EXPECT_EQ(fast.picture.pixels, expected.picture.pixels) << colourType << " " << filter;
        }
    }
}

// A 1 x 1 RGB picture's chunks, to be changed by each case.
std::vector<PngChunk> TinyRgb() {
    PngSpec s;
    s.colourType = PNG_COLOR_TYPE_RGB;
    s.rows = {{10, 20, 30}};
    return test::SplitPng(test::BuildPng(s));
}

// The chunks with others put in, each at its position in the list as it is by then.
std::vector<uint8_t> With(std::vector<PngChunk> chunks, const std::vector<std::pair<size_t, PngChunk>>& inserts) {
    for (const auto& [at, chunk] : inserts) chunks.insert(chunks.begin() + static_cast<std::ptrdiff_t>(at), chunk);
    return test::JoinPng(chunks);
}

std::vector<uint8_t> WithCrcOf(std::vector<PngChunk> chunks, size_t at, uint32_t crc) {
    chunks[at].crc = crc;
    return test::JoinPng(chunks);
}

std::vector<uint8_t> WithoutCrcs(std::vector<PngChunk> chunks) {
    for (PngChunk& c : chunks) c.crc.reset();
    return test::JoinPng(chunks);
}

// `size` zero bytes in one fixed-code block whose one short match, after 24600 bytes, uses
// distance code 30: a code zlib refuses and libdeflate reads as distance 24577.
std::vector<uint8_t> ZerosWithDistanceCode30(size_t size) {
    DeflateBits bits;
    bits.put(1, 1);
    bits.put(1, 2);
    test::PutFixedLitLen(bits, 0);
    size_t out = 1;
    auto zeros = [&](size_t until) {
        for (; out + 258 <= until; out += 258) {
            test::PutFixedLitLen(bits, 285); // length 258
            test::PutFixedDistance(bits, 0);  // distance 1
        }
        for (; out < until; ++out) test::PutFixedLitLen(bits, 0);
    };
    zeros(24600);
    test::PutFixedLitLen(bits, 257); // length 3
    test::PutFixedDistance(bits, 30);
    bits.put(0, 13);
    out += 3;
    zeros(size);
    test::PutFixedLitLen(bits, 256);
    return bits.bytes();
}

// An all-zero 64 x 100 RGBA picture in that stream.
std::vector<uint8_t> DistanceCode30Png() {
    const size_t scanlineBytes = 100 * (1 + 64 * 4);
    std::vector<PngChunk> chunks = TinyRgb();
    chunks[0].data = {0, 0, 0, 64, 0, 0, 0, 100, 8, PNG_COLOR_TYPE_RGBA, 0, 0, 0};
    chunks[1].data = test::ZlibWrap(ZerosWithDistanceCode30(scanlineBytes), std::vector<uint8_t>(scanlineBytes, 0));
    return WithoutCrcs(chunks);
}

std::vector<uint8_t> ZlibCompressed(const std::vector<uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    compress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
}

TEST(DecodeCommonPng, CallsAFileBrokenOnlyWhenLibspngRefusesIt) {
    const std::vector<PngChunk> tiny = TinyRgb(); // IHDR, IDAT, IEND
    std::vector<PngChunk> noPalette = test::SplitPng(test::BuildPng(Noise(PNG_COLOR_TYPE_PALETTE, 2, 1, 1)));
    noPalette.erase(noPalette.begin() + 1);
    auto withImageData = [&](const std::vector<uint8_t>& scanlines) {
        return test::JoinPng({tiny[0], {"IDAT", ZlibCompressed(scanlines), {}}, tiny[2]});
    };
    const std::vector<uint8_t> whole = test::JoinPng(tiny);
    struct Case {
        const char* name;
        std::vector<uint8_t> png;
        Verdict verdict;
        PngSource::Status libspng;
    };
    const Case cases[] = {
        {"common", test::JoinPng(tiny), Verdict::Decoded, PngSource::Status::Decoded},
        {"text and a damaged unknown ancillary chunk", With(tiny, {{1, {"tEXt", {'k', 0, 'v'}, {}}}, {2, {"abCd", {1}, 7u}}}),
         Verdict::Decoded, PngSource::Status::Decoded},
        {"IHDR checksum", WithCrcOf(tiny, 0, 1), Verdict::Broken, PngSource::Status::Broken},
        {"IDAT checksum", WithCrcOf(tiny, 1, 1), Verdict::Broken, PngSource::Status::Broken},
        {"IEND checksum", WithCrcOf(tiny, 2, 1), Verdict::Broken, PngSource::Status::Broken},
        {"no IEND", test::JoinPng({tiny[0], tiny[1]}), Verdict::Broken, PngSource::Status::Broken},
        {"IEND with data", test::JoinPng({tiny[0], tiny[1], {"IEND", {0}, {}}}), Verdict::Broken,
         PngSource::Status::Broken},
        {"IDAT after another chunk", With(tiny, {{2, {"tEXt", {'k', 0}, {}}}, {3, tiny[1]}}), Verdict::Broken,
         PngSource::Status::Broken},
        {"unknown critical chunk", With(tiny, {{1, {"ABCD", {}, {}}}}), Verdict::Broken, PngSource::Status::Broken},
        {"palette picture without PLTE", test::JoinPng(noPalette), Verdict::Broken, PngSource::Status::Broken},
        {"filter type 5", withImageData({5, 10, 20, 30}), Verdict::Broken, PngSource::Status::Broken},
        {"cut inside a chunk", std::vector<uint8_t>(whole.begin(), whole.end() - 5), Verdict::Broken,
         PngSource::Status::Broken},
        {"cut inside IEND's checksum", std::vector<uint8_t>(whole.begin(), whole.end() - 2), Verdict::Decoded,
         PngSource::Status::Decoded},
        {"tRNS", With(tiny, {{1, {"tRNS", {0, 10, 0, 20, 0, 30}, {}}}}), Verdict::NotMine, PngSource::Status::Decoded},
        {"bKGD before PLTE", With(tiny, {{1, {"bKGD", {0, 1, 0, 2, 0, 3}, {}}}, {2, {"PLTE", {1, 2, 3}, {}}}}),
         Verdict::NotMine, PngSource::Status::Broken},
        {"two PLTE", With(tiny, {{1, {"PLTE", {1, 2, 3}, {}}}, {1, {"PLTE", {1, 2, 3}, {}}}}), Verdict::NotMine,
         PngSource::Status::Decoded},
        {"more image data than rows", withImageData({0, 10, 20, 30, 0, 1, 2, 3}), Verdict::NotMine,
         PngSource::Status::Decoded},
        {"image data that is no zlib stream", test::JoinPng({tiny[0], {"IDAT", {1, 2, 3}, {}}, tiny[2]}),
         Verdict::NotMine, PngSource::Status::Broken},
        {"a distance code only libdeflate reads", DistanceCode30Png(), Verdict::Decoded, PngSource::Status::Broken},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FastVerdict(c.png), c.verdict) << c.name;
        EXPECT_EQ(LibspngStatus(c.png), c.libspng) << c.name;
    }
}

struct Stream {
    const char* name;
    std::vector<uint8_t> deflate;
    bool zlibInflates;
    bool libdeflateInflates;
};

bool ZlibInflates(const std::vector<uint8_t>& deflate) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    std::vector<uint8_t> out(1 << 20);
    z.next_in = const_cast<Bytef*>(deflate.data());
    z.avail_in = static_cast<uInt>(deflate.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return result == Z_STREAM_END;
}

bool LibdeflateInflates(const std::vector<uint8_t>& deflate) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::vector<uint8_t> out(1 << 20);
    size_t size = 0;
    const bool ok = libdeflate_deflate_decompress(d, deflate.data(), deflate.size(), out.data(), out.size(), &size) ==
                    LIBDEFLATE_SUCCESS;
    libdeflate_free_decompressor(d);
    return ok;
}

std::vector<uint8_t> Compressed(int level, int strategy) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 5000; ++i) data.push_back(static_cast<uint8_t>(i * i % 251 < 120 ? i % 7 : i % 251));
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    std::vector<uint8_t> out(deflateBound(&z, data.size()));
    z.next_in = data.data();
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A fixed-code block: 'A', then a length-3 match at distance code `distance` (no extra bits used).
std::vector<uint8_t> FixedMatch(unsigned lengthSymbol, unsigned distance) {
    DeflateBits bits;
    bits.put(1, 1);
    bits.put(1, 2);
    for (int i = 0; i < 4; ++i) test::PutFixedLitLen(bits, 'A');
    test::PutFixedLitLen(bits, lengthSymbol);
    test::PutFixedDistance(bits, distance);
    test::PutFixedLitLen(bits, 256);
    return bits.bytes();
}

// A dynamic block coding 'A' and the end in one bit each, and a match of length 3 when `match`
// is set; with `distanceCodeword` standing for the match's distance.
std::vector<uint8_t> Dynamic(unsigned litLenCount, std::vector<uint8_t> distance, unsigned overrun, bool match,
                             uint32_t distanceCodeword = 0) {
    std::vector<uint8_t> litLen(litLenCount, 0);
    litLen['A'] = 1;
    litLen[256] = 2;
    litLen[257] = 2;
    DeflateBits bits;
    test::PutDynamicHeader(bits, litLen, distance, overrun);
    const std::vector<uint32_t> codes = test::CanonicalCodewords(litLen);
    bits.putCode(codes['A'], 1);
    if (match) {
        bits.putCode(codes[257], 2);
        bits.putCode(distanceCodeword, 1);
    }
    bits.putCode(codes[256], 2);
    return bits.bytes();
}

TEST(MeetsZlibDeflateRules, AcceptsWhatZlibInflatesAndNothingElse) {
    const std::vector<uint8_t> badStored = {0x01, 0x05, 0x00, 0xFA, 0xFE, 'a', 'b', 'c', 'd', 'e'};
    std::vector<uint8_t> cut = Compressed(9, Z_DEFAULT_STRATEGY);
    cut.resize(cut.size() - 3);
    const Stream streams[] = {
        {"stored", Compressed(0, Z_DEFAULT_STRATEGY), true, true},
        {"fixed", Compressed(6, Z_FIXED), true, true},
        {"dynamic", Compressed(9, Z_DEFAULT_STRATEGY), true, true},
        {"runs", Compressed(6, Z_RLE), true, true},
        {"stored lengths that disagree", badStored, false, false},
        {"cut short", cut, false, false},
        {"fixed length code 285", FixedMatch(285, 0), true, true},
        {"fixed length code 286", FixedMatch(286, 0), false, true},
        {"fixed distance code 29", FixedMatch(257, 0), true, true},
        {"fixed distance code 30", ZerosWithDistanceCode30(30000), false, true},
        {"286 length codes", Dynamic(286, {1, 1}, 0, true), true, true},
        {"287 length codes", Dynamic(287, {1, 1}, 0, true), false, true},
        {"30 distance codes", Dynamic(257 + 1, std::vector<uint8_t>(30, 0), 0, false), true, true},
        {"31 distance codes", Dynamic(257 + 1, std::vector<uint8_t>(31, 0), 0, false), false, true},
        {"a repeat past the last length", Dynamic(258, {1, 1, 0}, 2, true), false, true},
        {"one distance codeword, used", Dynamic(258, {1}, 0, true, 0), true, true},
        {"one distance codeword, the other used", Dynamic(258, {1}, 0, true, 1), false, true},
        {"no distance codes, none used", Dynamic(258, {0}, 0, false), true, true},
        {"no distance codes, one used", Dynamic(258, {0}, 0, true), false, true},
    };
    for (const Stream& s : streams) {
        EXPECT_EQ(ZlibInflates(s.deflate), s.zlibInflates) << s.name;
        EXPECT_EQ(LibdeflateInflates(s.deflate), s.libdeflateInflates) << s.name;
        EXPECT_EQ(MeetsZlibDeflateRules(s.deflate.data(), s.deflate.size()), s.zlibInflates) << s.name;
    }
}

} // namespace
} // namespace pavoline

// The encoder on a 1024 x 1024 PNG with about 60,000 distinct colour keys, beside libpng and
// libspng each decoding the same file alone and ImageMagick converting it to BMP (the step the
// encoder used to run for every PNG). kelpa and convert run as processes, as a user runs them.
#include "deflate_rules.h"
#include "encoder_tool.h"
#include "encoders.h"
#include "file_io.h"
#include "picture_files.h"
#include "png_source.h"
#include "process.h"
#include "temp_dir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <libdeflate.h>
#include <memory>
#include <png.h>
#include <random>
#include <spng.h>
#include <sstream>

namespace pavoline {
namespace {

constexpr int kSide = 1024;
constexpr uint32_t kOpaqueKeys = 55000, kTranslucentKeys = 5000;

// Keys laid out in 2 x 2 blocks, cycling through every key; the low bits vary, as in a photo.
Canvas ManyColourPicture() {
    std::mt19937 random(1);
    Canvas c(kSide, kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const uint32_t i = (static_cast<uint32_t>(y / 2) * (kSide / 2) + x / 2) % (kOpaqueKeys + kTranslucentKeys);
            const uint32_t key = i < kOpaqueKeys ? i : i - kOpaqueKeys;
            const uint32_t alpha = i < kOpaqueKeys ? 255 : 64 + key % 128;
            const uint32_t r = (key & 31) << 3, g = ((key >> 5) & 63) << 2, b = (key >> 11) << 3;
            c.row(y)[x] = alpha << 24 | (r | (random() & 7)) << 16 | (g | (random() & 3)) << 8 | (b | (random() & 7));
        }
    }
    return c;
}

struct Fixture {
    test::TempDir dir;
    std::string png;
    Fixture() : png(dir.file("picture.png")) { test::WriteBytes(png, test::BuildPngRgba(ManyColourPicture())); }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// Made before any benchmark starts its clock.
const Fixture& gFixture = Shared();

void RunOrFail(benchmark::State& state, const std::string& program, const std::vector<std::string>& args) {
    const test::ProcessResult result = test::RunProgram(program, args, Shared().dir.path());
    if (result.exitCode != 0) state.SkipWithError((program + " failed: " + result.err).c_str());
}

void BM_KelpaPngToAb2(benchmark::State& state) {
    for (auto _ : state) RunOrFail(state, test::SuiteProgram("kelpa"), {"picture.png", "out.ab2"});
}

void BM_KelpaPngToAbm(benchmark::State& state) {
    for (auto _ : state) RunOrFail(state, test::SuiteProgram("kelpa"), {"-abm", "picture.png", "out.abm"});
}

// libpng's own reader into 8-bit B,G,R,A, the layout the encoder works on.
void BM_LibpngDecodeAlone(benchmark::State& state) {
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, Shared().png.c_str())) {
            state.SkipWithError("libpng failed");
            break;
        }
        image.format = PNG_FORMAT_BGRA;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}

// libspng's reader into 8-bit R,G,B,A, its nearest layout.
void BM_LibspngDecodeAlone(benchmark::State& state) {
    for (auto _ : state) {
        const FilePtr file = OpenFile(Shared().png, "rb");
        const std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(0), spng_ctx_free);
        size_t size = 0;
        if (!file || !ctx || spng_set_png_file(ctx.get(), file.get()) != 0 ||
            spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) {
            state.SkipWithError("libspng failed");
            break;
        }
        std::vector<uint8_t> pixels(size);
        if (spng_decode_image(ctx.get(), pixels.data(), size, SPNG_FMT_RGBA8, 0) != 0)
            state.SkipWithError("libspng failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_ImageMagickConvertToBmp(benchmark::State& state) {
    for (auto _ : state) RunOrFail(state, "/usr/bin/convert", {"picture.png", "out.bmp"});
}

// The encoder's own steps in process, for the breakdown.
void BM_KelpaInProcess(benchmark::State& state) {
    std::ostringstream out, err;
    for (auto _ : state)
        if (RunKelpa({"-abm", Shared().png, Shared().dir.file("in-process.abm")}, out, err) != 0)
            state.SkipWithError("kelpa failed");
}

void BM_ReadPngSource(benchmark::State& state) {
    for (auto _ : state) {
        const PngSource png = ReadPngSource(Shared().png);
        if (png.status != PngSource::Status::Decoded) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(png.picture.pixels.data());
    }
}

// The picture's zlib stream, the IDAT chunks' data joined.
std::vector<uint8_t> ImageDataStream() {
    std::vector<uint8_t> stream;
    for (const test::PngChunk& c : test::SplitPng(test::ReadBytes(Shared().png)))
        if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
    return stream;
}

// The two passes over the stream inside ReadPngSource.
void BM_InflateWithLibdeflate(benchmark::State& state) {
    const std::vector<uint8_t> stream = ImageDataStream();
    std::vector<uint8_t> scanlines(size_t{kSide} * (1 + 4 * kSide));
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    for (auto _ : state)
        if (libdeflate_zlib_decompress(d, stream.data(), stream.size(), scanlines.data(), scanlines.size(), nullptr) !=
            LIBDEFLATE_SUCCESS)
            state.SkipWithError("libdeflate failed");
    libdeflate_free_decompressor(d);
}

void BM_WalkAgainstZlibRules(benchmark::State& state) {
    const std::vector<uint8_t> stream = ImageDataStream();
    for (auto _ : state)
        if (!MeetsZlibDeflateRules(stream.data() + 2, stream.size() - 2)) state.SkipWithError("walk failed");
}

void BM_AnalysePicture(benchmark::State& state) {
    const Canvas picture = ReadPngSource(Shared().png).picture;
    for (auto _ : state) benchmark::DoNotOptimize(AnalysePicture(picture));
    state.counters["keys"] = static_cast<double>(AnalysePicture(picture)->table.size());
}

void BM_EncodeAb2(benchmark::State& state) {
    const Canvas picture = ReadPngSource(Shared().png).picture;
    const PictureAnalysis analysis = *AnalysePicture(picture);
    for (auto _ : state) benchmark::DoNotOptimize(EncodeAb2(analysis, kSide, kSide));
}

void BM_EncodeAbm(benchmark::State& state) {
    const Canvas picture = ReadPngSource(Shared().png).picture;
    const PictureAnalysis analysis = *AnalysePicture(picture);
    for (auto _ : state) benchmark::DoNotOptimize(EncodeAbm(analysis, kSide, kSide));
}

BENCHMARK(BM_KelpaPngToAb2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KelpaPngToAbm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibpngDecodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibspngDecodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImageMagickConvertToBmp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KelpaInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPngSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateWithLibdeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkAgainstZlibRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalysePicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeAb2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeAbm)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pavoline

// Decode throughput of the two codecs on a 1024 x 1024 picture, beside memcpy of the same canvas.
// Every benchmark counts the canvas bytes, so the bytes_per_second columns compare directly.
#include "ab2.h"
#include "abm.h"
#include "bit_writer.h"
#include "bytes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace pavoline {
namespace {

constexpr int kSide = 1024;
constexpr uint32_t kOpaque = 200, kTranslucent = 56;
constexpr int64_t kCanvasBytes = int64_t{kSide} * kSide * 4;

// Indices in runs of 1 to 12 pixels, like a drawn picture with gradients and flat areas.
std::vector<uint32_t> PictureIndices() {
    std::mt19937 random(7);
    std::vector<uint32_t> indices;
    indices.reserve(kSide * kSide);
    while (indices.size() < size_t{kSide} * kSide) {
        const uint32_t index = random() % (kOpaque + kTranslucent + 1);
        indices.insert(indices.end(), 1 + random() % 12, index);
    }
    indices.resize(size_t{kSide} * kSide);
    return indices;
}

std::vector<uint8_t> AbmPicture() {
    std::vector<uint8_t> out;
    PutLe16(out, kSide);
    PutLe16(out, kSide);
    PutLe16(out, kOpaque + 1);
    PutLe16(out, kTranslucent);
    PutLe32(out, 0);
    for (uint32_t i = 0; i < kOpaque + kTranslucent; ++i) PutLe16(out, i * 251);
    for (uint32_t i = 0; i < kTranslucent; ++i) out.push_back(static_cast<uint8_t>(i * 4));
    if (out.size() % 2) out.push_back(0xFF);
    WordBitWriter bits(out);
    const unsigned k = AbmIndexWidth(kOpaque + 1 + kTranslucent);
    for (uint32_t index : PictureIndices()) bits.write(index, k);
    bits.flush();
    return out;
}

std::vector<uint8_t> Ab2Picture() {
    std::vector<uint8_t> out;
    PutLe32(out, kSide | kSide << 12);
    out.insert(out.end(), {0, 0, 0, 0x13});
    PutLe16(out, kOpaque);
    PutLe16(out, kTranslucent);
    for (uint32_t i = 0; i < kOpaque; ++i) PutLe16(out, i * 251);
    WordBitWriter palette(out);
    for (uint32_t i = 0; i < kTranslucent; ++i) {
        palette.write(i * 97, 16);
        palette.write(i * 4, 8);
    }
    palette.flush();
    WordBitWriter bits(out);
    const unsigned k = SignificantBits(kOpaque + kTranslucent);
    const std::vector<uint32_t> indices = PictureIndices();
    // Runs of 3 or more become repeat packets; shorter ones gather into literals.
    size_t i = 0;
    std::vector<uint32_t> literal;
    auto flushLiteral = [&] {
        for (size_t at = 0; at < literal.size(); at += 128) {
            const size_t n = std::min<size_t>(128, literal.size() - at);
            bits.write(static_cast<uint32_t>(0x80 | (n - 1)), 8);
            for (size_t j = 0; j < n; ++j) bits.write(literal[at + j], k);
        }
        literal.clear();
    };
    while (i < indices.size()) {
        size_t run = 1;
        while (i + run < indices.size() && indices[i + run] == indices[i] && run < 128) ++run;
        if (run >= 3) {
            flushLiteral();
            bits.write(static_cast<uint32_t>(run - 1), 8);
            bits.write(indices[i], k);
        } else {
            literal.insert(literal.end(), run, indices[i]);
        }
        i += run;
    }
    flushLiteral();
    bits.flush();
    return out;
}

void BM_Memcpy(benchmark::State& state) {
    Canvas source(kSide, kSide), target(kSide, kSide);
    for (auto _ : state) {
        std::memcpy(target.pixels.data(), source.pixels.data(), static_cast<size_t>(kCanvasBytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kCanvasBytes);
}

// The floor for any decoder that draws with ordinary stores: filling the canvas.
void BM_Fill(benchmark::State& state) {
    Canvas target(kSide, kSide);
    uint32_t value = 0;
    for (auto _ : state) {
        std::fill(target.pixels.begin(), target.pixels.end(), ++value);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kCanvasBytes);
}

void BM_DecodeAbm(benchmark::State& state) {
    const std::vector<uint8_t> file = AbmPicture();
    Canvas canvas(kSide, kSide);
    for (auto _ : state) {
        DecodeAbm(0, 0, file.data(), file.size(), canvas, canvas);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kCanvasBytes);
}

void BM_DecodeAb2(benchmark::State& state) {
    const std::vector<uint8_t> file = Ab2Picture();
    Canvas canvas(kSide, kSide);
    for (auto _ : state) {
        DecodeAb2(canvas, 0, 0, file.data(), file.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kCanvasBytes);
}

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Fill);
BENCHMARK(BM_DecodeAbm);
BENCHMARK(BM_DecodeAb2);

} // namespace
} // namespace pavoline

// QImageReader with the image plug-in on a 1024 x 1024 AB2 (and ABM) picture, beside the decoder
// program decoding the same file as a process (morin for AB2, TULSE for ABM) to a BMP. The goal:
// the plug-in no slower than the program.
#include "encoders.h"
#include "file_io.h"
#include "process.h"
#include "temp_dir.h"

#include <QCoreApplication>
#include <QImageReader>

#include <benchmark/benchmark.h>

namespace pavoline {
namespace {

// Translucent and opaque areas of a few thousand colours, with runs of every length.
Canvas BenchPicture() {
    Canvas picture(1024, 1024);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) {
            const uint32_t alpha = (x / 128 + y / 128) % 3 == 0 ? 0x80 : 0xFF;
            picture.row(y)[x] = alpha << 24 | ((x * 7 / 64) % 32) << 19 | ((y / 16) % 64) << 10 | (((x ^ y) / 32) % 32) << 3;
        }
    return picture;
}

struct BenchFiles {
    test::TempDir dir;
    std::string ab2 = dir.file("bench.ab2"), abm = dir.file("bench.abm");
    BenchFiles() {
        const Canvas picture = BenchPicture();
        const PictureAnalysis analysis = *AnalysePicture(picture);
        WriteWholeFile(ab2, *EncodeAb2(analysis, picture.width, picture.height));
        WriteWholeFile(abm, *EncodeAbm(analysis, picture.width, picture.height));
    }
};

const BenchFiles& Files() {
    static const BenchFiles files;
    return files;
}

void ReadThroughQImageReader(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        QImageReader reader(QString::fromStdString(path));
        const QImage image = reader.read();
        if (image.isNull()) state.SkipWithError("the plug-in did not read the picture");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void DecodeAsProcess(benchmark::State& state, const std::string& program, const std::string& path) {
    const std::string bmp = Files().dir.file("out.bmp");
    for (auto _ : state)
        if (test::RunProgram(test::SuiteProgram(program), {path, bmp}).exitCode != 0) state.SkipWithError("the program failed");
}

void Ab2ThroughQImageReader(benchmark::State& state) { ReadThroughQImageReader(state, Files().ab2); }
void Ab2ThroughMorinProcess(benchmark::State& state) { DecodeAsProcess(state, "morin", Files().ab2); }
void AbmThroughQImageReader(benchmark::State& state) { ReadThroughQImageReader(state, Files().abm); }
void AbmThroughTulseProcess(benchmark::State& state) { DecodeAsProcess(state, "TULSE", Files().abm); }
BENCHMARK(Ab2ThroughQImageReader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Ab2ThroughMorinProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AbmThroughQImageReader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AbmThroughTulseProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace pavoline

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::addLibraryPath(QString(PAVOLINE_SUITE_DIR) + "/plugins");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

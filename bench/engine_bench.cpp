// The engine's heavy steps: MD5 of a 256 MB file (our MD5_CTX beside md5sum on the same file, in
// the same run) and loading a 20 MB model catalogue.
#include "md5.h"
#include "model_xml_file.h"
#include "notifier.h"
#include "process.h"
#include "temp_dir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>

namespace pavoline {
namespace {

constexpr size_t kBigFile = size_t{256} << 20;
constexpr size_t kCatalogueBytes = 20000000; // just under the 20,480,000 bytes read

struct Files {
    test::TempDir dir;
    std::string big = dir.file("big.bin");
    std::string catalogue = dir.file("catalogue.xml");
    size_t catalogueModels = 0;

    Files() {
        std::ofstream out(big, std::ios::binary);
        std::mt19937_64 random(3);
        std::vector<uint64_t> block(1 << 17);
        for (size_t written = 0; written < kBigFile; written += block.size() * 8) {
            for (auto& word : block) word = random();
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
        }
        std::ofstream xml(catalogue);
        xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Models>\n";
        size_t bytes = 0;
        for (; bytes < kCatalogueBytes; ++catalogueModels) {
            char line[512];
            const int n = std::snprintf(line, sizeof line,
                                        "  <Phone model=\"M%zu\" family=\"F%zu\" version=\"1.%zu\" style=\"bar\" "
                                        "lcdsize=\"240x320\" softwareurl=\"http://update.example/pkg/M%zu.zip\" "
                                        "checksum=\"0123456789ABCDEF0123456789ABCDEF\" imageurl=\"http://update.example/"
                                        "img/M%zu.png\" isbeta=\"%d\"/>\n",
                                        catalogueModels, catalogueModels % 40, catalogueModels % 9, catalogueModels,
                                        catalogueModels, catalogueModels % 10 == 0);
            xml << line;
            bytes += static_cast<size_t>(n);
        }
        xml << "</Models>\n";
    }
};

Files& Shared() {
    static Files files;
    return files;
}
const Files& gFiles = Shared(); // made before any clock starts

void BM_Md5CtxOn256MBFile(benchmark::State& state) {
    std::vector<uint8_t> chunk(1 << 20);
    for (auto _ : state) {
        FILE* file = std::fopen(Shared().big.c_str(), "rb");
        MD5_CTX md5;
        for (size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) md5.update(chunk.data(), n);
        std::fclose(file);
        uint8_t digest[16];
        md5.final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigFile));
}

void BM_Md5sumOn256MBFile(benchmark::State& state) {
    for (auto _ : state) {
        if (test::RunProgram("/usr/bin/md5sum", {Shared().big}).exitCode != 0) state.SkipWithError("md5sum failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigFile));
}

void BM_Load20MBCatalogue(benchmark::State& state) {
    SetMessageSink([](const UserMessage&) {});
    size_t models = 0;
    for (auto _ : state) {
        CModelXmlFile file;
        if (file.Load(Shared().catalogue) != 0) state.SkipWithError("load failed");
        models = file.ReadOfferedModels("/nonexistent/").size();
    }
    state.counters["offered"] = static_cast<double>(models);
    state.counters["in_file"] = static_cast<double>(Shared().catalogueModels);
}

BENCHMARK(BM_Md5CtxOn256MBFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Md5sumOn256MBFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Load20MBCatalogue)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace pavoline

// Applying the signed sample update to a copy of the build's suite (its check against the signed
// info file, size and SHA-256; then extraction into the work folder, the checks of the tree, the
// swap and the clean-up), beside a plain `7zz x` of the same package into an empty directory, in
// the same run; and the signed check of a 50 MB package beside `sha256sum` of it. The MD5 check
// that the updater also runs is timed on its own: it pauses by design (100 ms before its first
// megabyte), to leave the disk to others.
#include "md5.h"
#include "platform.h"
#include "signature.h"
#include "staged_install.h"
#include "temp_dir.h"
#include "tree_snapshot.h"
#include "update_query.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <random>
#include <unistd.h>

namespace pavoline {
namespace {

const std::string kPackage = PAVOLINE_SAMPLE_SITE "/update/Pavoline-" PAVOLINE_NEXT_VERSION_TEXT ".zip";
const std::string kInfo = PAVOLINE_SAMPLE_SITE "/update/update_info.ini";

void ApplySignedSampleUpdate(benchmark::State& state) {
    UseCompiledPublisherKeys("updater_bench");
    const updater::UpdateInfo info = updater::ReadUpdateInfoFile(kInfo);
    const std::string archiver = updater::FindArchiver(PAVOLINE_SUITE_DIR "/Novarel/").value_or("");
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<test::TempDir>();
        const std::string suite = dir->path() + "/suite/";
        test::CopyTree(PAVOLINE_SUITE_DIR, suite);
        sync(); // the copy's writing is not the update's
        state.ResumeTiming();
        if (!info.package || !FileMatchesSigned(kPackage, *info.package))
            state.SkipWithError("the sample update does not pass its check");
        const updater::InstallOutcome outcome =
            updater::ApplyUpdate({kPackage, suite, suite + "Novarel/Novarel", archiver, "1.0.0.1", "Pavoline"});
        state.PauseTiming();
        if (!outcome.ok()) state.SkipWithError(updater::FailureMessage(outcome).c_str());
        dir.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ApplySignedSampleUpdate)->Unit(benchmark::kMillisecond)->Iterations(10);

void PacedMd5CheckOfTheSampleUpdate(benchmark::State& state) {
    const updater::UpdateInfo info = updater::ReadUpdateInfoFile(kInfo);
    for (auto _ : state)
        if (!ChecksumMatches(info.md5, FileMd5Text(kPackage))) state.SkipWithError("the MD5 does not match");
}
BENCHMARK(PacedMd5CheckOfTheSampleUpdate)->Unit(benchmark::kMillisecond)->Iterations(5);

void Plain7zzExtraction(benchmark::State& state) {
    const std::string sevenZip = FindProgramOnPath("7zz").value_or("7zz");
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<test::TempDir>();
        sync(); // as for the update: no writing left from before
        state.ResumeTiming();
        if (RunProgramAndWait(sevenZip, {"x", kPackage, "-y", "-o" + dir->path()}) != 0) state.SkipWithError("7zz failed");
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(Plain7zzExtraction)->Unit(benchmark::kMillisecond)->Iterations(10);

// 50 MB that do not compress, read from the page cache by both sides.
const std::string& FiftyMegabytes() {
    static test::TempDir dir;
    static const std::string path = [] {
        const std::string file = dir.file("package.zip");
        std::vector<char> bytes(50 * 1000 * 1000);
        std::mt19937 random(17);
        for (char& b : bytes) b = static_cast<char>(random());
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }();
    return path;
}

void VerifyFiftyMegabytePackage(benchmark::State& state) {
    const std::string& path = FiftyMegabytes();
    const SignedFile expected{FileSize(path).value_or(0), FileSha256Text(path).value_or("")};
    for (auto _ : state)
        if (!FileMatchesSigned(path, expected)) state.SkipWithError("the package does not match");
}
BENCHMARK(VerifyFiftyMegabytePackage)->Unit(benchmark::kMillisecond)->Iterations(10);

void Sha256sumOfFiftyMegabytes(benchmark::State& state) {
    const std::string& path = FiftyMegabytes();
    const std::string sha256sum = FindProgramOnPath("sha256sum").value_or("sha256sum");
    for (auto _ : state)
        if (RunProgramAndWait(sha256sum, {path}) != 0) state.SkipWithError("sha256sum failed");
}
BENCHMARK(Sha256sumOfFiftyMegabytes)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
} // namespace pavoline

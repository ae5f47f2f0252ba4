// Applying the sample update to a copy of the build's suite (extraction into the work folder,
// the checks, the swap and the clean-up), beside a plain `7zz x` of the same package into an
// empty directory, in the same run.
#include "platform.h"
#include "staged_install.h"
#include "temp_dir.h"
#include "tree_snapshot.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <unistd.h>

namespace pavoline {
namespace {

const std::string kPackage = PAVOLINE_SAMPLE_SITE "/update/Pavoline-" PAVOLINE_NEXT_VERSION_TEXT ".zip";

void ApplySampleUpdate(benchmark::State& state) {
    const std::string archiver = updater::FindArchiver(PAVOLINE_SUITE_DIR "/Novarel/").value_or("");
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<test::TempDir>();
        const std::string suite = dir->path() + "/suite/";
        test::CopyTree(PAVOLINE_SUITE_DIR, suite);
        sync(); // the copy's writing is not the update's
        state.ResumeTiming();
        const updater::InstallOutcome outcome = updater::ApplyUpdate({kPackage, suite, suite + "Novarel/Novarel", archiver, "1.0.0.1", "Pavoline"});
        state.PauseTiming();
        if (!outcome.ok()) state.SkipWithError(updater::FailureMessage(outcome).c_str());
        dir.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ApplySampleUpdate)->Unit(benchmark::kMillisecond)->Iterations(10);

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

} // namespace
} // namespace pavoline

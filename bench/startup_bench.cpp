// The launcher's start-up to its first painted phone page, beside a bare Qt Widgets program that
// opens one window, both as processes under the offscreen platform; each reports its peak resident
// memory. And the install of a 20 MB model package (extraction and swap into place) beside unzip
// of the same file into an empty directory.
#include "install_run.h"
#include "platform.h"
#include "temp_dir.h"
#include "zip_writer.h"

#include <benchmark/benchmark.h>

#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace pavoline {
namespace {

// Runs a program to its end; false when it fails. peakKb: its peak resident memory.
bool Run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, long& peakKb) {
    std::vector<std::string> env(environ, environ + [] { size_t n = 0; while (environ[n]) ++n; return n; }());
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    peakKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void StartUp(benchmark::State& state, const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    long peakKb = 0;
    for (auto _ : state)
        if (!Run(argv, env, peakKb)) state.SkipWithError("the program failed");
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
}

const std::vector<std::string> kOffscreen = {"QT_QPA_PLATFORM=offscreen"};

void LauncherToFirstPhonePage(benchmark::State& state) {
    test::TempDir runtime; // its own instance names, so that no launcher of the user's is asked
    std::vector<std::string> env = kOffscreen;
    env.push_back("PAVOLINE_QUIT_WHEN_SHOWN=1");
    env.push_back("PAVOLINE_INSTANCE_SUFFIX=-bench");
    env.push_back("XDG_RUNTIME_DIR=" + runtime.path());
    StartUp(state, {std::string(PAVOLINE_SUITE_DIR) + "/Pavoline"}, env);
}
BENCHMARK(LauncherToFirstPhonePage)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

void BareQtWindow(benchmark::State& state) {
    test::TempDir runtime;
    std::vector<std::string> env = kOffscreen;
    env.push_back("XDG_RUNTIME_DIR=" + runtime.path());
    StartUp(state, {BARE_WINDOW_PROGRAM}, env);
}
BENCHMARK(BareQtWindow)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

// A 20 MB package: forty pictures of half a megabyte, partly compressible, in a subfolder.
struct Package {
    test::TempDir dir;
    std::string zip = dir.file("model.zip");
    Package() {
        std::mt19937 random(7);
        std::unique_ptr<ZipWriter> writer = ZipWriter::Create(zip);
        writer->addBytes({"pictures/", kZipHostDos, 0x10}, "");
        for (int i = 0; i < 40; ++i) {
            std::string data(500000, '\0');
            for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<char>(k % 97 < 60 ? random() : k % 7);
            writer->addBytes({"pictures/p" + std::to_string(i) + ".png", kZipHostDos, 0x20}, data);
        }
        writer->close();
    }
};

class NoPage : public InstallObserver {
    void send(unsigned, intptr_t) override {}
    void post(unsigned, intptr_t) override {}
    void setProgressPosition(int) override {}
};

void InstallPackage(benchmark::State& state) {
    Package package;
    test::TempDir program;
    OfferedList none;
    NoPage page;
    CancelPromptFlags prompt;
    InstallRun run(none, page, prompt, program.path() + "/");
    for (auto _ : state)
        if (!run.extract(package.zip, "M20")) state.SkipWithError("extraction failed");
}
BENCHMARK(InstallPackage)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

void UnzipPackage(benchmark::State& state) {
    Package package;
    long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        test::TempDir into;
        state.ResumeTiming();
        if (!Run({"/usr/bin/unzip", "-q", package.zip, "-d", into.path()}, {}, peak)) state.SkipWithError("unzip failed");
    }
}
BENCHMARK(UnzipPackage)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

} // namespace
} // namespace pavoline

// Serving the sample site to 200 clients at once, each fetching the catalogue and one model
// package, from pavoline-site serve and from Debian's nginx with the configuration nginx-conf
// prints: requests per second, the server's peak memory, and the requests that failed.
#include "site_servers.h"
#include "temp_dir.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using pavoline::test::RunningSite;
using pavoline::test::SiteServerKind;

constexpr int kClients = 200;
constexpr int kRounds = 5;

long StatusField(int pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

// The peak resident memory of the server in kB: the process and, for nginx, its workers.
long PeakMemoryKb(int pid) {
    long total = StatusField(pid, "VmHWM");
    DIR* proc = opendir("/proc");
    for (dirent* entry; proc && (entry = readdir(proc));) {
        const int child = std::atoi(entry->d_name);
        if (child > 0 && StatusField(child, "PPid") == pid) total += StatusField(child, "VmHWM");
    }
    if (proc) closedir(proc);
    return total;
}

// The package addresses the catalogue lists, as path parts.
std::vector<std::string> PackagePaths(const std::string& catalogue) {
    std::vector<std::string> paths;
    const std::regex address("softwareurl=\"http://[^/\"]+(/[^\"]+)\"");
    for (std::sregex_iterator it(catalogue.begin(), catalogue.end(), address), end; it != end; ++it)
        paths.push_back((*it)[1]);
    return paths;
}

void Serving(benchmark::State& state, SiteServerKind kind) {
    pavoline::test::TempDir dir;
    const RunningSite site(kind, PAVOLINE_SITE_TOOL, pavoline::test::SampleSiteRecipe(PAVOLINE_BUILD_DIR),
                           dir.file("server"));
    const size_t colon = site.host().rfind(':');
    const std::string address = site.host().substr(0, colon);
    const int port = std::atoi(site.host().c_str() + colon + 1);
    httplib::Client probe(address, port);
    const auto catalogue = probe.Get("/port/themeModel/");
    const std::vector<std::string> packages = catalogue ? PackagePaths(catalogue->body) : std::vector<std::string>{};
    if (packages.empty()) return state.SkipWithError("no catalogue");
    std::atomic<int> failed{0};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < kRounds; ++round) {
            std::vector<std::thread> clients;
            for (int i = 0; i < kClients; ++i)
                clients.emplace_back([&, i] {
                    httplib::Client client(address, port);
                    client.set_keep_alive(true);
                    client.set_connection_timeout(60, 0);
                    client.set_read_timeout(60, 0);
                    const auto list = client.Get("/port/themeModel/");
                    const auto package = client.Get(packages[static_cast<size_t>(i) % packages.size()]);
                    if (!list || list->status != 200 || list->body.empty()) ++failed;
                    if (!package || package->status != 200 || package->body.size() < 1000) ++failed;
                });
            for (std::thread& t : clients) t.join();
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["requests_per_s"] = 2.0 * kClients * kRounds / seconds;
    state.counters["peak_MB"] = static_cast<double>(PeakMemoryKb(site.pid())) / 1024;
    state.counters["failed"] = failed.load();
}

BENCHMARK_CAPTURE(Serving, serve, SiteServerKind::kServe)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Serving, nginx, SiteServerKind::kNginx)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

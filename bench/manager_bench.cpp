// The all-models page listing 100 and 1,000 offered models with their thumbnails, and filtering
// them by family: the cost per row should stay flat as the list grows. And the first fetch of
// 1,000 thumbnails over a slow line, beside curl fetching the same files as fast as it can.
#include "all_models.h"
#include "catalogue.h"
#include "notifier.h"
#include "skin_loader.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#ifdef PAVOLINE_SITE_TOOL
#include "catalogue_fetch.h"
#include "platform.h"
#include "process.h"
#include "signature.h"
#include "site_servers.h"
#include "temp_dir.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>
#endif

namespace pavoline {
namespace {

class NoWindow : public MessageWindow {
public:
    NoWindow() : MessageWindow(nullptr) {}
    LRESULT windowProc(UINT, WPARAM, LPARAM) override { return 0; }
};

// What the event loop does before the user's next action: layout, polish, deferred deletes.
void TurnOfTheEventLoop() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A program directory with a catalogue of n models, each with its own thumbnail file.
struct Catalogue {
    QTemporaryDir dir;
    ModelCatalogue catalogue{dir.path().toStdString()};
    explicit Catalogue(int n) {
        QString xml = "<Models>";
        for (int i = 0; i < n; ++i) {
            const QString thumbnail = dir.filePath(QString("~TAVIX_M%1.png").arg(i));
            QImage picture(76, 120, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 37 % 360, 160, 200));
            picture.save(thumbnail);
            xml += QString("<Phone model=\"M%1\" family=\"F%2\" style=\"S%3\" version=\"1.0\" lcdsize=\"240x320\" "
                           "imageurl=\"%4\" isbeta=\"0\"/>")
                       .arg(i)
                       .arg(i % 10)
                       .arg(i % 4)
                       .arg(thumbnail);
        }
        QFile file(dir.filePath("catalogue.xml"));
        file.open(QIODevice::WriteOnly);
        file.write((xml + "</Models>").toUtf8());
        file.close();
        catalogue.LoadOfferedCatalogue(file.fileName().toStdString());
    }
};

void ListAllModels(benchmark::State& state) {
    Catalogue models(static_cast<int>(state.range(0)));
    NoWindow none;
    CAllModelDlg page(models.catalogue, &none, &none, &none, nullptr, models.dir.path() + "/");
    page.resize(993, 615);
    page.show();
    for (auto _ : state) {
        page.Refresh();
        TurnOfTheEventLoop();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ListAllModels)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(2);

void FilterByFamily(benchmark::State& state) {
    Catalogue models(static_cast<int>(state.range(0)));
    NoWindow none;
    CAllModelDlg page(models.catalogue, &none, &none, &none, nullptr, models.dir.path() + "/");
    page.resize(993, 615);
    page.show();
    auto* family = qobject_cast<QComboBox*>(page.element("Com_Family")->Widget());
    int pick = 1;
    for (auto _ : state) {
        family->setCurrentIndex(pick);
        emit family->activated(pick); // as the user chooses a family: a tenth of the models
        TurnOfTheEventLoop();
        pick = pick % 10 + 1;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(FilterByFamily)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(2);

#ifdef PAVOLINE_SITE_TOOL
constexpr int kFetchedThumbnails = 1000;
constexpr const char* kLineLatencyMs = "50";

std::string ProgramOnPath(const std::string& name) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin");
    for (std::string dir; std::getline(path, dir, ':');)
        if (access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

double SecondsOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A site of 1,000 models that share the sample N70's package and thumbnail, built by the tool.
std::string BuildThousandModelSite(const test::TempDir& work) {
    const std::string models = work.file("models");
    std::filesystem::create_directories(models);
    std::filesystem::copy(PAVOLINE_BUILD_DIR "/sample_site/models/N70", models + "/N70",
                          std::filesystem::copy_options::recursive);
    std::ofstream ini(models + "/models.ini");
    ini << "[N70]\nfamily = N系列\nstyle = 直板\nversion = 1.0\nlcdsize = 176x208\n";
    for (int i = 1; i < kFetchedThumbnails; ++i)
        ini << "[T" << i << "]\nfamily = F" << i % 10 << "\nstyle = 直板\nversion = 1.0\nlcdsize = 240x320\npackage = N70\n";
    ini.close();
    const test::ProcessResult built =
        test::RunProgram(PAVOLINE_SITE_TOOL, {"build", "--models", models, "--out", work.file("built")});
    return built.exitCode == 0 ? work.file("built") : "";
}

// The launcher's first fetch (catalogue, signature and every thumbnail, none cached yet), and curl
// fetching the same thumbnails with as many connections.
void FirstFetchOfThumbnails(benchmark::State& state) {
    const std::string curl = ProgramOnPath("curl");
    if (curl.empty()) return state.SkipWithError("curl is not installed (scripts/bootstrap installs it)");
    test::TempDir work;
    const std::string built = BuildThousandModelSite(work);
    if (built.empty()) return state.SkipWithError("pavoline-site build failed");
    const test::RunningSite site(PAVOLINE_SITE_TOOL, built, work.file("served"), {"--latency", kLineLatencyMs},
                                 PAVOLINE_SAMPLE_SITE_KEY);
    UseCompiledPublisherKeys("manager_bench");
    const std::string cache = work.file("cache/");
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        std::filesystem::remove_all(cache);
        std::filesystem::create_directories(cache);
        setenv("TMPDIR", cache.c_str(), 1);
        ModelCatalogue catalogue(work.file("program/"));
        FetchOutcome outcome{};
        ours = SecondsOf([&] {
            outcome = FetchCatalogue(catalogue, site.url("/port/themeModel/"), site.url("/port/themeModel.sig"));
        });
        state.SetIterationTime(ours);
        if (outcome != FetchOutcome::kFetched || !catalogue.offered() ||
            catalogue.offered()->size() != static_cast<size_t>(kFetchedThumbnails))
            return state.SkipWithError("the fetch failed");
        for (const COfferedModel& m : *catalogue.offered())
            if (!IsShowableThumbnail(m.imageurl)) return state.SkipWithError("a thumbnail was not cached");

        std::ofstream config(work.file("curl.conf"));
        for (const COfferedModel& m : *catalogue.offered())
            config << "url = \"" << site.url("/thumbnails/N70_S.png") << "\"\noutput = \"" << work.file("curl/" + m.model)
                   << "\"\n";
        config.close();
        std::filesystem::remove_all(work.file("curl"));
        std::filesystem::create_directories(work.file("curl"));
        test::ProcessResult fetched;
        theirs = SecondsOf([&] {
            fetched = test::RunProgram(curl, {"--parallel", "--parallel-max", "8", "--silent", "--fail", "--config",
                                              work.file("curl.conf")});
        });
        if (fetched.exitCode != 0) return state.SkipWithError(("curl failed: " + fetched.err).c_str());
    }
    unsetenv("TMPDIR");
    state.counters["ours_s"] = ours;
    state.counters["curl_s"] = theirs;
    state.counters["ours_per_curl"] = ours / theirs;
}
BENCHMARK(FirstFetchOfThumbnails)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

} // namespace
} // namespace pavoline

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pavoline::SetMessageSink([](const pavoline::UserMessage&) {});
    static pavoline::SkinLoader loader;
    const QDir suite(PAVOLINE_SUITE_DIR);
    if (!loader.load(suite.path())) return 1;
    pavoline::SetAppSkin(loader.open(suite.filePath("Pavoline.dui"), suite.filePath("Default.skn")));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

// The all-models page listing 100, 1,000 and 10,000 offered models with their thumbnails cached,
// filtering them by family and searching them by name, and the memory the long list takes: a
// list should cost what is on screen, not what the catalogue holds. And the first fetch of 1,000
// thumbnails over a slow line, beside curl fetching the same files as fast as it can.
#include "all_models.h"
#include "catalogue.h"
#include "notifier.h"
#include "skin_loader.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include <unistd.h>

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
#endif

namespace pavoline {
namespace {

class NoWindow : public MessageWindow {
public:
    NoWindow() : MessageWindow(nullptr) {}
    LRESULT windowProc(UINT, WPARAM, LPARAM) override { return 0; }
};

// What the event loop does before the user's next action: layout, polish, deferred deletes, and
// the window painted as it then looks (the offscreen platform paints only when asked).
void TurnOfTheEventLoop(QWidget& shown) {
    QCoreApplication::processEvents(); // also the window system's: the window is exposed once shown
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    shown.repaint();
}

// A thumbnail of one of a few colours, as PNG bytes.
QByteArray ThumbnailBytes(int i) {
    static std::vector<QByteArray> made;
    constexpr int kColours = 16;
    if (made.empty())
        for (int c = 0; c < kColours; ++c) {
            QImage picture(76, 120, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(c * 37 % 360, 160, 200));
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "PNG");
            made.push_back(bytes);
        }
    return made[static_cast<size_t>(i % kColours)];
}

// A program directory with a catalogue of n models, each with its own thumbnail file.
struct Catalogue {
    QTemporaryDir dir;
    ModelCatalogue catalogue{dir.path().toStdString()};
    explicit Catalogue(int n) {
        QString xml = "<Models>";
        for (int i = 0; i < n; ++i) {
            const QString thumbnail = dir.filePath(QString("~TAVIX_M%1.png").arg(i));
            QFile picture(thumbnail);
            picture.open(QIODevice::WriteOnly);
            picture.write(ThumbnailBytes(i));
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

// The all-models page on a catalogue of n models, shown at the window's usual size.
struct ShownPage {
    Catalogue models;
    NoWindow none;
    CAllModelDlg page;
    explicit ShownPage(int n)
        : models(n), page(models.catalogue, &none, &none, &none, nullptr, models.dir.path() + "/") {
        page.resize(993, 615);
        page.show();
    }
};

double ResidentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// First, while the process has not yet grown for the other figures: the resident memory with the
// page showing 100 models, then (that page gone) 10,000: the catalogue's records and the list.
void ResidentMemoryOfTheLongList(benchmark::State& state) {
    auto residentWith = [](int n) {
        ShownPage shown(n);
        TurnOfTheEventLoop(shown.page);
        QThreadPool::globalInstance()->waitForDone(); // the thumbnails in view, decoded and shown
        TurnOfTheEventLoop(shown.page);
        return ResidentMegabytes();
    };
    double with100 = 0, with10000 = 0;
    for (auto _ : state) {
        with100 = residentWith(100);
        with10000 = residentWith(10000);
    }
    state.counters["MB_with_100"] = with100;
    state.counters["MB_with_10000"] = with10000;
    state.counters["MB_more"] = with10000 - with100;
}
BENCHMARK(ResidentMemoryOfTheLongList)->Iterations(1)->Unit(benchmark::kMillisecond);

void ListAllModels(benchmark::State& state) {
    ShownPage shown(static_cast<int>(state.range(0)));
    CAllModelDlg& page = shown.page;
    for (auto _ : state) {
        page.Refresh();
        TurnOfTheEventLoop(page);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ListAllModels)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1);

void FilterByFamily(benchmark::State& state) {
    ShownPage shown(static_cast<int>(state.range(0)));
    CAllModelDlg& page = shown.page;
    auto* family = qobject_cast<QComboBox*>(page.element("Com_Family")->Widget());
    int pick = 1;
    for (auto _ : state) {
        family->setCurrentIndex(pick);
        emit family->activated(pick); // as the user chooses a family: a tenth of the models
        TurnOfTheEventLoop(page);
        pick = pick % 10 + 1;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(FilterByFamily)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1);

// A search typed into the box and Enter pressed, as the user does; each text finds about a ninth
// of the models.
void SearchByName(benchmark::State& state) {
    ShownPage shown(static_cast<int>(state.range(0)));
    CAllModelDlg& page = shown.page;
    CSearchEdit* box = page.searchEdit();
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(box, &focus); // the hint makes way for the user's text
    int digit = 1;
    for (auto _ : state) {
        box->setText(QString("M%1").arg(digit));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        TurnOfTheEventLoop(page);
        digit = digit % 9 + 1;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SearchByName)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1);


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

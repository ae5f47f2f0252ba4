// The all-models page listing 100 and 1,000 offered models with their thumbnails, and filtering
// them by family: the cost per row should stay flat as the list grows.
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

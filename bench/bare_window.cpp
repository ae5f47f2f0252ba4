// The yardstick for the launcher's start-up: a Qt Widgets program that opens one window and ends
// once it has been painted.
#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {
struct QuitOnFirstPaint : QWidget {
    void paintEvent(QPaintEvent*) override { QTimer::singleShot(0, qApp, &QCoreApplication::quit); }
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QuitOnFirstPaint window;
    window.resize(993, 743);
    window.show();
    return app.exec();
}

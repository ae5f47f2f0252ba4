#include "pavoline_app.h"

#include "app_startup.h"
#include "catalogue.h"
#include "creation_context.h"
#include "leftovers.h"
#include "main_frame.h"
#include "notifier.h"
#include "platform.h"
#include "skin_loader.h"

#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace pavoline {
namespace {

constexpr const char* kTitle = "TavixPavoline";

bool MessagesToStderr() { return qEnvironmentVariableIsSet("PAVOLINE_MESSAGES_TO_STDERR"); }

// Saves a picture of the window and ends, for the demo and the screenshots.
void ScheduleScreenshot(QWidget* window, const QString& path) {
    QTimer::singleShot(1500, window, [window, path] {
        window->grab().save(path);
        std::printf("screenshot: %s\n", qPrintable(path));
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}

} // namespace

void ShowStartupMessage(const QString& text, bool warning) {
    if (MessagesToStderr()) {
        std::fprintf(stderr, "%s: %s\n", kTitle, qPrintable(text));
        return;
    }
    if (warning)
        QMessageBox::warning(nullptr, kTitle, text);
    else
        QMessageBox::critical(nullptr, kTitle, text);
}

int CPavolineApp::Run() {
    const QStringList arguments = app_.arguments().mid(1);
    if (!MayStartWhileUpdating(UpdaterRunning(), arguments)) {
        ShowStartupMessage("工具正在更新……", true);
        return 0;
    }
    SingleInstance instance;
    if (!instance.claim()) return 0; // the running launcher comes forward instead

    const QString programDir = QString::fromStdString(ProgramDir());
    // Only the one launcher may clean: another could be in the middle of the work it would remove.
    RemoveInstallLeftovers(programDir.toStdString());
    SkinLoader skin;
    if (!skin.load(programDir)) {
        ShowStartupMessage("无法加载界面库 libDirectUI.so：" + skin.error(), false);
        return 1;
    }
    SetAppSkin(skin.open());
    SetMessageSink([](const UserMessage& m) { ShowStartupMessage(QString::fromStdString(m.text), false); });

    ModelCatalogue catalogue(programDir.toStdString());
    if (!catalogue.EnsureInstalledModelFile()) {
        ShowStartupMessage("文件创建失败!", false);
        std::_Exit(0);
    }
    catalogue.LoadInstalled();

    CMainFrame frame(catalogue, programDir);
    SetAppMainWindow(&frame);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &frame, [&frame] {
        if (frame.isMinimized()) frame.showNormal();
        frame.raise();
        frame.activateWindow();
        if (qEnvironmentVariableIsSet("PAVOLINE_REPORT_RAISE")) {
            std::printf("raised\n");
            std::fflush(stdout);
        }
    });
    frame.show();
    if (qEnvironmentVariableIsSet("PAVOLINE_SCREENSHOT"))
        ScheduleScreenshot(&frame, qEnvironmentVariable("PAVOLINE_SCREENSHOT"));
    const int code = app_.exec();
    SetAppMainWindow(nullptr);
    skin.free();
    return code;
}

} // namespace pavoline

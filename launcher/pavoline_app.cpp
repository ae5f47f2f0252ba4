#include "pavoline_app.h"

#include "app_startup.h"
#include "catalogue.h"
#include "creation_context.h"
#include "leftovers.h"
#include "main_frame.h"
#include "notifier.h"
#include "phone_select.h"
#include "platform.h"
#include "signature.h"
#include "skin_loader.h"

#include <QFileInfo>
#include <QIcon>
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

// Ends the program once the widget has been painted: start-up measured to the first picture.
void QuitAfterFirstPaint(QWidget* widget) {
    struct FirstPaint : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            return false;
        }
    };
    widget->installEventFilter(new FirstPaint);
}

} // namespace

void ShowMessageBox(const QString& caption, const QString& text, QMessageBox::Icon icon) {
    if (MessagesToStderr()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok);
    box.exec();
}

void ShowStartupMessage(const QString& text, bool warning) {
    ShowMessageBox(kTitle, text, warning ? QMessageBox::Warning : QMessageBox::Critical);
}

int CPavolineApp::Run() {
    const QStringList arguments = app_.arguments().mid(1);
    if (!MayStartWhileUpdating(UpdaterRunning(), arguments)) {
        ShowStartupMessage("工具正在更新……", true);
        return 0;
    }
    SingleInstance instance;
    if (!instance.claim()) return 0; // the running launcher comes forward instead
    UseCompiledPublisherKeys("Pavoline");

    const QString programDir = QString::fromStdString(ProgramDir());
    // Only the one launcher may clean: another could be in the middle of the work it would remove.
    RemoveInstallLeftovers(programDir.toStdString());
    SkinLoader skin;
    if (!skin.load(programDir)) {
        ShowStartupMessage("无法加载界面库 libDirectUI.so：" + skin.error(), false);
        return 1;
    }
    directui::ISkin* opened = skin.open();
    if (!opened) {
        const QString description = programDir + "Pavoline.dui";
        ShowStartupMessage(QString("无法打开界面文件 %1：%2")
                               .arg(description, QFileInfo::exists(description) ? "文件内容有误" : "文件不存在"),
                           false);
        return 1;
    }
    SetAppSkin(opened);
    SetMessageSink([](const UserMessage& m) {
        // A worker (the catalogue fetch) has its message shown by the user interface thread.
        RunOnUiThread([&m] {
            ShowMessageBox(QString::fromStdString(m.caption), QString::fromStdString(m.text),
                           m.icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information);
        });
    });

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
    app_.setWindowIcon(QIcon(programDir + "pavoline.png"));
    frame.show();
    if (qEnvironmentVariableIsSet("PAVOLINE_QUIT_WHEN_SHOWN")) QuitAfterFirstPaint(frame.view()->phonePage());
    if (qEnvironmentVariableIsSet("PAVOLINE_SCREENSHOT"))
        ScheduleScreenshot(&frame, qEnvironmentVariable("PAVOLINE_SCREENSHOT"));
    const int code = app_.exec();
    SetAppMainWindow(nullptr);
    skin.free();
    return code;
}

} // namespace pavoline

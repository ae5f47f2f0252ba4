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
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Before anything else: a swap that an updater left unfinished is undone. Should that put another
// launcher in this one's place, that one runs instead, for this one is of a version the suite no
// longer is.
void RecoverCutOffUpdate(const QString& programDir, const QStringList& arguments) {
    const std::string self = ProgramFilePath();
    struct stat before {};
    const bool known = stat(self.c_str(), &before) == 0;
    const std::string told = CleanUpAfterCutOffUpdater(programDir.toStdString());
    if (told.empty()) return;
    ShowMessageBox(kTitle, QString::fromStdString(told), QMessageBox::Information);
    struct stat after {};
    if (!known || stat(self.c_str(), &after) != 0 || (after.st_dev == before.st_dev && after.st_ino == before.st_ino)) return;
    std::vector<std::string> words{self};
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(self.c_str(), argv.data()); // should it fail, this one carries on
}

} // namespace

static QString& LastMessageBoxSlot() {
    static QString text;
    return text;
}

QString LastMessageBoxText() { return LastMessageBoxSlot(); }

void ShowMessageBox(const QString& caption, const QString& text, QMessageBox::Icon icon) {
    LastMessageBoxSlot() = text;
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
    auto refusedWhileUpdating = [&arguments] {
        if (MayStartWhileUpdating(UpdaterRunning(), arguments)) return false;
        ShowStartupMessage("工具正在更新……", true);
        return true;
    };
    if (refusedWhileUpdating()) return 0;
    const QString programDir = QString::fromStdString(ProgramDir());
    RecoverCutOffUpdate(programDir, arguments);
    SingleInstance instance;
    if (!instance.claim()) return 0; // the running launcher comes forward instead
    // The wait for a launcher that was ending may have let an updater start meanwhile.
    if (refusedWhileUpdating()) return 0;
    UseCompiledPublisherKeys("Pavoline");

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

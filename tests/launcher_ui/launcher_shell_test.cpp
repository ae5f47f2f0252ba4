// The launcher shell: start-up decisions, the main window, the phone page and the plug-in host.
#include "app_startup.h"
#include "app_translations.h"
#include "cut_off_update.h"
#include "temp_dir.h"
#include "named_mutex.h"
#include "launcher_state.h"
#include "main_frame.h"
#include "phone_select.h"
#include "http_server.h"
#include "platform.h"
#include "silent_server.h"
#include "skin_test_support.h"
#include "suite_version.h"
#include "theme_frame.h"
#include "tip_dialog.h"
#include "unanswered_tips.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QImage>
#include <QLocalServer>
#include <QProcess>
#include <QScrollArea>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace pavoline {

namespace {

const QString kSuite = PAVOLINE_SUITE_DIR;

// A program directory with the skin's pictures and n installed sample models.
class SampleProgramDir {
public:
    explicit SampleProgramDir(int models, const QString& prefix = "M") {
        path_ = temp_.path() + "/";
        for (const QString& file : QDir(kSuite).entryList({"*.png"}, QDir::Files)) QFile::copy(kSuite + "/" + file, path_ + file);
        QString xml = "<INSTALLEDMODEL><PHONEIMAGESIZE width=\"219\" height=\"312\" image_gap=\"96\"/>";
        for (int i = 1; i <= models; ++i) {
            const QString model = prefix + QString::number(i);
            QDir().mkpath(path_ + "Resource/" + model);
            for (int k = 1; k <= 3; ++k)
                QFile::copy(kSuite + "/Resource/N70/N70_" + QString::number(k) + ".png",
                            path_ + "Resource/" + model + "/" + model + "_" + QString::number(k) + ".png");
            QFile::copy(kSuite + "/Resource/N70/N70.so", path_ + "Resource/" + model + "/" + model + ".so");
            xml += "<PHONEMODEL model=\"" + model + "\" lcdsize=\"1\" space=\"1M\"/>";
        }
        xml += "</INSTALLEDMODEL>";
        QFile file(path_ + "InstalledModel.xml");
        file.open(QIODevice::WriteOnly);
        file.write(xml.toUtf8());
    }
    const QString& path() const { return path_; }

private:
    QTemporaryDir temp_;
    QString path_;
};

struct Launcher {
    SampleProgramDir dir;
    ModelCatalogue catalogue;
    CMainFrame frame;
    explicit Launcher(int models)
        : dir(models), catalogue((Load(dir.path()))), frame(catalogue, dir.path()) {
        SetAppMainWindow(&frame);
    }
    ~Launcher() { SetAppMainWindow(nullptr); }
    static std::string Load(const QString& path) { return path.toStdString(); }
    CPhoneSelectDlg* page() { return frame.view()->phonePage(); }
    bool shown(const char* name) { return page()->form()->FindElement(name, 90000)->IsVisible(); }
    int offset(const char* name) { return page()->form()->FindElement(name, 90000)->GetLayoutOffset(); }
    void scroll(int code, int p) { sendMessage(page(), WM_SKIN_SCROLL, code, p); }
    int scrollPos() { return page()->form()->FindElement("SB_Phoneselect", 90000)->AsScrollBar()->GetScrollPos(); }
};

std::unique_ptr<Launcher> MakeLauncher(int models) {
    auto launcher = std::make_unique<Launcher>(models);
    launcher->catalogue.LoadInstalled();
    launcher->page()->Refresh();
    return launcher;
}

// A copy of the suite's program and skin in a fresh directory, run as a real process.
class SuiteCopy {
public:
    SuiteCopy() {
        path_ = temp_.path() + "/";
        for (const QString& file : QDir(kSuite).entryList(QDir::Files))
            if (file != "InstalledModel.xml") QFile::copy(kSuite + "/" + file, path_ + file);
        suffix_ = QString("-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++count_);
    }
    QProcess* start(const QStringList& args, bool screenshotAndQuit = true, const QMap<QString, QString>& extraEnv = {}) {
        auto* process = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("PAVOLINE_INSTANCE_SUFFIX", suffix_);
        env.insert("PAVOLINE_MESSAGES_TO_STDERR", "1");
        env.insert("PAVOLINE_REPORT_RAISE", "1");
        if (screenshotAndQuit) env.insert("PAVOLINE_SCREENSHOT", path_ + "shot.png");
        for (auto it = extraEnv.begin(); it != extraEnv.end(); ++it) env.insert(it.key(), it.value());
        process->setProcessEnvironment(env);
        process->start(path_ + "Pavoline", args);
        return process;
    }
    // The sample models of the build, installed.
    void addSampleModels() {
        QProcess::execute("cp", {"-r", kSuite + "/Resource", kSuite + "/InstalledModel.xml", path_});
    }
    const QString& path() const { return path_; }
    const QString& suffix() const { return suffix_; }

private:
    QTemporaryDir temp_;
    QString path_, suffix_;
    static inline int count_ = 0;
};

} // namespace

class LauncherShellTest : public QObject {
    Q_OBJECT
    test::UnansweredTips unanswered_{std::chrono::seconds(90)};
private slots:
    void initTestCase() { test::LoadSuiteSkin(); }
    void init() {
        gMaximized = false;
        unanswered_.start();
    }
    void cleanup() { unanswered_.stop(); }

    void handBackTokenDecidesWhileTheUpdaterRuns() {
        QVERIFY(MayStartWhileUpdating(false, {}));
        QVERIFY(MayStartWhileUpdating(false, {"anything", "at all"}));
        for (const char* token : {"eurkdlash", "EURKDLASH", "EurkDlash"}) QVERIFY(MayStartWhileUpdating(true, {token}));
        QVERIFY(!MayStartWhileUpdating(true, {}));
        QVERIFY(!MayStartWhileUpdating(true, {"eurkdlash", "x"}));
        QVERIFY(!MayStartWhileUpdating(true, {"eurkdlas"}));
    }

    void phonePageShowsUpToThreePhones() {
        struct Case {
            int n;
            bool frames[3];
            bool bar, prompt, empty;
            int last;
        };
        for (const Case& c : {Case{0, {false, false, false}, false, false, true, 0}, Case{1, {true, false, false}, false, true, false, 1},
                              Case{2, {true, true, false}, false, true, false, 2}, Case{3, {true, true, true}, false, true, false, 3},
                              Case{4, {true, true, true}, true, true, false, 3}, Case{7, {true, true, true}, true, true, false, 3}}) {
            auto l = MakeLauncher(c.n);
            QCOMPARE(l->page()->count(), c.n);
            QCOMPARE(l->shown("Btn_Frame1"), c.frames[0]);
            QCOMPARE(l->shown("Btn_Frame2"), c.frames[1]);
            QCOMPARE(l->shown("Btn_Frame3"), c.frames[2]);
            QCOMPARE(l->shown("SB_Phoneselect"), c.bar);
            QCOMPARE(l->shown("Sta_PlsSelect"), c.prompt);
            QCOMPARE(l->page()->emptyListPicture()->isVisibleTo(l->page()), c.empty);
            QCOMPARE(l->page()->last(), c.last);
        }
        auto two = MakeLauncher(2);
        QCOMPARE(two->offset("Btn_Frame1"), -152);
        QCOMPARE(two->offset("Btn_Frame2"), 152);
        auto seven = MakeLauncher(7);
        QCOMPARE(seven->offset("Btn_Frame1"), -304);
        QCOMPARE(seven->offset("Btn_Frame3"), 304);
        auto none = MakeLauncher(0);
        QCOMPARE(none->page()->emptyListPicture()->pos(), QPoint(none->page()->width() / 2 - 113, 110));
    }

    void pagingFollowsTheScrollCodes() {
        auto l = MakeLauncher(7);
        auto at = [&](int first, int last) { return l->page()->first() == first && l->page()->last() == last; };
        l->scroll(0, 0);
        QVERIFY(at(1, 3)); // nothing before the first
        l->scroll(1, 0);
        QVERIFY(at(2, 4));
        QCOMPARE(l->scrollPos(), 1);
        l->scroll(3, 1);
        QVERIFY(at(5, 7));
        l->scroll(3, 4);
        QVERIFY(at(5, 7)); // nothing after the last
        l->scroll(1, 4);
        QVERIFY(at(5, 7));
        l->scroll(2, 4);
        QVERIFY(at(2, 4));
        l->scroll(2, 1);
        QVERIFY(at(1, 3)); // clamped to the start
        QCOMPARE(l->scrollPos(), 0);
        l->scroll(3, 0);
        l->scroll(3, 3);
        QVERIFY(at(5, 7)); // clamped to the end: N - 2 ... N
        QCOMPARE(l->scrollPos(), 4);
        l->scroll(4, 2);
        QVERIFY(at(3, 5));
        l->scroll(4, 99);
        QVERIFY(at(5, 7)); // the thumb never addresses a phone past the end
        l->scroll(5, 1);
        QVERIFY(at(5, 7)); // moving only moves the bar
        QCOMPARE(l->scrollPos(), 1);
        // The wheel pages by three.
        l->scroll(4, 0);
        QVERIFY(l->page()->HandleWheel(-120));
        QVERIFY(at(4, 6));
        QVERIFY(l->page()->HandleWheel(120));
        QVERIFY(at(1, 3));
        auto three = MakeLauncher(3);
        QVERIFY(!three->page()->HandleWheel(-120));
        three->scroll(1, 0);
        three->scroll(3, 0);
        QCOMPARE(three->page()->first(), 1); // last = N: nothing further
        QCOMPARE(three->page()->last(), 3);
        auto four = MakeLauncher(4);
        QVERIFY(four->page()->HandleWheel(120)); // code 2 at first 1 does nothing
        QCOMPARE(four->page()->first(), 1);
        // N = 7, page on from 4-6 shows 5-7.
        l->scroll(4, 3);
        QVERIFY(at(4, 6));
        l->scroll(3, 3);
        QVERIFY(at(5, 7));
    }

    void managerButtonNeedsTheServer() {
        auto l = MakeLauncher(1);
        gUpdateState = -1;
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        QTest::mouseClick(l->page()->form()->FindElement("Btn_PhoneManager", 90000)->Widget(), Qt::LeftButton);
        QCOMPARE(CTipDlg::LastText(), QString("无法连接服务器，请检查您的网络连接!"));
        QVERIFY(!l->frame.view()->phonePageActive()); // the manager opens anyway
        gUpdateState = 0;
        sendMessage(l->frame.view(), WM_SHOW_PHONESELECT);
        QVERIFY(l->frame.view()->phonePageActive());
        QTest::mouseClick(l->page()->form()->FindElement("Btn_PhoneManager", 90000)->Widget(), Qt::LeftButton);
        QVERIFY(!l->frame.view()->phonePageActive());
        sendMessage(l->frame.view(), WM_SHOW_PHONESELECT);
        QVERIFY(l->frame.view()->phonePageActive());
        sendMessage(l->frame.view(), WM_NEWVERSION, 1);
        QVERIFY(l->shown("Sta_NewVersionIcon"));
    }

    void switchingIntoTheSampleEditorAndBack() {
        for (const auto& [launcherMaximized, editorMaximized] : {std::pair{false, false}, std::pair{false, true},
                                                                  std::pair{true, true}, std::pair{true, false}}) {
            gMaximized = false;
            auto l = MakeLauncher(3);
            l->frame.show();
            if (launcherMaximized) l->frame.view()->ToggleMaximize();
            QCOMPARE(gMaximized.load(), launcherMaximized);
            QTest::mouseClick(l->page()->form()->FindElement("Btn_Frame2", 90000)->Widget(), Qt::LeftButton);
            QCOMPARE(l->frame.editorMode(), 1);
            QCOMPARE(l->frame.currentModel(), QString("M2"));
            QVERIFY(!l->frame.view()->isVisible());
            QTRY_VERIFY(l->frame.themeFrame()->view());
            auto* back = l->frame.themeFrame()->view()->findChild<QPushButton*>("Back");
            QVERIFY(back);
            if (!launcherMaximized && !editorMaximized) QVERIFY(l->frame.grab().save(test::ScreenshotPath("editor_M2")));
            // Back with the editor's state: the launcher follows it.
            sendMessage(&l->frame, WM_SWITCH_MODE, 0, editorMaximized ? 1 : 0);
            QCOMPARE(l->frame.editorMode(), 0);
            QVERIFY(l->frame.view()->isVisible());
            QCOMPARE(gMaximized.load(), editorMaximized);
            QCOMPARE(l->frame.updateTimerInterval(), 3000);
        }
    }

    void emptyListPictureAndFirstButtonLeadToTheManager() {
        auto none = MakeLauncher(0);
        QTest::mouseClick(none->page()->emptyListPicture(), Qt::LeftButton);
        QVERIFY(!none->frame.view()->phonePageActive());
        auto one = MakeLauncher(1);
        QTest::mouseClick(one->page()->emptyListPicture(), Qt::LeftButton); // hidden and inert with phones
        QVERIFY(one->frame.view()->phonePageActive());
    }

    void reloadInstalledRecordsModels() {
        auto l = MakeLauncher(1);
        QFile catalogue(l->dir.path() + "cat.xml");
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        catalogue.write("<Models><Phone model=\"X9\" isbeta=\"0\" lcdsize=\"240x320\"/></Models>");
        catalogue.close();
        QVERIFY(l->catalogue.LoadOfferedCatalogue((l->dir.path() + "cat.xml").toStdString()));
        OfferedList installed = *l->catalogue.offered();
        installed[0].installed = 1;
        installed[0].sizeText = "1.00M";
        QCOMPARE(sendMessage(&l->frame, WM_RELOAD_INSTALLED, reinterpret_cast<WPARAM>(&installed)), LRESULT(1));
        QCOMPARE(l->catalogue.installed().size(), size_t(2));
        QCOMPARE(l->catalogue.installed()[1].model, std::string("X9"));
    }

    void theSampleEditorsCaptionReachesTheLauncher() {
        auto l = MakeLauncher(2);
        l->frame.show();
        static QString opened;
        static bool opens = true;
        CMainFrame::SetHelpOpenerForTesting([](const QString& path) {
            opened = path;
            return opens;
        });
        const QString model = "M1";
        sendMessage(&l->frame, WM_SWITCH_MODE, 1, reinterpret_cast<LPARAM>(&model));
        QTRY_VERIFY(l->frame.themeFrame()->view());
        QWidget* editor = l->frame.themeFrame()->view();
        // No help file at all: the user is told, nothing is opened.
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        QTest::mouseClick(editor->findChild<QPushButton*>("Help"), Qt::LeftButton);
        QVERIFY(opened.isEmpty());
        QVERIFY(CTipDlg::LastText().startsWith("找不到帮助文件："));
        QFile chm(l->dir.path() + "Resource/M1/M1.chm");
        chm.open(QIODevice::WriteOnly);
        chm.close();
        QTest::mouseClick(editor->findChild<QPushButton*>("Help"), Qt::LeftButton);
        QCOMPARE(opened, l->dir.path() + "Resource/M1/M1.chm");
        opens = false; // no program on the desktop opens it
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        sendMessage(&l->frame, WM_SHOW_HELP);
        QVERIFY(CTipDlg::LastText().startsWith("无法打开帮助文件"));
        opens = true;
        CMainFrame::SetHelpOpenerForTesting(nullptr);
        // The about box, reached through the editor's frame.
        QString about;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                about = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(editor->findChild<QPushButton*>("About"), Qt::LeftButton);
        QVERIFY(about.contains(PAVOLINE_VERSION_TEXT));
        QVERIFY(l->frame.grab().save(test::ScreenshotPath("editor_M1")));
        QTest::mouseClick(editor->findChild<QPushButton*>("Back"), Qt::LeftButton);
        QCOMPARE(l->frame.editorMode(), 0);
        sendMessage(&l->frame, WM_SWITCH_MODE, 1, reinterpret_cast<LPARAM>(&model));
        QTRY_VERIFY(l->frame.themeFrame()->view());
        // Its close button ends the launcher the normal way.
        QTest::mouseClick(l->frame.themeFrame()->view()->findChild<QWidget*>("Close"), Qt::LeftButton);
        QTRY_VERIFY(!l->frame.isVisible());
    }

    // The phone page's own entries to the suite's guide and to the about box.
    void thePhonePageLeadsToTheGuideAndTheAboutBox() {
        auto l = MakeLauncher(1);
        QDir().mkpath(l->dir.path() + "help");
        QFile(l->dir.path() + "help/index.html").open(QIODevice::WriteOnly);
        static QString opened;
        CMainFrame::SetHelpOpenerForTesting([](const QString& path) { return opened = path, true; });
        l->frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&l->frame));
        QVERIFY(l->frame.grab().save(test::ScreenshotPath("phones_help_and_about")));
        QTest::mouseClick(l->page()->form()->FindElement("Btn_Help", 90000)->Widget(), Qt::LeftButton);
        CMainFrame::SetHelpOpenerForTesting(nullptr);
        QCOMPARE(opened, l->dir.path() + "help/index.html");
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor);
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::overrideCursor(), 10000); // the viewer is up by then
        QString about;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                about = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(l->page()->form()->FindElement("Btn_About", 90000)->Widget(), Qt::LeftButton);
        QVERIFY(about.contains(PAVOLINE_VERSION_TEXT));
    }

    // Timer 1 asks the server 8 s after each check only while the launcher's own pages are shown.
    void noUpdateCheckIsDueWhileAnEditorIsOpen() {
        auto l = MakeLauncher(1);
        l->frame.show();
        const QString model = "M1";
        sendMessage(&l->frame, WM_SWITCH_MODE, 1, reinterpret_cast<LPARAM>(&model));
        QTRY_VERIFY_WITH_TIMEOUT(!l->frame.updateTimerActive() && !l->frame.updateCheckRunning(), 20000);
        const int done = l->frame.updateChecksDone();
        l->frame.StartUpdateCheck();
        QTRY_VERIFY_WITH_TIMEOUT(l->frame.updateChecksDone() > done, 20000);
        QVERIFY(!l->frame.updateTimerActive());
        sendMessage(&l->frame, WM_SWITCH_MODE, 0, 0);
        QVERIFY(l->frame.updateTimerActive());
        QCOMPARE(l->frame.updateTimerInterval(), 3000);
    }

    void theSameNameInAnotherCaseDoesNotReload() {
        SampleProgramDir dir(1);
        CCreateContext context;
        CThemeFrameWnd frame(nullptr, dir.path(), context);
        frame.SelectModel("M1", false);
        QTRY_VERIFY(frame.view());
        const int attempts = frame.loadAttempts();
        frame.SelectModel("m1", false);
        QTest::qWait(20);
        QCOMPARE(frame.loadAttempts(), attempts);
    }

    void aPluginThatFailsIsReportedAndTheUserIsBackAtThePhones() {
        auto l = MakeLauncher(2);
        l->frame.show();
        QFile::remove(l->dir.path() + "Resource/M1/M1.so");
        QFile::copy(QString(PAVOLINE_BUILD_DIR) + "/plugins/sample_editor_no_frame.so", l->dir.path() + "Resource/M1/M1.so");
        QFile broken(l->dir.path() + "Resource/M2/M2.so");
        broken.open(QIODevice::WriteOnly | QIODevice::Truncate);
        broken.write("not a library");
        broken.close();
        for (const char* frame : {"Btn_Frame1", "Btn_Frame2"}) {
            CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
            QTest::mouseClick(l->page()->form()->FindElement(frame, 90000)->Widget(), Qt::LeftButton);
            QTRY_COMPARE(l->frame.editorMode(), 0);
            QVERIFY(l->frame.view()->isVisible());
            QCOMPARE(l->page()->count(), 2); // the phone stays listed
            const QString model = l->frame.currentModel();
            // One sentence on what failed and what to do, then the file and the reason, each once.
            const QString text = CTipDlg::LastText();
            QVERIFY2(text.startsWith("无法打开机型 " + model + " 的编辑器：插件文件已损坏，请卸载后重新安装。"), qPrintable(text));
            QCOMPARE(text.count(l->dir.path() + "Resource/" + model + "/" + model + ".so"), 1);
            QVERIFY(text.endsWith(model == "M1" ? "原因：插件缺少导出函数 GetFrame" : "原因：file too short"));
        }
        // The tip as the user sees it: the whole path and reason, over the launcher.
        QRect tipRect;
        QTimer::singleShot(300, [&] {
            if (auto* tip = qobject_cast<CTipDlg*>(QApplication::activeModalWidget())) {
                tipRect = tip->geometry();
                QPixmap shot = l->frame.grab();
                QPainter(&shot).drawPixmap(tip->pos() - l->frame.pos(), tip->grab());
                shot.save(test::ScreenshotPath("plugin_failed_tip"));
                QTest::mouseClick(tip->form()->FindElement("Btn_OK", 90000)->Widget(), Qt::LeftButton);
            }
        });
        QTest::mouseClick(l->page()->form()->FindElement("Btn_Frame1", 90000)->Widget(), Qt::LeftButton);
        QTRY_COMPARE(l->frame.editorMode(), 0);
        QVERIFY(!tipRect.isNull());
        QVERIFY(qAbs(tipRect.center().x() - l->frame.geometry().center().x()) <= 1); // centred on the launcher
    }

    void screenshotsOfThePhonePage() {
        for (int n : {0, 1, 3, 7}) {
            for (bool maximized : {false, true}) {
                auto l = MakeLauncher(n);
                l->frame.show();
                if (maximized) l->frame.view()->ToggleMaximize();
                QVERIFY(QTest::qWaitForWindowExposed(&l->frame));
                const QImage shot = l->frame.grab().toImage();
                QVERIFY(shot.save(test::ScreenshotPath(QString("phones_%1_%2").arg(n).arg(maximized ? "maximized" : "normal"))));
                // Every phone shown carries its picture, and the empty list its own.
                const QColor background = shot.pixelColor(5, shot.height() / 2);
                QList<QWidget*> pictures;
                for (const char* name : {"Btn_Frame1", "Btn_Frame2", "Btn_Frame3"})
                    if (l->shown(name)) pictures << l->page()->form()->FindElement(name, 90000)->Widget();
                if (n == 0) pictures << l->page()->emptyListPicture();
                QCOMPARE(pictures.size(), std::max(1, std::min(n, 3)));
                for (QWidget* picture : pictures)
                    QVERIFY(shot.pixelColor(picture->mapTo(&l->frame, picture->rect().center())) != background);
                gMaximized = false;
            }
        }
    }

    void firstRunWritesTheDefaultInstalledFile() {
        SuiteCopy suite;
        std::unique_ptr<QProcess> run(suite.start({"any", "arguments"}));
        QVERIFY(run->waitForFinished(30000));
        QCOMPARE(run->exitCode(), 0);
        QFile file(suite.path() + "InstalledModel.xml");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.size(), qint64(140));
        QVERIFY(QFile::exists(suite.path() + "shot.png"));
    }

    void anInstalledFileThatCannotBeMadeEndsWithCodeZero() {
        SuiteCopy suite;
        QDir().mkdir(suite.path() + "InstalledModel.xml.new"); // the new file cannot be created
        QFile::setPermissions(suite.path(), QFile::ReadOwner | QFile::ExeOwner);
        std::unique_ptr<QProcess> run(suite.start({}));
        QVERIFY(run->waitForFinished(30000));
        QFile::setPermissions(suite.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(run->exitCode(), 0);
        QVERIFY(QString::fromUtf8(run->readAllStandardError()).contains("文件创建失败!"));
        QVERIFY(!QFile::exists(suite.path() + "InstalledModel.xml"));
        QVERIFY(!QFile::exists(suite.path() + "shot.png"));
    }

    void whileTheUpdaterRunsOnlyTheTokenStartsTheLauncher() {
        SuiteCopy suite;
        ProcessMutex updater((QString(kUpdaterMutexName) + suite.suffix()).toStdString());
        QVERIFY(updater.acquire(0));
        for (const QStringList& args : {QStringList{}, QStringList{"eurkdlash", "x"}, QStringList{"other"}}) {
            std::unique_ptr<QProcess> refused(suite.start(args));
            QVERIFY(refused->waitForFinished(30000));
            QCOMPARE(refused->exitCode(), 0);
            QVERIFY(QString::fromUtf8(refused->readAllStandardError()).contains("工具正在更新……"));
            QVERIFY(!QFile::exists(suite.path() + "shot.png"));
        }
        std::unique_ptr<QProcess> handedBack(suite.start({"EURKDLASH"}));
        QVERIFY(handedBack->waitForFinished(30000));
        QCOMPARE(handedBack->exitCode(), 0);
        QVERIFY(QFile::exists(suite.path() + "shot.png"));
        updater.release();
    }

    // Undone before anything else, but never while an updater is at work.
    void aSwapThatWasCutOffIsUndoneWhenNoUpdaterRuns() {
        SuiteCopy suite;
        const std::string dir = suite.path().toStdString();
        const std::string work = test::LeaveCutOffSwap(dir, "1.0.0.1");
        QDir().mkpath(suite.path() + "Novarel/temp");
        test::WriteText(dir + "Novarel/temp/leftover", "");
        ProcessMutex updater((QString(kUpdaterMutexName) + suite.suffix()).toStdString());
        QVERIFY(updater.acquire(0));
        std::unique_ptr<QProcess> handedBack(suite.start({"eurkdlash"}));
        QVERIFY(handedBack->waitForFinished(30000));
        QVERIFY(QFile::exists(suite.path() + "shot.png"));
        QVERIFY(PathExists(work));
        QCOMPARE(test::ReadText(dir + "version.txt"), std::string("new"));
        updater.release();
        std::unique_ptr<QProcess> run(suite.start({}));
        QVERIFY(run->waitForFinished(30000));
        QCOMPARE(run->exitCode(), 0);
        QVERIFY(QString::fromUtf8(run->readAllStandardError()).contains("TavixPavoline: 上次升级未完成，已恢复到 1.0.0.1。\n"));
        QCOMPARE(test::ReadText(dir + "version.txt"), std::string("old"));
        QVERIFY(!PathExists(dir + "added.txt"));
        QVERIFY(!PathExists(work));
        QVERIFY(!PathExists(dir + "Novarel/temp/leftover"));
    }

    void aSecondLauncherRaisesTheFirstAndEnds() {
        SuiteCopy suite;
        std::unique_ptr<QProcess> first(suite.start({}, false));
        QTRY_VERIFY_WITH_TIMEOUT(ProcessMutex::IsHeldElsewhere((QString(kSingleInstanceName) + suite.suffix()).toStdString()), 20000);
        std::unique_ptr<QProcess> second(suite.start({}, false));
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += first->readAllStandardOutput()).contains("raised"), 10000);
        QCOMPARE(first->state(), QProcess::Running);
        first->terminate();
        QVERIFY(first->waitForFinished(10000));
    }

    void aboutBoxShowsTheVersion() {
        auto l = MakeLauncher(0);
        l->frame.show();
        QString text;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                box->accept();
            }
        });
        l->frame.ShowAbout();
        QVERIFY(text.contains(PAVOLINE_VERSION_TEXT));
    }

    void theWindowFitsSmallScreens() {
        for (const QSize& screen : {QSize(1366, 728), QSize(800, 600)}) {
            auto l = MakeLauncher(4);
            l->frame.FitToScreen(QRect(QPoint(0, 0), screen));
            QVERIFY(QRect(QPoint(0, 0), screen).contains(l->frame.geometry()));
            l->frame.show();
            QVERIFY(l->frame.rect().contains(l->frame.view()->closeButton()->geometry()));
            // Every button of the page can be scrolled into view.
            auto* area = l->frame.view()->findChild<QScrollArea*>("PageArea");
            for (const char* name : {"Btn_PhoneManager", "Btn_Update"}) {
                QWidget* button = l->page()->form()->FindElement(name, 90000)->Widget();
                area->ensureWidgetVisible(button, 0, 0);
                const QRect inViewport(button->mapTo(area->viewport(), QPoint(0, 0)), button->size());
                QVERIFY(area->viewport()->rect().contains(inViewport));
            }
            // The real start-up on such a screen, as a user sees it.
            SuiteCopy suite;
            suite.addSampleModels();
            QFile config(suite.path() + "screen.json");
            QVERIFY(config.open(QIODevice::WriteOnly));
            config.write(QString(R"({"screens":[{"name":"s","x":0,"y":0,"width":%1,"height":%2,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})")
                             .arg(screen.width()).arg(screen.height()).toUtf8());
            config.close();
            const QString shot = test::ScreenshotPath(QString("launcher_%1x%2").arg(screen.width()).arg(screen.height()));
            std::unique_ptr<QProcess> run(suite.start({}, true, {{"QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName()},
                                                                 {"PAVOLINE_SCREENSHOT", shot}}));
            QVERIFY(run->waitForFinished(30000));
            const QImage picture(shot);
            QVERIFY(!picture.isNull());
            QVERIFY(picture.width() <= screen.width() && picture.height() <= screen.height());
        }
    }

    void captionButtonsWithoutPicturesStayUsable() {
        auto l = MakeLauncher(1);
        for (const char* file : {"btn_close.png", "btn_maximize.png", "btn_restore.png", "btn_minimize.png"})
            QFile::remove(l->dir.path() + file);
        CMainFrame frame(l->catalogue, l->dir.path());
        frame.show();
        for (CButtonExt* button : {frame.view()->closeButton(), frame.view()->maximizeButton(), frame.view()->minimizeButton()}) {
            QVERIFY(button->width() >= 11 && button->height() >= 11);
            QVERIFY(button->isVisible());
        }
        frame.view()->ToggleMaximize();
        QVERIFY(frame.view()->maximizeButton()->width() >= 11);
        frame.view()->ToggleMaximize();
        // A button that moves away from the pointer loses its hover look.
        CButtonExt* maximize = l->frame.view()->maximizeButton();
        l->frame.resize(700, 600); // smaller than the screen, so that maximising moves the button
        l->frame.show();
        QCursor::setPos(l->frame.mapToGlobal(maximize->geometry().center()));
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QCursor::pos());
        QApplication::sendEvent(maximize, &enter);
        QVERIFY(maximize->IsHovered());
        l->frame.view()->ToggleMaximize();
        QVERIFY(!maximize->IsHovered());
    }

    void theBarAndThePhonesShowTheSamePosition() {
        auto l = MakeLauncher(7);
        auto* bar = qobject_cast<QScrollBar*>(l->page()->form()->FindElement("SB_Phoneselect", 90000)->Widget());
        QCOMPARE(bar->maximum(), 7 - 3);
        for (int delta : {-120, -120, 120}) {
            QWheelEvent wheel(QPointF(5, 5), bar->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(bar, &wheel);
            QCOMPARE(bar->value(), l->page()->first() - 1);
        }
        QCOMPARE(l->page()->first(), 2);
        // A pressed phone shows its pressed picture.
        QWidget* phone = l->page()->form()->FindElement("Btn_Frame1", 90000)->Widget();
        QTest::mousePress(phone, Qt::LeftButton);
        QCOMPARE(phone->property("shownSlot").toInt(), 1); // the pressed slot, which holds <M>_3.png
        QTest::mouseRelease(phone, Qt::LeftButton);
        QTRY_COMPARE(l->frame.editorMode(), 1);
    }

    void aLauncherThatNoLongerAnswersDoesNotStopTheNextOne() {
        SuiteCopy suite;
        // A launcher shutting down: it still accepts the connection but answers nothing.
        QLocalServer dying;
        QVERIFY(dying.listen(QString(kSingleInstanceName) + suite.suffix()));
        std::unique_ptr<QProcess> run(suite.start({}));
        QVERIFY(run->waitForFinished(30000));
        QCOMPARE(run->exitCode(), 0);
        QVERIFY(QFile::exists(suite.path() + "shot.png"));
    }

    void startUpFailuresNameTheFileAndTheReason() {
        SuiteCopy noForms;
        QFile::remove(noForms.path() + "Pavoline.dui");
        std::unique_ptr<QProcess> run(noForms.start({}));
        QVERIFY(run->waitForFinished(30000));
        QCOMPARE(run->exitCode(), 1);
        QVERIFY(QString::fromUtf8(run->readAllStandardError()).contains(noForms.path() + "Pavoline.dui：文件不存在"));
        SuiteCopy brokenLibrary;
        QFile library(brokenLibrary.path() + "libDirectUI.so");
        QVERIFY(library.open(QIODevice::WriteOnly | QIODevice::Truncate));
        library.write("not a library");
        library.close();
        run.reset(brokenLibrary.start({}));
        QVERIFY(run->waitForFinished(30000));
        const QString error = QString::fromUtf8(run->readAllStandardError());
        QVERIFY(error.contains("libDirectUI.so") && error.contains("file too short"));
        // The catalogue's own messages are captioned "Pavoline".
        SuiteCopy badInstalledFile;
        QFile xml(badInstalledFile.path() + "InstalledModel.xml");
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write("<INSTALLEDMODEL>");
        xml.close();
        run.reset(badInstalledFile.start({}));
        QVERIFY(run->waitForFinished(30000));
        QVERIFY(QString::fromUtf8(run->readAllStandardError()).contains("Pavoline: Syntax Error in XML Document"));
    }

    void standardButtonsSpeakChinese() {
        QVERIFY(InstallQtChineseTranslations());
        QMessageBox box(QMessageBox::Information, "Pavoline", "x", QMessageBox::Ok);
        QVERIFY(box.button(QMessageBox::Ok)->text().contains("确定"));
    }

    void theUpdateCheckFollowsTheServersReply() {
        test::TestHttpServer server;
        std::mutex replyMutex;
        std::string reply;
        server.routes().Get("/port/themeEditor/", [&](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(replyMutex);
            res.set_content(req.get_param_value("vnum") == SuiteVersionText() ? reply : "wrong version", "text/plain");
        });
        server.start();
        qputenv("PAVOLINE_UPDATE_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
        auto l = MakeLauncher(1);
        auto check = [&](const std::string& body) {
            {
                std::lock_guard<std::mutex> lock(replyMutex);
                reply = body;
            }
            QTRY_VERIFY(!l->frame.updateCheckRunning());
            l->frame.StartUpdateCheck();
            QTRY_VERIFY(!l->frame.updateCheckRunning());
        };
        auto pressUpdate = [&] {
            CTipDlg::SetNextAnswer(CTipDlg::kResultCancel);
            QTest::mouseClick(l->page()->form()->FindElement("Btn_Update", 90000)->Widget(), Qt::LeftButton);
            return CTipDlg::LastText();
        };
        gUpdateState = 0;
        QCOMPARE(pressUpdate(), QString("正在连接服务器……"));
        const QString offer = "检测到新版软件，是否升级？\r\n（将退出当前应用程序）";
        for (const auto& [body, newer] : {std::pair{std::string("http://127.0.0.1/info.ini"), true},
                                          std::pair{std::string(" http://x/info.ini"), false},
                                          std::pair{std::string("HTTP://x/info.ini"), false},
                                          std::pair{std::string("https://x/info.ini"), false},
                                          std::pair{std::string(), false},
                                          std::pair{std::string("http://x/a") + std::string(2037, 'b'), true}}) {
            check(body);
            QCOMPARE(gUpdateState.load(), 1);
            QCOMPARE(l->shown("Sta_NewVersionIcon"), newer);
            QCOMPARE(pressUpdate(), newer ? offer : QString("软件已为最新版本，无需升级。"));
        }
        // No real reply passes 2,047 bytes: a longer one counts as a failed check.
        check("");
        check("http://x/a" + std::string(2038, 'b'));
        QCOMPARE(gUpdateState.load(), -1);
        QCOMPARE(pressUpdate(), QString("未检测到可用的网络连接。"));
        check("http://127.0.0.1/info.ini");
        // The mark and the offer as the user sees them.
        l->frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&l->frame));
        const QImage marked = l->frame.grab().toImage();
        QVERIFY(marked.save(test::ScreenshotPath("launcher_new_version")));
        QWidget* mark = l->page()->form()->FindElement("Sta_NewVersionIcon", 90000)->Widget();
        QCOMPARE(marked.pixelColor(mark->mapTo(&l->frame, QPoint(4, mark->height() / 2))), QColor("#E0553C")); // its red
        QTimer::singleShot(100, [&] {
            if (auto* tip = qobject_cast<CTipDlg*>(QApplication::activeModalWidget())) {
                QPixmap shot = l->frame.grab();
                QPainter(&shot).drawPixmap(tip->pos() - l->frame.pos(), tip->grab());
                shot.save(test::ScreenshotPath("launcher_update_offer"));
                tip->done(CTipDlg::kResultCancel);
            }
        });
        sendMessage(&l->frame, WM_RUN_UPDATE);
        QVERIFY(QFile::exists(test::ScreenshotPath("launcher_update_offer")));
        server.stop();
        check("");
        QCOMPARE(gUpdateState.load(), -1);
        QVERIFY(l->shown("Sta_NewVersionIcon")); // the last answer stands
        gNewVersion = false;
        QCOMPARE(pressUpdate(), QString("未检测到可用的网络连接。"));
        qunsetenv("PAVOLINE_UPDATE_HOST");
    }

    void acceptingTheOfferStartsTheUpdaterAndEnds() {
        auto l = MakeLauncher(1);
        static int exitCode = -1;
        static bool updaterHeldItsLock = false;
        static std::string updaterLock;
        qputenv("PAVOLINE_INSTANCE_SUFFIX", "-offer-" + QByteArray::number(QCoreApplication::applicationPid()));
        updaterLock = WithInstanceSuffix(kUpdaterMutexName);
        CMainFrame::SetExitForTesting([](int code) {
            exitCode = code;
            updaterHeldItsLock = ProcessMutex::IsHeldElsewhere(updaterLock);
        });
        gNewVersion = true;
        // A stand-in updater that writes down its arguments and takes its lock a moment later.
        QDir().mkpath(l->dir.path() + "Novarel");
        const QString updater = l->dir.path() + "Novarel/Novarel";
        QFile script(updater);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QString("#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '%1'\nsleep 0.5\nexec flock '%2' sleep 2\n")
                         .arg(l->dir.path() + "args", QString::fromStdString(ProcessMutex::LockPath(updaterLock)))
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        sendMessage(&l->frame, WM_RUN_UPDATE);
        QCOMPARE(exitCode, 0);
        QVERIFY(updaterHeldItsLock); // so no launcher could start in between
        qunsetenv("PAVOLINE_INSTANCE_SUFFIX");
        QFile args(l->dir.path() + "args");
        QTRY_VERIFY(QFileInfo(args.fileName()).size() > 0);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString(args.readAll()), QString("2|%1|hsaldkrue|").arg(SuiteVersionText()));
        // No updater to start: the launcher says so and stays.
        exitCode = -1;
        QFile::remove(updater);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        sendMessage(&l->frame, WM_RUN_UPDATE);
        QCOMPARE(CTipDlg::LastText(), QString("无法正常启动升级程序！"));
        QCOMPARE(exitCode, -1);
        CMainFrame::SetExitForTesting(nullptr);
        gNewVersion = false;
    }

    void aCloseEndsACheckThatWaitsForAServerThatNeverAnswers() {
        test::SilentServer silent;
        qputenv("PAVOLINE_UPDATE_HOST", QByteArray::fromStdString(silent.url("").substr(std::strlen("http://"))));
        auto l = MakeLauncher(0);
        l->frame.show();
        l->frame.StartUpdateCheck();
        silent.waitForAnswered(1);
        QVERIFY(l->frame.updateCheckRunning());
        l->frame.close();
        QTRY_VERIFY_WITH_TIMEOUT(!l->frame.updateCheckRunning(), 3000); // not after the 30 s a silent server gets
        qunsetenv("PAVOLINE_UPDATE_HOST");
    }

    void keysNeverCloseTheForm() {
        auto l = MakeLauncher(1);
        l->frame.show();
        int clicks = 0;
        auto* manager = qobject_cast<QPushButton*>(l->page()->form()->FindElement("Btn_PhoneManager", 90000)->Widget());
        connect(manager, &QPushButton::clicked, [&] { ++clicks; });
        manager->setFocus();
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) QTest::keyClick(manager, Qt::Key(key));
        QCOMPARE(clicks, 0);
        QVERIFY(l->frame.isVisible());
    }
};

} // namespace pavoline

QTEST_MAIN(pavoline::LauncherShellTest)
#include "launcher_shell_test.moc"

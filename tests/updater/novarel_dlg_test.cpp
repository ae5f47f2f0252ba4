// The updater's dialog against real servers: the sample site with the build's own suite (on each
// server a site is published with), and small updates served by the test for the paths that go
// wrong.
#include "app_translations.h"
#include "download.h"
#include "http_server.h"
#include "md5.h"
#include "message_box.h"
#include "named_mutex.h"
#include "novarel_dlg.h"
#include "owner_drawn.h"
#include "platform.h"
#include "question_box.h"
#include "served_copy.h"
#include "signature.h"
#include "site_servers.h"
#include "temp_dir.h"
#include "test_publisher.h"
#include "tree_snapshot.h"
#include "zip_builder.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace pavoline::updater {
namespace {

const char* const kNewFeatures = "第一行##第二行";
const QString kRefused = "更新文件不是来自发布者，已拒绝更新。";

using test::ReadText;
using test::WriteText;

void SaveScreenshot(QWidget* widget, const QString& name) {
    const QString dir = QString(PAVOLINE_BUILD_DIR) + "/screenshots";
    QDir().mkpath(dir);
    QVERIFY(widget->grab().save(dir + "/" + name + ".png"));
}

// A unique instance suffix for launchers the dialog starts, so they never meet the user's own.
QByteArray NewInstanceSuffix() {
    static int count = 0;
    return QByteArray("-updater-test-") + QByteArray::number(QCoreApplication::applicationPid()) + "-" + QByteArray::number(++count);
}

// A small suite (a stand-in launcher that writes down its arguments, the user's list, the
// updater's folder with a stand-in program), and a server that offers a signed update for it.
class SmallUpdate {
public:
    SmallUpdate() {
        suite = dir.path() + "/suite/";
        MakeDirectories(suite);
        test::CopyTree(std::string(PAVOLINE_SUITE_DIR) + "/Novarel", suite + "Novarel"); // its pictures
        WriteText(suite + "Pavoline", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/started\"\n", 0755);
        WriteText(suite + "version.txt", "1.0");
        WriteText(suite + "InstalledModel.xml", "<user/>");
        WriteText(suite + "Novarel/Novarel", "updater", 0755);
        WriteText(suite + "Novarel/UpdateInfo.ini", "[UPDATE_CFG]\nApp=Pavoline\n");
        paths = PathsOf(suite + "Novarel/Novarel");
        test::WriteZip(dir.file("package.zip"), {test::UnixFileEntry("version.txt", "2.0")});
        package = ReadText(dir.file("package.zip"));
        server.routes().Get("/port/themeEditor/", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(server.url("/info.ini"), "text/plain");
        });
        server.routes().Get("/info.ini", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(info(), "text/plain");
        });
        server.routes().Get("/info.ini.sig", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(publisher.sign(info()), "text/plain");
        });
        server.routes().Get("/package.zip", [this](const httplib::Request&, httplib::Response& response) {
            ++packageRequests;
            if (servePackage) return servePackage(response);
            response.set_content(package, "application/zip");
        });
        server.start();
        qputenv("PAVOLINE_UPDATE_HOST", "127.0.0.1:" + QByteArray::number(server.port()));
        MessageBox::ClearTexts();
    }
    ~SmallUpdate() { qunsetenv("PAVOLINE_UPDATE_HOST"); }
    std::string info() const {
        const std::string md5 = infoMd5.empty() ? BytesMd5Text(package.data(), package.size()) : infoMd5;
        return "[UPDATE_INFO]\nNewVersionFeatures=" + std::string(kNewFeatures) + "\nToolLink=" + server.url("/package.zip") +
               "\nMd5=" + md5 + "\nVersion=1.0.0.2\nSha256=" + BytesSha256Text(package) +
               "\nSize=" + std::to_string(package.size()) + "\n";
    }

    test::TestPublisher publisher;
    test::TempDir dir;
    std::string suite, package, infoMd5;
    UpdaterPaths paths;
    std::function<void(httplib::Response&)> servePackage;
    std::atomic<int> packageRequests{0};
    test::TestHttpServer server;
};

bool Closed(const CNovarelDlg& dialog) { return !dialog.isVisible(); }

// What the stand-in launcher wrote down when it was started.
std::string Started(const SmallUpdate& update) {
    return PathExists(update.suite + "started") ? ReadText(update.suite + "started") : "";
}

} // namespace

class NovarelDlgTest : public QObject {
    Q_OBJECT
private slots:
    // A message no test expected is answered No on stderr, never left waiting for a click.
    void initTestCase() {
        qputenv("PAVOLINE_MESSAGES_TO_STDERR", "1");
        InstallQtChineseTranslations(); // the message boxes' buttons as the user reads them
    }
    // The dialog ends at once, the launcher is started again (when the configuration names it),
    // and nothing is left behind.
    void theAnswerToTheQueryDecidesWhetherTheDialogOpens() {
        SmallUpdate update;
        test::TestHttpServer server;
        std::string reply;
        server.routes().Get("/port/themeEditor/", [&reply](const httplib::Request&, httplib::Response& response) {
            response.set_content(reply, "text/plain");
        });
        server.start();
        struct Case {
            std::string reply;
            bool withConfig;
            bool serverUp;
            std::string message;
        };
        const Case cases[] = {
            {"", true, true, "已经是最新版本！"},
            {"", true, false, "无法连接服务器，请检查您的网络连接！"},
            {server.url("/missing.ini") + "\r\n", true, true, "无法读取更新信息文件 " + server.url("/missing.ini")},
            {"", false, true, "配置不存在或是错误！重新安装可以解决！"},
        };
        for (const Case& c : cases) {
            MessageBox::ClearTexts();
            std::remove((update.suite + "started").c_str());
            reply = c.reply;
            qputenv("PAVOLINE_UPDATE_HOST", "127.0.0.1:" + QByteArray::number(c.serverUp ? server.port() : test::UnusedPort()));
            if (!c.withConfig) std::remove(update.paths.configPath().c_str());
            CNovarelDlg dialog(update.paths, "1.0.0.1");
            MessageBox::SetNextAnswer(true); // the message, read
            QVERIFY(!dialog.Initialise());
            QCOMPARE(MessageBox::Texts(), QStringList{QString::fromStdString(c.message)});
            QVERIFY(dialog.InfoFilePath().empty() || !PathExists(dialog.InfoFilePath()));
            if (c.withConfig) QTRY_VERIFY(PathExists(update.suite + "started"));
        }
    }

    // A question in the updater's own look, centred on its dialog.
    void questionsAreAskedInTheUpdatersStyle() {
        SmallUpdate update;
        CNovarelDlg dialog(update.paths, "1.0.0.1");
        QVERIFY(dialog.Initialise());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        qunsetenv("PAVOLINE_MESSAGES_TO_STDERR");
        QString text;
        bool frameless = false, centred = false;
        QTimer::singleShot(100, this, [&] {
            auto* asked = qobject_cast<CQuestionBox*>(QApplication::activeModalWidget());
            if (!asked) return;
            text = asked->text();
            frameless = asked->windowFlags() & Qt::FramelessWindowHint;
            centred = (asked->geometry().center() - dialog.geometry().center()).manhattanLength() <= 2;
            QPixmap shot = dialog.grab();
            QPainter(&shot).drawPixmap(asked->pos() - dialog.pos(), asked->grab());
            shot.save(QString(PAVOLINE_BUILD_DIR) + "/screenshots/updater_question.png");
            QTest::mouseClick(asked->findChildren<QPushButton*>().value(1), Qt::LeftButton); // 否
        });
        QTest::mouseClick(dialog.Control(CNovarelDlg::kCancel), Qt::LeftButton);
        qputenv("PAVOLINE_MESSAGES_TO_STDERR", "1");
        QCOMPARE(text, QString("不更新并退出？"));
        QVERIFY(frameless && centred);
        QVERIFY(dialog.isVisible()); // "否"
    }

    // Questions answered No on standard error again and again are a loop: the process ends.
    void askingForEverEndsTheProcess() {
        const pid_t child = fork();
        if (child == 0) {
            std::signal(SIGABRT, SIG_DFL); // not the test library's handler, which runs a debugger
            for (int i = 0; i < 100; ++i) MessageBox::Ask(nullptr, "Novarel", "文件校验失败，是否重新下载？");
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
    }

    void theWindowKeepsItsLayoutAndItsKeys() {
        SmallUpdate update;
        CNovarelDlg dialog(update.paths, "1.0.0.1");
        QVERIFY(dialog.Initialise());
        dialog.show();
        QCOMPARE(dialog.size(), QSize(500, 350));
        QCOMPARE(dialog.windowTitle(), QString("TavixPavoline"));
        QCOMPARE(QString::fromStdString(dialog.Info().features), QString("第一行\n第二行"));
        const struct {
            int id;
            QRect geometry;
            bool shown;
        } controls[] = {
            {CNovarelDlg::kMinimize, {449, 9, 21, 22}, true},  {CNovarelDlg::kClose, {470, 9, 21, 22}, true},
            {CNovarelDlg::kUpdateNow, {280, 306, 84, 35}, true}, {CNovarelDlg::kCancel, {378, 306, 84, 35}, true},
            {CNovarelDlg::kFinish, {378, 306, 84, 35}, false}, {CNovarelDlg::kRestart, {140, 207, 231, 19}, false},
        };
        for (const auto& c : controls) {
            QWidget* control = dialog.Control(c.id);
            QCOMPARE(control->geometry(), c.geometry);
            QCOMPARE(control->isVisible(), c.shown);
            QCOMPARE(control->cursor().shape(), Qt::PointingHandCursor);
        }
        // No key closes it or presses a button.
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyClick(&dialog, Qt::Key(key));
            QTest::keyClick(dialog.Control(CNovarelDlg::kCancel), Qt::Key(key));
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.Stage(), 1);
        QVERIFY(MessageBox::Texts().isEmpty());
        // Dragged by the top strip only.
        const QPoint start = dialog.pos();
        auto drag = [&](QPoint from, QPoint by) {
            QTest::mousePress(&dialog, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, from + by, dialog.mapToGlobal(from + by), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(&dialog, &move);
            QTest::mouseRelease(&dialog, Qt::LeftButton, {}, from + by);
        };
        drag({200, 100}, {40, 20});
        QCOMPARE(dialog.pos(), start);
        drag({200, 20}, {40, 20});
        QCOMPARE(dialog.pos(), start + QPoint(40, 20));
        // Stage 1 closes on a yes only, and takes its temporary files along.
        MessageBox::SetNextAnswer(false);
        QTest::mouseClick(dialog.Control(CNovarelDlg::kClose), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        MessageBox::SetNextAnswer(true);
        QTest::mouseClick(dialog.Control(CNovarelDlg::kCancel), Qt::LeftButton);
        QVERIFY(Closed(dialog));
        QCOMPARE(MessageBox::Texts(), QStringList({"不更新并退出？", "不更新并退出？"}));
        QVERIFY(!PathExists(dialog.InfoFilePath()));
        QVERIFY(!PathExists(dialog.PackagePath()));
        QTRY_COMPARE(QString::fromStdString(Started(update)), QString("eurkdlash|")); // the user is back in the launcher
    }

    void theWholeUpdateOnTheSampleSite_data() {
        QTest::addColumn<int>("kind");
        for (test::SiteServerKind kind : test::kSiteServerKinds)
            QTest::newRow(test::SiteServerName(kind)) << static_cast<int>(kind);
    }
    void theWholeUpdateOnTheSampleSite() {
        QFETCH(int, kind);
        test::TempDir dir;
        const std::string suite = dir.path() + "/suite/";
        test::CopyTree(PAVOLINE_SUITE_DIR, suite);
        WriteText(suite + "Resource/N70/notes.txt", "the user's own");
        const std::string installedList = ReadText(suite + "InstalledModel.xml");
        UseCompiledPublisherKeys("updater_dialog_tests");
        const test::RunningSite site(static_cast<test::SiteServerKind>(kind), PAVOLINE_SITE_TOOL,
                                     test::SampleSiteRecipe(PAVOLINE_BUILD_DIR), dir.file("server"),
                                     PAVOLINE_SAMPLE_SITE_KEY);
        const QByteArray host = QByteArray::fromStdString(site.host());
        qputenv("PAVOLINE_UPDATE_HOST", host);
        MessageBox::ClearTexts();

        CNovarelDlg dialog(PathsOf(suite + "Novarel/Novarel"), PAVOLINE_VERSION_TEXT);
        QVERIFY(dialog.Initialise());
        QCOMPARE(QString::fromStdString(dialog.Info().features), QString("Pavoline %1\n关于窗口显示新的版本号").arg(PAVOLINE_NEXT_VERSION_TEXT));
        dialog.show();
        SaveScreenshot(&dialog, "updater_stage_1");
        connect(&dialog, &CNovarelDlg::stageEntered, this, [&dialog](int stage) {
            if (stage != 2) return;
            // A report as the download sends them, so the picture shows a bar under way.
            const DownloadProgress progress{1000, 420};
            dialog.windowProc(WM_USER, kReportProgress, reinterpret_cast<LPARAM>(&progress));
            SaveScreenshot(&dialog, "updater_stage_2");
        });
        QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Stage(), 4, 60000);
        QVERIFY(MessageBox::Texts().isEmpty());
        QVERIFY(!dialog.Control(CNovarelDlg::kClose)->isEnabled());
        QVERIFY(dialog.Control(CNovarelDlg::kRestart)->isVisible());
        SaveScreenshot(&dialog, "updater_stage_4");
        QCOMPARE(ReadText(suite + "version.txt"), "Pavoline " + std::string(PAVOLINE_NEXT_VERSION_TEXT) + "\n");
        QCOMPARE(ReadText(suite + "InstalledModel.xml"), installedList);
        QCOMPARE(ReadText(suite + "Resource/N70/notes.txt"), std::string("the user's own"));
        QVERIFY(IsExecutableFile(suite + "Novarel/Novarel"));

        // The new launcher comes back, handed the suite, and asks the server as the new version.
        const QByteArray suffix = NewInstanceSuffix();
        qputenv("PAVOLINE_INSTANCE_SUFFIX", suffix);
        qputenv("PAVOLINE_SCREENSHOT", QByteArray::fromStdString(dir.file("launcher.png")));
        QTest::mouseClick(dialog.Control(CNovarelDlg::kFinish), Qt::LeftButton);
        QVERIFY(Closed(dialog));
        QVERIFY(!PathExists(dialog.PackagePath()));
        QVERIFY(!PathExists(dialog.InfoFilePath()));
        QTRY_VERIFY_WITH_TIMEOUT(PathExists(dir.file("launcher.png")), 30000);
        const std::string launcherLock = WithInstanceSuffix("TAVIX_PAVOLINE_TOOL");
        QTRY_VERIFY_WITH_TIMEOUT(!ProcessMutex::IsHeldElsewhere(launcherLock), 30000);
        for (const char* name : {"PAVOLINE_INSTANCE_SUFFIX", "PAVOLINE_SCREENSHOT"}) qunsetenv(name);
        QTRY_VERIFY_WITH_TIMEOUT(site.requests("/port/themeEditor/?vnum=" PAVOLINE_NEXT_VERSION_TEXT) > 0, 10000);
        std::string reply;
        QCOMPARE(FetchText("http://" + host.toStdString() + "/port/themeEditor/?vnum=" PAVOLINE_NEXT_VERSION_TEXT, reply), 0);
        QVERIFY(reply.rfind("http://", 0) != 0); // nothing newer for the new version
        qunsetenv("PAVOLINE_UPDATE_HOST");
    }

    // The MD5 check as it always was: what a build without keys has.
    void aDigestMismatchIsAnsweredWithANewDownload() {
        SmallUpdate update;
        UsePublisherKeys({});
        const std::string good = update.package;
        update.servePackage = [&](httplib::Response& response) {
            std::string sent = good;
            if (update.packageRequests == 1) sent[sent.size() / 2] ^= 0x5A;
            response.set_content(sent, "application/zip");
        };
        CNovarelDlg dialog(update.paths, "1.0.0.1");
        QVERIFY(dialog.Initialise());
        dialog.show();
        MessageBox::SetNextAnswer(true);
        QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Stage(), 4, 30000);
        QCOMPARE(MessageBox::Texts(), QStringList{"文件校验失败，是否重新下载？"});
        QCOMPARE(update.packageRequests.load(), 2);
        QCOMPARE(ReadText(update.suite + "version.txt"), std::string("2.0"));
    }

    void cancellingTheDownloadClosesWithoutAWord() {
        SmallUpdate update;
        update.package = std::string(8 * 1024 * 1024, 'x'); // what is signed is what comes, slowly
        update.servePackage = [](httplib::Response& response) {
            response.set_content_provider(8 * 1024 * 1024, "application/zip", [](size_t, size_t length, httplib::DataSink& sink) {
                const std::string piece(std::min<size_t>(length, 16384), 'x');
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return sink.write(piece.data(), piece.size());
            });
        };
        CNovarelDlg dialog(update.paths, "1.0.0.1");
        QVERIFY(dialog.Initialise());
        dialog.show();
        QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
        QCOMPARE(dialog.Stage(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(FileSize(dialog.PackagePath()).value_or(0) > 0, 20000);
        MessageBox::SetNextAnswer(true);
        QTest::mouseClick(dialog.Control(CNovarelDlg::kCancel), Qt::LeftButton);
        QVERIFY(Closed(dialog));
        QCOMPARE(MessageBox::Texts(), QStringList{"正在升级中，是否取消并退出？"});
        QVERIFY(!PathExists(dialog.PackagePath()));
        QVERIFY(!PathExists(dialog.InfoFilePath()));
        QTRY_COMPARE(QString::fromStdString(Started(update)), QString("eurkdlash|"));
        SetDownloadCancel(false); // the updater would end here; the next tests download again
    }

    // The temporary directory's disk is full: said so, not taken for a damaged package.
    void aDownloadThatCannotBeWrittenNamesTheDisk() {
        SmallUpdate update;
        CNovarelDlg dialog(update.paths, "1.0.0.1");
        QVERIFY(dialog.Initialise());
        std::remove(dialog.PackagePath().c_str());
        QVERIFY(symlink("/dev/full", dialog.PackagePath().c_str()) == 0); // every write fails as on a full disk
        dialog.show();
        MessageBox::SetNextAnswer(true);  // the message, read
        MessageBox::SetNextAnswer(false); // no new download
        QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(Closed(dialog), 30000);
        const QStringList texts = MessageBox::Texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].startsWith("文件下载失败：磁盘空间不足"), qPrintable(texts[0]));
        QCOMPARE(texts[1], QString("重新下载？"));
    }

    void aFailedInstallationLeavesTheSuiteAsItWas_data() {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("the archiver fails") << false;
        QTest::newRow("a damaged package with a matching digest") << true;
    }
    void aFailedInstallationLeavesTheSuiteAsItWas() {
        QFETCH(bool, damaged);
        SmallUpdate update;
        if (damaged) {
            test::DamageFirstEntryData(update.dir.file("package.zip"));
            update.package = ReadText(update.dir.file("package.zip"));
        } else {
            // Fails once the test has pictured the installation under way.
            WriteText(update.suite + "Novarel/7z", "#!/bin/sh\nwhile [ ! -e '" + update.dir.file("go") +
                                                   "' ]; do sleep 0.05; done\necho 'cannot write' >&2\nexit 2\n", 0755);
        }
        CNovarelDlg dialog(update.paths, "1.0.0.1");
        QVERIFY(dialog.Initialise());
        const test::TreeSnapshot before = test::SnapshotOf(update.suite);
        dialog.show();
        // The messages are shown, pictured and answered.
        qunsetenv("PAVOLINE_MESSAGES_TO_STDERR");
        QStringList shown;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<CQuestionBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shown << box->text();
            if (!damaged && box->text().startsWith("更新失败")) SaveScreenshot(box, "updater_failure");
            box->accept();
        });
        watch.start(50);
        QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
        if (!damaged) {
            QTRY_VERIFY_WITH_TIMEOUT(dialog.grab().toImage().pixelColor(40, 175) == QColor(73, 185, 231), 30000);
            SaveScreenshot(&dialog, "updater_stage_3");
            // Installing cannot be cancelled: the close button says so, and the dialog stays.
            QTest::mouseClick(dialog.Control(CNovarelDlg::kClose), Qt::LeftButton);
            QCOMPARE(shown, QStringList{"正在安装中，无法取消！"});
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.Stage(), 3);
            WriteText(update.dir.file("go"), "");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty() && shown.last().startsWith("更新失败"), 30000);
        watch.stop();
        qputenv("PAVOLINE_MESSAGES_TO_STDERR", "1");
        QVERIFY2(shown.last().startsWith("更新失败：解压更新包失败") && shown.last().contains("软件保持原样"), qPrintable(shown.last()));
        QTRY_COMPARE(dialog.Stage(), 1);
        QVERIFY(dialog.Control(CNovarelDlg::kUpdateNow)->isVisible());
        QVERIFY(dialog.Control(CNovarelDlg::kCancel)->isEnabled());
        QCOMPARE(test::SnapshotOf(update.suite), before);
        MessageBox::SetNextAnswer(true);
        QTest::mouseClick(dialog.Control(CNovarelDlg::kCancel), Qt::LeftButton);
        QVERIFY(Closed(dialog));
    }

    // Someone between the suite and the publisher's server, against the sample site: each thing
    // they do is refused, the user is told, and the suite stays as it was to the byte.
    void whatDidNotComeFromThePublisherIsRefused_data() {
        QTest::addColumn<QString>("attack");
        QTest::addColumn<bool>("afterDownload");
        QTest::newRow("signatures dropped") << "drop" << false;
        QTest::newRow("another package, its MD5 fixed up") << "md5" << false;
        QTest::newRow("an older signed info file replayed") << "replay" << false;
        QTest::newRow("the package altered") << "package" << true;
        QTest::newRow("the package and more") << "longer" << true;
    }
    void whatDidNotComeFromThePublisherIsRefused() {
        if (std::string(PAVOLINE_SAMPLE_SITE_KEY).empty()) QSKIP("a build without keys checks no signature");
        QFETCH(QString, attack);
        QFETCH(bool, afterDownload);
        UseCompiledPublisherKeys("updater_dialog_tests");
        test::TempDir dir;
        const std::string suite = dir.path() + "/suite/";
        test::CopyTree(PAVOLINE_SUITE_DIR, suite);
        // The updater starts the launcher again when it ends; a real one would outlive the test.
        WriteText(suite + "Pavoline", "#!/bin/sh\nexit 0\n", 0755);
        // The updater's scratch folder holds the marks of its downloads until it ends.
        const test::TreeSnapshot before = test::SuiteSnapshotOf(suite);
        test::ServedCopy site(PAVOLINE_SITE_TOOL, PAVOLINE_SAMPLE_SITE, PAVOLINE_SAMPLE_SITE_KEY);
        // The replayed file: the publisher's own, signed when the running version was the newest.
        std::string replayed = ReadText(site.dir() + "/update/update_info.ini");
        const size_t version = replayed.find("Version=") + 8;
        replayed.replace(version, replayed.find('\n', version) - version, PAVOLINE_VERSION_TEXT);
        const std::optional<SecretKey> key = ParseSecretKey(ReadText(PAVOLINE_SAMPLE_SITE_KEY));
        QVERIFY(key);
        const Signature replayedSignature = SignBytes(*key, replayed);
        const std::string replayedSig = Base64Text(replayedSignature.data(), replayedSignature.size()) + "\n";
        site.proxy().setTamper([&](const std::string& target, int& status, std::string& body) {
            const bool info = target == "/update/update_info.ini", sig = target.size() > 4 && target.substr(target.size() - 4) == ".sig";
            const bool package = target.rfind("/update/Pavoline-", 0) == 0;
            if (attack == "drop" && sig) status = 404, body = "not found";
            if (attack == "md5" && info) body.replace(body.find("Md5=") + 4, 32, BytesMd5Text("other", 5));
            if (attack == "replay" && info) body = replayed;
            if (attack == "replay" && target == "/update/update_info.ini.sig") body = replayedSig;
            if (attack == "package" && package) body[body.size() / 2] ^= 0x5A;
            if (attack == "longer" && package) body += std::string(65536, 'x');
        });
        qputenv("PAVOLINE_UPDATE_HOST", QByteArray::fromStdString(site.host()));
        // The message is shown as the user sees it, pictured once, and answered.
        qunsetenv("PAVOLINE_MESSAGES_TO_STDERR");
        QString shown;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<CQuestionBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shown = box->text();
            if (attack == "package") SaveScreenshot(box, "updater_refused");
            box->accept();
        });
        watch.start(50);
        CNovarelDlg dialog(PathsOf(suite + "Novarel/Novarel"), PAVOLINE_VERSION_TEXT);
        std::string infoPath, packagePath;
        if (!afterDownload) {
            QVERIFY(!dialog.Initialise()); // refused before anything is shown
        } else {
            QVERIFY(dialog.Initialise());
            dialog.show();
            infoPath = dialog.InfoFilePath();
            packagePath = dialog.PackagePath();
            QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 60000);
            QTRY_COMPARE(dialog.Stage(), 1); // back to the first page, to try again or leave
            QVERIFY(!PathExists(packagePath)); // the refused package went at once
            QVERIFY(dialog.Control(CNovarelDlg::kUpdateNow)->isVisible());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 30000);
        watch.stop();
        qputenv("PAVOLINE_MESSAGES_TO_STDERR", "1");
        QCOMPARE(shown, kRefused);
        QCOMPARE(test::SuiteSnapshotOf(suite), before);
        if (afterDownload) {
            MessageBox::SetNextAnswer(true);
            QTest::mouseClick(dialog.Control(CNovarelDlg::kClose), Qt::LeftButton);
            QVERIFY(Closed(dialog));
            QVERIFY(!PathExists(infoPath));
        }
        QVERIFY(!PathExists(dialog.InfoFilePath()));
        qunsetenv("PAVOLINE_UPDATE_HOST");
    }

    void finishStartsWhatTheConfigurationNames() {
        static QString opened;
        CNovarelDlg::SetFolderOpenerForTesting([](const QString& folder) {
            opened = folder;
            return true;
        });
        struct Case {
            const char* config;
            bool restart;
            const char* started;   // what the stand-in launcher wrote down
            const char* message;
        };
        const Case cases[] = {
            {"[UPDATE_CFG]\nApp=Pavoline\n", true, "eurkdlash|", nullptr},
            {"[UPDATE_CFG]\nApp=Pavoline\n", false, nullptr, nullptr},
            {"[UPDATE_CFG]\n", true, nullptr, nullptr}, // the suite folder is opened instead
            {"[UPDATE_CFG]\nApp=Missing\n", true, nullptr, "运行失败，请手动运行！"},
        };
        for (const Case& c : cases) {
            SmallUpdate update;
            opened.clear();
            CNovarelDlg dialog(update.paths, "1.0.0.1");
            QVERIFY(dialog.Initialise());
            dialog.show();
            QTest::mouseClick(dialog.Control(CNovarelDlg::kUpdateNow), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(dialog.Stage(), 4, 30000);
            WriteText(update.paths.configPath(), c.config);
            if (!c.restart) QTest::mouseClick(dialog.Control(CNovarelDlg::kRestart), Qt::LeftButton);
            QCOMPARE(dialog.RestartChecked(), c.restart);
            if (c.message) MessageBox::SetNextAnswer(true);
            QTest::mouseClick(dialog.Control(CNovarelDlg::kFinish), Qt::LeftButton);
            QVERIFY(Closed(dialog));
            if (c.started)
                QTRY_COMPARE(QString::fromStdString(PathExists(update.suite + "started") ? ReadText(update.suite + "started") : ""),
                             QString(c.started));
            else
                QVERIFY(!PathExists(update.suite + "started"));
            QCOMPARE(opened, std::string(c.config).find("App=") == std::string::npos ? QString::fromStdString(update.suite) : QString());
            QCOMPARE(MessageBox::Texts(), c.message ? QStringList{c.message} : QStringList{});
        }
        CNovarelDlg::SetFolderOpenerForTesting(nullptr);
    }
};

} // namespace pavoline::updater

QTEST_MAIN(pavoline::updater::NovarelDlgTest)
#include "novarel_dlg_test.moc"

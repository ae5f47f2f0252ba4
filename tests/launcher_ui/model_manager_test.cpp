// The model manager as a user meets it, against a real server of the sample site: the
// catalogue fetch, filters and search, installing with the progress page and its cancel, the
// install-done page, and uninstalling.
#include "all_models.h"
#include "http_server.h"
#include "install_done.h"
#include "installed_models.h"
#include "launcher_state.h"
#include "main_frame.h"
#include "model_manage.h"
#include "phone_select.h"
#include "progress_page.h"
#include "served_copy.h"
#include "signature.h"
#include "site_servers.h"
#include "skin_test_support.h"
#include "pavoline_app.h"
#include "tree_snapshot.h"
#include "theme_frame.h"
#include "unanswered_tips.h"
#include "worker_thread.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace pavoline {
namespace {

const QString kSuite = PAVOLINE_SUITE_DIR;
const QString kBuild = PAVOLINE_BUILD_DIR;
const QString kNetworkError = "接入网络失败，无法更新机型信息。\r\n请检查网络。";

// A site served on an ephemeral port for as long as the object lives: (a signed copy of) a site with
// pavoline-site serve, or the sample site prepared for one of the servers it is published with.
class SiteServer {
public:
    explicit SiteServer(const QString& site, const QStringList& extra = {})
        : site_(PAVOLINE_SITE_TOOL, site.toStdString(), work_.path().toStdString(), Options(extra), PAVOLINE_SAMPLE_SITE_KEY) {}
    explicit SiteServer(test::SiteServerKind kind)
        : site_(kind, PAVOLINE_SITE_TOOL, test::SampleSiteRecipe(kBuild.toStdString()), work_.path().toStdString(),
                PAVOLINE_SAMPLE_SITE_KEY) {}
    QString host() const { return QString::fromStdString(site_.host()); }
    void useAsUpdateServer() const { qputenv("PAVOLINE_UPDATE_HOST", host().toUtf8()); }
    // The requests so far whose request line contains text.
    int requests(const QString& text) const { return site_.requests(text.toStdString()); }
    // Gone at once, its connections dropped mid-transfer (a stop would let them finish).
    void kill() { ::kill(site_.pid(), SIGKILL); }

private:
    static std::vector<std::string> Options(const QStringList& extra) {
        std::vector<std::string> options;
        for (const QString& o : extra) options.push_back(o.toStdString());
        return options;
    }
    QTemporaryDir work_;
    test::RunningSite site_;
};

const QString kNotVerified = "机型列表无法验证，不是来自发布者。";
const QString kPackageRefused = "机型包不是来自发布者，已拒绝安装！";
bool SignedBuild() { return !std::string(PAVOLINE_SAMPLE_SITE_KEY).empty(); }

// A copy of a site served by pavoline-site on an ephemeral port and signed for it with the build's
// key (what the launcher has compiled in), behind a proxy of the test's own that can change its answers.
class TamperedSite {
public:
    explicit TamperedSite(const QString& site, const QStringList& extra = {}) {
        std::vector<std::string> options;
        for (const QString& option : extra) options.push_back(option.toStdString());
        copy_ = std::make_unique<test::ServedCopy>(PAVOLINE_SITE_TOOL, site.toStdString(), PAVOLINE_SAMPLE_SITE_KEY, options);
        host_ = QString::fromStdString(copy_->host());
    }
    const QString& host() const { return host_; }
    QString dir() const { return QString::fromStdString(copy_->dir()); }
    void useAsUpdateServer() const { qputenv("PAVOLINE_UPDATE_HOST", host_.toUtf8()); }
    // The requests so far whose target contains text.
    int requests(const QString& text) { return copy_->proxy().requests(text.toStdString()); }
    test::TamperingProxy& proxy() { return copy_->proxy(); }
    // After the test changed the copy, as its publisher would: signed again.
    bool sign() { return copy_->sign(); }

private:
    std::unique_ptr<test::ServedCopy> copy_;
    QString host_;
};

// The flows that run on each server a site is published with: a row per server.
void ServerTable() {
    QTest::addColumn<int>("kind");
    for (test::SiteServerKind kind : test::kSiteServerKinds) QTest::newRow(test::SiteServerName(kind)) << static_cast<int>(kind);
}

QString UnusedHost() { return "127.0.0.1:" + QString::number(test::UnusedPort()); }

void CopyTree(const QString& from, const QString& to) { QProcess::execute("cp", {"-r", from + "/.", to}); }

// A launcher on a copy of the build's suite (three sample models installed), with its own
// temporary directory for packages and thumbnails.
struct Launcher {
    QTemporaryDir temp;
    QString dir = temp.path() + "/suite/";
    QString tmp = temp.path() + "/tmp/";
    std::unique_ptr<ModelCatalogue> catalogue;
    std::unique_ptr<CMainFrame> frame;

    explicit Launcher(const QString& updateHost) {
        QDir().mkpath(dir);
        QDir().mkpath(tmp);
        CopyTree(kSuite, dir);
        qputenv("TMPDIR", tmp.toUtf8());
        qputenv("PAVOLINE_UPDATE_HOST", updateHost.toUtf8());
        catalogue = std::make_unique<ModelCatalogue>(dir.toStdString());
        catalogue->LoadInstalled();
        frame = std::make_unique<CMainFrame>(*catalogue, dir);
        SetAppMainWindow(frame.get());
        frame->show();
        // The first update check tells whether the server can be reached.
        QTRY_VERIFY_WITH_TIMEOUT(frame->updateChecksDone() > 0, 20000);
    }
    ~Launcher() {
        SetAppMainWindow(nullptr);
        frame.reset();
        qunsetenv("TMPDIR");
        qunsetenv("PAVOLINE_UPDATE_HOST");
    }
    CPhoneSelectDlg* phones() const { return frame->view()->phonePage(); }
    CModelManageDlg* manager() const { return frame->view()->managerPage(); }
    CAllModelDlg* all() const { return manager()->allModelsPage(); }
    CInstalledModelDlg* installed() const { return manager()->installedModelsPage(); }
    void openManager() {
        QTest::mouseClick(phones()->form()->FindElement("Btn_PhoneManager", 90000)->Widget(), Qt::LeftButton);
    }
    // The manager opened on a reachable server, once its catalogue is shown.
    bool openManagerWithItsCatalogue() {
        openManager();
        return QTest::qWaitFor([this] { return manager() && manager()->catalogueShown(); }, 20000);
    }
    void clickTab(const char* tab) { QTest::mouseClick(manager()->element(tab)->Widget(), Qt::LeftButton); }
    // The models the all-models page lists, in row order.
    QStringList listed() const {
        QStringList names;
        directui::IList* list = all()->listWindow()->list();
        for (int i = 0; i < list->RowCount(); ++i) names << list->Row(i)->Part("Sta_AL_Name")->GetText();
        return names;
    }
    // The row of that model, scrolled into view (only rows in view have widgets).
    directui::IListRow* row(const QString& model) const {
        directui::IList* list = all()->listWindow()->list();
        for (int i = 0; i < list->RowCount(); ++i)
            if (list->Row(i)->Part("Sta_AL_Name")->GetText() == model) {
                list->ScrollToRow(i);
                return list->Row(i);
            }
        return nullptr;
    }
    void tick(const QStringList& models) {
        for (const QString& model : models) QTest::mouseClick(row(model)->PartAt(0)->Widget(), Qt::LeftButton);
    }
    void pressInstall() { QTest::mouseClick(all()->element("Btn_Install")->Widget(), Qt::LeftButton); }
    QStringList installedModels() const {
        QStringList names;
        for (const CInstalledModel& m : catalogue->installed()) names << QString::fromStdString(m.model);
        return names;
    }
    QStringList packagesLeft() const { return QDir(tmp).entryList({"~tavix_*.zip"}, QDir::Files); }
};

// Acts on modal windows as they come up, from the event loop: act returns true once it is done.
void WhenModal(const std::function<bool(QWidget*)>& act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !act(modal)) return;
        // Stopped at once: deleted only when the loop it was asked in runs again, a nested loop's
        // timer would act a second time meanwhile.
        timer->stop();
        timer->deleteLater();
    });
    timer->start(10);
}

CTipDlg* TipSaying(QWidget* modal, const QString& text) {
    auto* tip = qobject_cast<CTipDlg*>(modal);
    return tip && tip->text() == text ? tip : nullptr;
}

void Click(CSkinDialog* dialog, const char* button) {
    QTest::mouseClick(dialog->form()->FindElement(button, 90000)->Widget(), Qt::LeftButton);
}

void CloseTheInstallDonePageWhenItShows() {
    WhenModal([](QWidget* modal) {
        auto* done = qobject_cast<InstallDonePage*>(modal);
        if (done) Click(done, "Btn_InstallDone_Close");
        return done != nullptr;
    });
}

// A screenshot of the launcher with a modal window over it, as the user sees the two.
void SaveWithModal(QWidget* frame, QWidget* modal, const QString& name) {
    QPixmap shot = frame->grab();
    QPainter(&shot).drawPixmap(modal->pos() - frame->pos(), modal->grab());
    QVERIFY(shot.save(test::ScreenshotPath(name)));
}

void SetFileText(const QString& path, const QByteArray& text);

// A site whose catalogue lists count models M00000, M00001, ..., all of them N70's package and
// thumbnail, in ten families and four styles.
void WriteLongCatalogue(const QString& site, int count) {
    QFile file(site + "/catalogue.xml");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString catalogue = QString::fromUtf8(file.readAll());
    file.close();
    const qsizetype start = catalogue.indexOf("<Phone model=\"N70\"");
    QVERIFY(start >= 0);
    const QString n70 = catalogue.mid(start, catalogue.indexOf("/>", start) + 2 - start);
    QString xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PhoneList>\n";
    for (int i = 0; i < count; ++i)
        xml += QString(n70)
                   .replace("model=\"N70\"", QString("model=\"M%1\"").arg(i, 5, 10, QChar('0')))
                   .replace("family=\"N系列\"", QString("family=\"F%1\"").arg(i % 10))
                   .replace("style=\"直板\"", QString("style=\"S%1\"").arg(i % 4)) +
               "\n";
    SetFileText(site + "/catalogue.xml", (xml + "</PhoneList>\n").toUtf8());
}

void SetFileText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// A file the uninstall cannot delete, also for root: immutable when running as root, in a
// directory without write permission otherwise.
bool MakeUndeletable(const QString& file, bool undeletable) {
    if (geteuid() == 0)
        return QProcess::execute("chattr", {undeletable ? "+i" : "-i", file}) == 0;
    return chmod(QFileInfo(file).absolutePath().toUtf8().constData(), undeletable ? 0555 : 0755) == 0;
}

} // namespace

class ModelManagerTest : public QObject {
    Q_OBJECT

    test::UnansweredTips unanswered_{std::chrono::seconds(60)};
    QTemporaryDir sites_;
    // A copy of the sample site that a test may change.
    QString copyOfSampleSite(const QString& name) {
        const QString site = sites_.path() + "/" + name;
        QDir().mkpath(site);
        CopyTree(kBuild + "/site", site);
        return site;
    }

private slots:
    void initTestCase() {
        test::LoadSuiteSkin();
        qputenv("PAVOLINE_MESSAGES_TO_STDERR", "1"); // a message box never waits for a click
        UseCompiledPublisherKeys("model_manager_test");
    }
    void init() {
        gInstalledListChanged = false;
        unanswered_.start();
    }
    void cleanup() { unanswered_.stop(); }

    void openingFetchesTheCatalogueOnceAndOfflineStartsOnTheInstalledModels_data() { ServerTable(); }
    void openingFetchesTheCatalogueOnceAndOfflineStartsOnTheInstalledModels() {
        QFETCH(int, kind);
        SiteServer server(static_cast<test::SiteServerKind>(kind));
        {
            Launcher l(server.host());
            QCOMPARE(gUpdateState.load(), 1);
            bool noticeSeen = false;
            WhenModal([&](QWidget* modal) {
                if (!TipSaying(modal, "正在连接服务器，请稍候……")) return false;
                noticeSeen = true;
                SaveWithModal(l.frame.get(), modal, "manager_wait_notice");
                return true;
            });
            l.openManager();
            QTRY_VERIFY_WITH_TIMEOUT(l.manager() && l.manager()->catalogueShown(), 20000);
            QVERIFY(noticeSeen);
            // Eleven models: the twelfth is a beta, shown only beside test.flag.
            QCOMPARE(l.listed().size(), 11);
            for (const char* installed : {"N70", "E71", "X6"}) {
                QVERIFY(l.row(installed)->Part("Sta_AL_Installed")->IsVisible());
                QVERIFY(!l.row(installed)->Part("CB_AL_Item")->IsVisible());
            }
            QVERIFY(!l.row("N95")->Part("Sta_AL_Installed")->IsVisible());
            for (const QString& model : l.listed()) QVERIFY(QFileInfo(l.tmp + "~TAVIX_" + model + ".png").size() > 0);
            QTRY_VERIFY(!qobject_cast<QLabel*>(l.row("N95")->PartAt(0)->Widget())->pixmap().isNull());
            QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_all_models")));
            // A second opening neither waits nor downloads.
            const int catalogueRequests = server.requests("/port/themeModel/");
            QTest::mouseClick(l.all()->element("Btn_AllModel2Main")->Widget(), Qt::LeftButton);
            QTRY_VERIFY(l.frame->view()->phonePageActive());
            l.openManager();
            QTest::qWait(200);
            QCOMPARE(l.manager()->fetchCount(), 1);
            QCOMPARE(server.requests("/port/themeModel/"), catalogueRequests);
        }
        {
            // Offline: told so, then the installed models without a wait; the all-models tab fetches.
            Launcher l(UnusedHost());
            QCOMPARE(gUpdateState.load(), -1);
            CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
            l.openManager();
            QCOMPARE(CTipDlg::LastText(), QString("无法连接服务器，请检查您的网络连接!"));
            QVERIFY(l.installed() && l.installed()->isVisible());
            QVERIFY(!l.all());
            QTest::qWait(200);
            QCOMPARE(l.manager()->fetchCount(), 0);
            QCOMPARE(l.installed()->list()->RowCount(), 3);
            QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_installed")));
            server.useAsUpdateServer();
            l.clickTab("Tab_RB_AllModel");
            QTRY_VERIFY_WITH_TIMEOUT(l.manager()->catalogueShown(), 20000);
            QCOMPARE(l.listed().size(), 11);
        }
    }

    void aFailedFetchShowsTheNetworkErrorAndTheTabFetchesAgain() {
        SiteServer server(kBuild + "/site");
        Launcher l(server.host());
        qputenv("PAVOLINE_UPDATE_HOST", UnusedHost().toUtf8()); // the server goes away
        bool errorSeen = false;
        WhenModal([&](QWidget* modal) {
            CTipDlg* tip = TipSaying(modal, kNetworkError);
            if (!tip) return false;
            errorSeen = tip->form()->FindElement("Btn_OK", 90000)->IsVisible();
            SaveWithModal(l.frame.get(), modal, "manager_network_error");
            Click(tip, "Btn_OK");
            return true;
        });
        l.openManager();
        QTRY_VERIFY_WITH_TIMEOUT(errorSeen && QApplication::activeModalWidget() == nullptr, 20000);
        QVERIFY(!l.manager()->fetchSucceeded());
        QCOMPARE(l.listed().size(), 0);
        QCOMPARE(l.all()->listWindow()->emptyText(), QString("获取机型列表失败，点击“全部机型”重试"));
        QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_empty_fetch_failed")));
        server.useAsUpdateServer(); // back again: choosing the tab fetches
        l.clickTab("Tab_RB_InstalledModel");
        l.clickTab("Tab_RB_AllModel");
        QTRY_VERIFY_WITH_TIMEOUT(l.manager()->fetchSucceeded(), 20000);
        QCOMPARE(l.manager()->fetchCount(), 2);
        QCOMPARE(l.listed().size(), 11);
    }

    void filtersAndSearchFollowTheirRules() {
        // A site of its own, with names and values that show the rules.
        const QString models = sites_.path() + "/filter_models";
        struct Model {
            const char* name;
            const char* family;
            const char* style;
        };
        const Model table[] = {{"XAB1", "Nokia", "直板"}, {"ab2", "nokia", "滑盖"}, {"a-b", "Moto", "直板"},
                               {"C5", "Moto", "触屏"}};
        QString ini;
        for (const Model& m : table) {
            const QString dir = models + "/" + m.name;
            QDir().mkpath(dir);
            for (const char* suffix : {".so", "_1.png", "_2.png", "_3.png", "_S.png"})
                QFile::copy(kBuild + "/sample_site/models/N70/N70" + suffix, dir + "/" + m.name + suffix);
            ini += QString("[%1]\nfamily = %2\nstyle = %3\nversion = 1.0\nlcdsize = 240x320\n\n").arg(m.name, m.family, m.style);
        }
        SetFileText(models + "/models.ini", ini.toUtf8());
        const QString site = sites_.path() + "/filter_site";
        QCOMPARE(QProcess::execute(PAVOLINE_SITE_TOOL, {"build", "--models", models, "--out", site}), 0);
        SiteServer server(site);
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        directui::IComboBox* family = l.all()->element("Com_Family")->AsComboBox();
        directui::IComboBox* style = l.all()->element("Com_Style")->AsComboBox();
        QStringList families;
        for (int i = 0; i < family->GetCount(); ++i) families << family->GetItemText(i);
        QCOMPARE(families, QStringList({"全部系列", "Moto", "Nokia", "nokia"})); // sorted, case kept apart
        auto choose = [&](directui::IComboBox* box, const QString& text) {
            auto* combo = qobject_cast<QComboBox*>(l.all()->element(box == family ? "Com_Family" : "Com_Style")->Widget());
            combo->setCurrentIndex(combo->findText(text)); // as the user picks it from the list
            emit combo->activated(combo->currentIndex());
        };
        l.frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(l.frame.get()));
        auto search = [&](const QString& text) {
            CSearchEdit* edit = l.all()->searchEdit();
            edit->setFocus();
            QTRY_VERIFY(edit->hasFocus());
            edit->selectAll(); // what an earlier search left is typed over
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClicks(edit, text);
            QTest::keyClick(edit, Qt::Key_Return);
        };
        const QStringList all = {"XAB1", "ab2", "a-b", "C5"};
        choose(family, "Nokia");
        QCOMPARE(l.listed(), QStringList({"XAB1", "ab2"})); // values compare without case
        choose(style, "直板");
        QCOMPARE(l.listed(), QStringList({"XAB1"}));
        QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_filtered")));
        choose(family, "全部系列");
        QCOMPARE(l.listed(), QStringList({"XAB1", "a-b"}));
        choose(style, "全部机型");
        QCOMPARE(l.listed(), all);
        search("AB");
        QCOMPARE(l.listed(), QStringList({"XAB1", "ab2"})); // in any case, and not a-b
        QCOMPARE(family->GetCurSel(), 0);
        QVERIFY(!l.all()->searchEdit()->hasFocus());
        QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_searched")));
        choose(family, "全部系列"); // the same entry again filters after a search
        QCOMPARE(l.listed(), all);
        search("");
        QCOMPARE(l.listed(), all);
        search("C5C5C5C5C5C5");
        QCOMPARE(l.all()->searchEdit()->text(), QString("C5C5C5C5C5")); // ten characters at most
        QCOMPARE(l.listed(), QStringList());
        QCOMPARE(l.all()->listWindow()->emptyText(), QString("没有符合条件的机型"));
        QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_empty_no_match")));
        // A filter after a refresh still filters by what is chosen.
        l.all()->Refresh();
        choose(style, "触屏");
        QCOMPARE(l.listed(), QStringList({"C5"}));
    }

    void tickingDecidesTheInstallButton() {
        SiteServer server(kBuild + "/site");
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        directui::ISkinElement* install = l.all()->element("Btn_Install");
        QVERIFY(!install->IsEnabled());
        l.tick({"N95"});
        QVERIFY(l.row("N95")->Part("CB_AL_Item")->GetCheck());
        QVERIFY(install->IsEnabled());
        l.tick({"N70"}); // installed: nothing to tick
        QVERIFY(install->IsEnabled());
        QTest::mouseClick(l.row("N73")->PartAt(2)->Widget(), Qt::LeftButton); // the box itself
        l.tick({"N95"});
        QVERIFY(install->IsEnabled());
        QTest::mouseClick(l.row("N73")->PartAt(2)->Widget(), Qt::LeftButton);
        QVERIFY(!install->IsEnabled());
    }

    void installingFourModelsAndOpeningTheFourth_data() { ServerTable(); }
    void installingFourModelsAndOpeningTheFourth() {
        QFETCH(int, kind);
        SiteServer server(static_cast<test::SiteServerKind>(kind));
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        bool gridChecked = false;
        WhenModal([&](QWidget* modal) {
            auto* done = qobject_cast<InstallDonePage*>(modal);
            if (!done) return false;
            directui::IList* grid = done->list();
            gridChecked = grid->RowCount() == 2 && grid->Row(1)->Part("Lgo_InstallDone_Item1")->IsVisible() &&
                          !grid->Row(1)->Part("Lgo_InstallDone_Item2")->IsVisible() &&
                          !grid->Row(1)->Part("Lgo_InstallDone_Item3")->IsVisible();
            SaveWithModal(l.frame.get(), modal, "install_done_4");
            QTest::mouseClick(grid->Row(1)->Part("Lgo_InstallDone_Item1")->Widget(), Qt::LeftButton);
            return true;
        });
        const QStringList chosen = {"E63", "E66", "E90", "N73"};
        l.tick(chosen);
        QStringList inRowOrder;
        for (const QString& model : l.listed())
            if (chosen.contains(model)) inRowOrder << model;
        l.pressInstall();
        QTRY_VERIFY_WITH_TIMEOUT(gridChecked, 30000);
        QCOMPARE(l.frame->editorMode(), 1);
        QCOMPARE(l.frame->currentModel(), inRowOrder.last());
        QTRY_VERIFY(l.frame->themeFrame()->view());
        QCOMPARE(l.installedModels(), QStringList({"N70", "E71", "X6"}) + inRowOrder);
        for (const CInstalledModel& m : l.catalogue->installed()) QVERIFY(!m.space.empty()); // the size text stays
        for (const QString& model : chosen) QVERIFY(QFile::exists(l.dir + "Resource/" + model + "/" + model + ".so"));
        QVERIFY(l.packagesLeft().isEmpty());
        // Back on the phone page the new models are listed; the manager shows them installed.
        sendMessage(l.frame.get(), WM_SWITCH_MODE, 0, 0);
        QCOMPARE(l.phones()->count(), 7);
        l.openManager();
        for (const QString& model : chosen) QVERIFY(l.row(model)->Part("Sta_AL_Installed")->IsVisible());
        l.clickTab("Tab_RB_InstalledModel");
        QCOMPARE(l.installed()->list()->RowCount(), 7);
    }

    void aFailedSecondDownloadKeepsTheFirstModel() {
        TamperedSite server(kBuild + "/site");
        QFile catalogue(server.dir() + "/catalogue.xml");
        QVERIFY(catalogue.open(QIODevice::ReadOnly));
        QByteArray xml = catalogue.readAll();
        catalogue.close();
        xml.replace("http://" + server.host().toUtf8() + "/models/E66.zip", "http://" + UnusedHost().toUtf8() + "/models/E66.zip");
        SetFileText(server.dir() + "/catalogue.xml", xml);
        QVERIFY(server.sign());
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        bool errorShown = false, doneShown = false;
        WhenModal([&](QWidget* modal) {
            CTipDlg* tip = TipSaying(modal, "下载失败，请检查网络连接!");
            if (!tip) return false;
            errorShown = true;
            Click(tip, "Btn_OK");
            return true;
        });
        WhenModal([&](QWidget* modal) {
            auto* done = qobject_cast<InstallDonePage*>(modal);
            if (!done) return false;
            doneShown = done->list()->RowCount() == 1;
            Click(done, "Btn_InstallDone_Close");
            return true;
        });
        l.tick({"E63", "E66"});
        l.pressInstall();
        QTRY_VERIFY_WITH_TIMEOUT(errorShown && doneShown, 30000);
        QCOMPARE(l.installedModels(), QStringList({"N70", "E71", "X6", "E63"}));
        QCOMPARE(l.frame->editorMode(), 0); // closed: nothing opened
    }

    // A build without keys checks MD5 only, as the original did.
    void aDamagedPackageIsDownloadedAgain() {
        if (SignedBuild()) QSKIP("signed: a damaged package is not the publisher's (aPackageNotFromThePublisherIsRefused)");
        const QString site = copyOfSampleSite("damaged");
        const QString package = site + "/models/E63.zip";
        QFile good(package);
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray bytes = good.readAll();
        good.close();
        SetFileText(package, "not the package");
        SiteServer server(site);
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        int mismatches = 0;
        WhenModal([&](QWidget* modal) {
            CTipDlg* tip = TipSaying(modal, "文件校验失败！");
            if (!tip) return false;
            ++mismatches;
            SetFileText(package, bytes); // the server mends it while the user reads
            Click(tip, "Btn_OK");
            return true;
        });
        CloseTheInstallDonePageWhenItShows();
        l.tick({"E63"});
        l.pressInstall();
        QTRY_VERIFY_WITH_TIMEOUT(l.installedModels().contains("E63"), 30000);
        QCOMPARE(mismatches, 1);
        QCOMPARE(server.requests("/models/E63.zip"), 2);
    }

    // A catalogue without the publisher's signature is not shown: the wait notice says so and
    // the tab fetches again.
    void aCatalogueNotFromThePublisherIsNotShown() {
        if (!SignedBuild()) QSKIP("a build without keys checks no signature");
        TamperedSite server(kBuild + "/site");
        server.proxy().setTamper([](const std::string& target, int& status, std::string& body) {
            if (target == "/port/themeModel.sig") status = 404, body = "not found";
        });
        Launcher l(server.host());
        bool refusalSeen = false;
        WhenModal([&](QWidget* modal) {
            CTipDlg* tip = TipSaying(modal, kNotVerified);
            if (!tip) return false;
            refusalSeen = tip->form()->FindElement("Btn_OK", 90000)->IsVisible();
            SaveWithModal(l.frame.get(), modal, "manager_catalogue_refused");
            Click(tip, "Btn_OK");
            return true;
        });
        l.openManager();
        QTRY_VERIFY_WITH_TIMEOUT(refusalSeen && QApplication::activeModalWidget() == nullptr, 20000);
        QVERIFY(!l.manager()->fetchSucceeded());
        QCOMPARE(l.listed().size(), 0);
        server.proxy().setTamper(nullptr);
        l.clickTab("Tab_RB_InstalledModel");
        l.clickTab("Tab_RB_AllModel");
        QTRY_VERIFY_WITH_TIMEOUT(l.manager()->fetchSucceeded(), 20000);
        QCOMPARE(l.listed().size(), 11);
    }

    // A package altered on the way is not the one the signed catalogue names: it is deleted
    // unopened, the run ends, and the suite stays as it was to the byte.
    void aPackageNotFromThePublisherIsRefused() {
        if (!SignedBuild()) QSKIP("a build without keys checks no signature");
        TamperedSite server(kBuild + "/site");
        server.proxy().setTamper([](const std::string& target, int&, std::string& body) {
            if (target == "/models/E63.zip") body[body.size() / 2] ^= 0x5A;
        });
        Launcher l(server.host());
        l.openManager();
        QTRY_VERIFY_WITH_TIMEOUT(l.manager()->catalogueShown(), 20000);
        const test::TreeSnapshot before = test::SnapshotOf(l.dir.toStdString());
        bool refusalSeen = false;
        WhenModal([&](QWidget* modal) {
            CTipDlg* tip = TipSaying(modal, kPackageRefused);
            if (!tip) return false;
            refusalSeen = true;
            SaveWithModal(l.frame.get(), modal, "manager_package_refused");
            Click(tip, "Btn_OK");
            return true;
        });
        l.tick({"E63", "E66"});
        l.pressInstall();
        QTRY_VERIFY_WITH_TIMEOUT(refusalSeen && QApplication::activeModalWidget() == nullptr, 30000);
        QCOMPARE(server.requests("/models/E63.zip"), 1); // not downloaded again
        QCOMPARE(server.requests("/models/E66.zip"), 0); // the run ended
        QCOMPARE(l.installedModels(), QStringList({"N70", "E71", "X6"}));
        QCOMPARE(test::SnapshotOf(l.dir.toStdString()), before);
        QVERIFY(l.packagesLeft().isEmpty());
    }

    void cancellingDuringAndAfterADownload() {
        // A slow line, so that the download is still running when the user cancels.
        SiteServer server(kBuild + "/site", {"--rate", "100000"});
        Launcher l(server.host());
        const QByteArray before = [&] {
            QFile f(l.dir + "InstalledModel.xml");
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        QVERIFY(l.openManagerWithItsCatalogue());
        for (bool afterTheDownload : {false, true}) {
            QDir(l.tmp).removeRecursively();
            QDir().mkpath(l.tmp);
            bool prompted = false;
            WhenModal([&](QWidget* modal) {
                auto* page = qobject_cast<ProgressPage*>(modal);
                if (!page || !page->form()->FindElement("Btn_Cancel", 90000)->IsVisible()) return false;
                if (page->form()->FindElement("Sta_DownloadCount", 90000)->GetText().isEmpty()) return false;
                Click(page, "Btn_Cancel");
                return true;
            });
            WhenModal([&](QWidget* modal) {
                CTipDlg* prompt = TipSaying(modal, "取消下载？");
                if (!prompt) return false;
                if (!prompted && !afterTheDownload) {
                    QWidget* page = prompt->parentWidget();
                    QPixmap shot = l.frame->grab();
                    QPainter painter(&shot);
                    painter.drawPixmap(page->pos() - l.frame->pos(), page->grab());
                    painter.drawPixmap(prompt->pos() - l.frame->pos(), prompt->grab());
                    shot.save(test::ScreenshotPath("progress_cancel_prompt"));
                }
                prompted = true;
                // After the download: the package is whole in the temporary directory first.
                const qint64 whole = QFileInfo(kBuild + "/site/models/N95.zip").size();
                if (afterTheDownload && QFileInfo(l.tmp + l.packagesLeft().value(0)).size() != whole) return false;
                Click(prompt, "Btn_Yes");
                return true;
            });
            l.tick({"N95"});
            l.pressInstall();
            QTRY_VERIFY_WITH_TIMEOUT(prompted && QApplication::activeModalWidget() == nullptr, 60000);
            QVERIFY(!l.installedModels().contains("N95"));
            QVERIFY(!QFile::exists(l.dir + "Resource/N95/N95.so"));
            QCOMPARE(l.packagesLeft().size(), 1); // the download that was stopped, as it was left
            const QFileInfo package(l.tmp + l.packagesLeft().value(0));
            if (afterTheDownload)
                QCOMPARE(package.size(), QFileInfo(kBuild + "/site/models/N95.zip").size());
            else
                QVERIFY(package.size() < QFileInfo(kBuild + "/site/models/N95.zip").size());
            l.tick({"N95"}); // the row is still ticked: untick it for the next round
        }
        QFile after(l.dir + "InstalledModel.xml");
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void uninstallingReportsWhatCouldNotBeDeleted() {
        SiteServer server(kBuild + "/site");
        Launcher l(UnusedHost());
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk); // the offline tip
        l.openManager();
        directui::IList* list = l.installed()->list();
        auto tickRow = [&](int row) { QTest::mouseClick(list->Row(row)->PartAt(0)->Widget(), Qt::LeftButton); };
        directui::ISkinElement* uninstall = l.installed()->element("Btn_Uninstall");
        // A cancelled question deletes nothing and keeps the ticks.
        tickRow(0);
        QVERIFY(uninstall->IsEnabled());
        tickRow(0);
        QVERIFY(!uninstall->IsEnabled()); // nothing ticked, nothing to uninstall
        tickRow(0);
        CTipDlg::SetNextAnswer(CTipDlg::kResultCancel);
        QTest::mouseClick(uninstall->Widget(), Qt::LeftButton);
        QCOMPARE(CTipDlg::LastText(), QString("卸载所选机型？"));
        QVERIFY(QFile::exists(l.dir + "Resource/N70/N70.so"));
        QVERIFY(list->Row(0)->PartAt(2)->GetCheck());
        // A read-only file is no obstacle.
        QFile::setPermissions(l.dir + "Resource/N70/N70_1.png", QFile::ReadOwner);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        QTest::mouseClick(uninstall->Widget(), Qt::LeftButton);
        QCOMPARE(CTipDlg::LastText(), QString("卸载已完成"));
        QVERIFY(!QDir(l.dir + "Resource/N70").exists());
        QCOMPARE(l.installedModels(), QStringList({"E71", "X6"}));
        QVERIFY(!uninstall->IsEnabled());
        // A file that cannot be deleted: both models leave the list, the user is told.
        const QString stuck = l.dir + "Resource/E71/E71_2.png";
        QVERIFY(MakeUndeletable(stuck, true));
        tickRow(0);
        tickRow(1);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        QTest::mouseClick(uninstall->Widget(), Qt::LeftButton);
        MakeUndeletable(stuck, false);
        QCOMPARE(CTipDlg::LastText(), QString("卸载已完成\r\n部分文件无法删除，请手动删除！"));
        QVERIFY(l.installedModels().isEmpty());
        QVERIFY(!QDir(l.dir + "Resource/X6").exists());
        QCOMPARE(list->RowCount(), 0);
        QVERIFY(l.installed()->element("Sta_IM_Empty")->IsVisible());
        QCOMPARE(l.installed()->element("Sta_IM_Empty")->GetText(), QString("尚未安装机型，可在“全部机型”中选择安装"));
        QVERIFY(l.frame->grab().save(test::ScreenshotPath("manager_empty_installed")));
        QVERIFY(gInstalledListChanged.load());
        // The uninstall window as it shows while it works.
        InstalledList none;
        CUninstallDlg window(none, l.frame.get(), l.dir);
        window.show();
        sendMessage(&window, WM_USER, 9);
        QTest::qWait(100);
        QVERIFY(window.grab().save(test::ScreenshotPath("uninstall_progress")));
    }

    // The cancel prompt is up when the connection drops: it turns into the error and stays until
    // the user presses OK. Answering No to it lets the install go on.
    void aFailureWhileTheCancelPromptIsOpenStaysUntilRead() {
        SiteServer server(kBuild + "/site", {"--rate", "100000"});
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        WhenModal([&](QWidget* modal) {
            auto* page = qobject_cast<ProgressPage*>(modal);
            if (!page || page->form()->FindElement("Sta_DownloadCount", 90000)->GetText().isEmpty()) return false;
            Click(page, "Btn_Cancel");
            return true;
        });
        WhenModal([&](QWidget* modal) {
            if (!TipSaying(modal, "取消下载？")) return false;
            server.kill(); // the connection drops while the user reads the question
            return true;
        });
        QPointer<CTipDlg> error;
        bool stayed = false;
        WhenModal([&](QWidget* modal) {
            error = TipSaying(modal, "下载失败，请检查网络连接!");
            if (!error) return false;
            QTimer::singleShot(500, error, [&] {
                stayed = error && error->isVisible() && error->form()->FindElement("Btn_OK", 90000)->IsVisible() &&
                         !error->form()->FindElement("Btn_Yes", 90000)->IsVisible();
                SaveWithModal(l.frame.get(), error, "progress_prompt_became_error");
                Click(error, "Btn_OK");
            });
            return true;
        });
        l.tick({"N95"});
        l.pressInstall(); // returns once the page has closed
        QVERIFY(stayed);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!l.installedModels().contains("N95"));
    }

    void answeringNoLetsTheInstallGoOn() {
        SiteServer server(kBuild + "/site", {"--rate", "400000"});
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        bool between = false;
        WhenModal([&](QWidget* modal) {
            auto* page = qobject_cast<ProgressPage*>(modal);
            if (!page || page->form()->FindElement("Sta_DownloadCount", 90000)->GetText().isEmpty()) return false;
            CTipDlg::SetNextAnswer(CTipDlg::kResultCancel); // "否"
            Click(page, "Btn_Cancel");
            return true;
        });
        // The second model's download begins on a bar at 0, saying which of how many it is.
        WhenModal([&](QWidget* modal) {
            auto* page = qobject_cast<ProgressPage*>(modal);
            if (!page || page->form()->FindElement("Sta_ModelNumber", 90000)->GetText() != "第 2/2 个") return false;
            between = page->form()->FindElement("ProgBar", 90000)->AsProgressBar()->GetPos() < 50;
            SaveWithModal(l.frame.get(), page, "progress_between_two_models");
            return true;
        });
        CloseTheInstallDonePageWhenItShows();
        l.tick({"N95", "N73"});
        {
            // A prompt flag left set after "否" would hold the install for ever, without a tip.
            const test::Deadline install("the install after answering 否", std::chrono::seconds(30));
            l.pressInstall();
        }
        QTRY_VERIFY_WITH_TIMEOUT(l.installedModels().contains("N95") && l.installedModels().contains("N73"), 30000);
        QVERIFY(between);
        QCOMPARE(CTipDlg::LastText(), QString("取消下载？"));
    }

    // An install or an uninstall elsewhere refreshes every page it concerns, and the search box no
    // longer shows a search the list does not apply.
    void aChangeOnOneTabShowsOnTheOther() {
        SiteServer server(kBuild + "/site");
        Launcher l(server.host());
        QVERIFY(l.openManagerWithItsCatalogue());
        CSearchEdit* edit = l.all()->searchEdit();
        l.frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(l.frame.get()));
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        QTest::keyClicks(edit, "e6");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(l.listed(), QStringList({"E63", "E66"}));
        CloseTheInstallDonePageWhenItShows();
        l.tick({"E63", "E66"});
        l.pressInstall();
        QCOMPARE(l.listed().size(), 11); // the whole list again, and the box says so
        QVERIFY(edit->ShowsHint());
        l.clickTab("Tab_RB_InstalledModel");
        directui::IList* installed = l.installed()->list();
        QCOMPARE(installed->RowCount(), 5);
        QCOMPARE(installed->Row(3)->Part("Sta_IM_Item")->GetText(), QString("E63"));
        const QString details = installed->Row(3)->Part("Sta_IM_Detail")->GetText();
        QVERIFY2(details.startsWith("系列：") && details.contains("大小："), qPrintable(details)); // as on the other tab
        QTest::mouseClick(installed->Row(3)->Part("Sta_IM_Detail")->Widget(), Qt::LeftButton); // its details tick it
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
        QTest::mouseClick(l.installed()->element("Btn_Uninstall")->Widget(), Qt::LeftButton);
        QCOMPARE(CTipDlg::LastText(), QString("卸载已完成"));
        l.clickTab("Tab_RB_InstalledModel"); // chosen again, before the other tab
        l.clickTab("Tab_RB_AllModel");
        QVERIFY(l.row("E63")->Part("CB_AL_Item")->IsVisible()); // installable again
        QVERIFY(!l.row("E63")->Part("Sta_AL_Installed")->IsVisible());
        QVERIFY(l.row("E66")->Part("Sta_AL_Installed")->IsVisible());
    }

    void threadsThatCannotStartAreReported() {
        SiteServer server(kBuild + "/site");
        {
            Launcher l(server.host());
            QVERIFY(l.openManagerWithItsCatalogue());
            WorkerThread::FailStartsForTesting(true);
            l.tick({"N95"});
            l.pressInstall();
            QCOMPARE(LastMessageBoxText(), QString("Couldn't create an install thread"));
            QVERIFY(!QApplication::activeModalWidget());
            QVERIFY(!l.installedModels().contains("N95"));
            l.clickTab("Tab_RB_InstalledModel");
            QTest::mouseClick(l.installed()->list()->Row(0)->PartAt(0)->Widget(), Qt::LeftButton);
            CTipDlg::SetNextAnswer(CTipDlg::kResultOk);
            QTest::mouseClick(l.installed()->element("Btn_Uninstall")->Widget(), Qt::LeftButton);
            QCOMPARE(LastMessageBoxText(), QString("Couldn't create an uninstall thread"));
            // Nothing was deleted, so nothing is said to be: the model stays installed and ticked.
            QCOMPARE(CTipDlg::LastText(), QString("卸载所选机型？"));
            QVERIFY(QFile::exists(l.dir + "Resource/N70/N70.so"));
            QVERIFY(l.installedModels().contains("N70"));
            QVERIFY(l.installed()->element("Btn_Uninstall")->IsEnabled());
            WorkerThread::FailStartsForTesting(false);
        }
        // The catalogue's fetch: the wait notice gets its button and says why.
        Launcher l(server.host());
        bool closable = false;
        WhenModal([&](QWidget* modal) {
            auto* tip = qobject_cast<CTipDlg*>(modal);
            if (!tip || !tip->form()->FindElement("Btn_OK", 90000)->IsVisible()) return false;
            closable = tip->text().contains("无法创建获取机型列表的线程");
            Click(tip, "Btn_OK");
            return true;
        });
        WorkerThread::FailStartsForTesting(true);
        l.openManager();
        QTRY_VERIFY_WITH_TIMEOUT(closable && !QApplication::activeModalWidget(), 20000);
        WorkerThread::FailStartsForTesting(false);
        QVERIFY(!l.manager()->fetchSucceeded());
        QCOMPARE(l.all()->listWindow()->emptyText(), QString("获取机型列表失败，点击“全部机型”重试"));
    }

    // On 800 x 600 the manager opens at its top, whatever the phone page was scrolled to, and
    // shows its buttons without a scroll bar of the window.
    void theManagerFitsAnEightHundredBySixHundredScreen() {
        SiteServer server(kBuild + "/site");
        Launcher l(server.host());
        l.frame->FitToScreen(QRect(0, 0, 800, 600));
        auto* area = l.frame->view()->findChild<QScrollArea*>("PageArea");
        QTRY_VERIFY(area->verticalScrollBar()->maximum() > 0); // the phone page is taller
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        QVERIFY(l.openManagerWithItsCatalogue());
        QTRY_COMPARE(area->verticalScrollBar()->maximum(), 0);
        QCOMPARE(area->verticalScrollBar()->value(), 0);
        for (const char* name : {"Btn_Install", "Btn_AllModel2Main"}) {
            QWidget* button = l.all()->element(name)->Widget();
            const QRect inWindow(button->mapTo(l.frame.get(), QPoint(0, 0)), button->size());
            QVERIFY2(l.frame->rect().contains(inWindow), name);
        }
        QWidget* tab = l.manager()->element("Tab_RB_AllModel")->Widget();
        QVERIFY(tab->mapTo(l.frame.get(), QPoint(0, 0)).y() >= kCaptionHeight);
        QVERIFY(test::SaveScreenshot(l.frame.get(), "manager_800x600_top"));
        auto* list = qobject_cast<QScrollArea*>(l.all()->listWindow()->element("LV_AllList")->Widget());
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        QVERIFY(test::SaveScreenshot(l.frame.get(), "manager_800x600_bottom"));
    }

    // The catalogue at its full size: the end of the list is reached by scrolling, and its last
    // model ticked, installed and shown on the install-done page. The thumbnails are cached already.
    void theLastOfTenThousandModelsIsInstalled() {
        constexpr int kModels = 10000;
        const QString last = QString("M%1").arg(kModels - 1, 5, 10, QChar('0'));
        QTemporaryDir site;
        CopyTree(kBuild + "/site", site.path());
        WriteLongCatalogue(site.path(), kModels);
        SiteServer server(site.path());
        Launcher l(server.host());
        // Second names of one copy: ten thousand copies would cost the test most of its time.
        const QString thumbnail = l.tmp + "thumbnail.png";
        QVERIFY(QFile::copy(kSuite + "/Resource/N70/N70_S.png", thumbnail));
        for (int i = 0; i < kModels; ++i)
            QVERIFY(link(QFile::encodeName(thumbnail).constData(),
                         QFile::encodeName(l.tmp + QString("~TAVIX_M%1.png").arg(i, 5, 10, QChar('0'))).constData()) == 0);
        QVERIFY(l.openManagerWithItsCatalogue());
        directui::IList* list = l.all()->listWindow()->list();
        QCOMPARE(list->RowCount(), kModels);
        auto* area = qobject_cast<QScrollArea*>(l.all()->listWindow()->element("LV_AllList")->Widget());
        for (const QRect screen : {QRect(0, 0, 1280, 1024), QRect(0, 0, 800, 600)}) {
            l.frame->FitToScreen(screen);
            l.frame->resize(screen.size()); // as the user makes it fill the screen
            const QString size = QString("%1x%2").arg(screen.width()).arg(screen.height());
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum() / 2);
            QVERIFY(test::SaveScreenshot(l.frame.get(), "manager_10000_middle_" + size));
            QTest::keyClick(area, Qt::Key_End);
            QVERIFY(test::SaveScreenshot(l.frame.get(), "manager_10000_end_" + size));
        }
        directui::IListRow* row = list->MadeRow(kModels - 1); // reached on the small screen
        QVERIFY(row);
        QCOMPARE(row->Part("Sta_AL_Name")->GetText(), last);
        QWidget* picture = row->Part("Lgo_AL_Item")->Widget();
        QVERIFY(picture);
        QVERIFY(area->viewport()->rect().contains(QRect(picture->mapTo(area->viewport(), QPoint(0, 0)), picture->size())));
        QTRY_VERIFY(!qobject_cast<QLabel*>(picture)->pixmap().isNull());
        QTest::mouseClick(picture, Qt::LeftButton);
        QVERIFY(row->Part("CB_AL_Item")->GetCheck());
        QString shownAsDone;
        WhenModal([&](QWidget* modal) {
            auto* done = qobject_cast<InstallDonePage*>(modal);
            if (!done) return false;
            shownAsDone = done->list()->Row(0)->Part("Sta_Item1")->GetText();
            Click(done, "Btn_InstallDone_Close");
            return true;
        });
        l.pressInstall();
        QTRY_COMPARE_WITH_TIMEOUT(shownAsDone, last, 30000);
        QCOMPARE(l.installedModels().last(), last);
        QFile recorded(l.dir + "InstalledModel.xml");
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        QVERIFY(recorded.readAll().contains(last.toUtf8()));
        QVERIFY(QFile::exists(l.dir + "Resource/" + last + "/N70.so"));
    }

    void theInstallDoneGridHasARowPerThreeModels() {
        QTemporaryDir dir;
        OfferedList models;
        for (int n = 1; n <= 7; ++n) {
            COfferedModel m;
            m.model = "M" + std::to_string(n);
            QDir().mkpath(dir.path() + "/Resource/" + QString::fromStdString(m.model));
            QFile::copy(kSuite + "/Resource/N70/N70_S.png", dir.path() + "/Resource/" + QString::fromStdString(m.model) + "/" +
                                                              QString::fromStdString(m.model) + "_S.png");
            models.push_back(m);
            InstallDonePage done(models, nullptr, dir.path() + "/");
            directui::IList* grid = done.list();
            QCOMPARE(grid->RowCount(), (n + 2) / 3);
            directui::IListRow* last = grid->Row(grid->RowCount() - 1);
            const int cells = n < 3 ? n : 3, shown = n < 3 ? n : (n - 1) % 3 + 1;
            for (int cell = 0; cell < cells; ++cell)
                QCOMPARE(last->Part(QString("Lgo_InstallDone_Item%1").arg(cell + 1))->IsVisible(), cell < shown);
            // The picture at its own size, centred, never stretched to the cell.
            auto* picture = qobject_cast<QLabel*>(grid->Row(0)->Part("Lgo_InstallDone_Item1")->Widget());
            QTRY_COMPARE(picture->pixmap().deviceIndependentSize().toSize(), QImage(kSuite + "/Resource/N70/N70_S.png").size());
            if (n == 4) {
                for (int r = 0; r < grid->RowCount(); ++r)
                    for (int cell = 1; cell <= 3; ++cell)
                        if (auto* shown = qobject_cast<QLabel*>(grid->Row(r)->Part(QString("Lgo_InstallDone_Item%1").arg(cell))->Widget());
                            shown && shown->isVisibleTo(&done))
                            QTRY_VERIFY(!shown->pixmap().isNull()); // pictures are read on a pool thread
                done.show();
                QVERIFY(done.grab().save(test::ScreenshotPath("install_done_natural_size")));
            }
        }
    }
};

} // namespace pavoline

QTEST_MAIN(pavoline::ModelManagerTest)
#include "model_manager_test.moc"

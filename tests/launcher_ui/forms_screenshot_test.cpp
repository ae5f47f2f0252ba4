// Every form of the launcher rendered with sample content; the pictures go to build/screenshots.
#include "owner_drawn.h"
#include "skin_test_support.h"

#include <QLabel>
#include <QSet>
#include <QTest>
#include <QThreadPool>

namespace pavoline {

using directui::ISkinForm;

class FormsScreenshotTest : public QObject {
    Q_OBJECT

    QString icon_ = QString(PAVOLINE_SOURCE_DIR) + "/tests/data/samples/phone_icon.png";
    QString suite_ = QString(PAVOLINE_SUITE_DIR);

    struct Shot {
        test::HostWindow host;
        ISkinForm* form = nullptr;
        explicit Shot(const char* name) {
            form = test::LoadSuiteSkin()->CreateForm(name, &host);
            host.resize(form->Root()->size());
        }
        directui::ISkinElement* e(const char* name) { return form->FindElement(name, 90000); }
        void save(const char* name) {
            host.show();
            QVERIFY(QTest::qWaitForWindowExposed(&host));
            // The pictures of rows are read on a pool thread and set from the event loop.
            QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
            QCoreApplication::processEvents();
            const QImage shot = host.grab().toImage();
            // Run again at scale 2 (QT_SCALE_FACTOR), the pictures get their own names.
            QVERIFY(shot.save(test::ScreenshotPath(name + QString(qApp->devicePixelRatio() > 1 ? "_scale2" : ""))));
            // Something was drawn: more than a background and a frame.
            QSet<QRgb> colours;
            for (int y = 0; y < shot.height() && colours.size() <= 16; y += 3)
                for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
            QVERIFY(colours.size() > 16);
        }
    };

private slots:
    void initTestCase() { test::LoadSuiteSkin(); }

    void phoneSelect() {
        Shot s("DUI_PhoneSelect");
        const int offsets[3] = {-304, 0, 304};
        const char* frames[3] = {"Btn_Frame1", "Btn_Frame2", "Btn_Frame3"};
        for (int i = 0; i < 3; ++i) {
            s.e(frames[i])->SetLayoutOffset(offsets[i]);
            s.e(frames[i])->SetStateImage(0, icon_);
        }
        directui::ScrollInfo info;
        info.max = 7;
        info.page = 3;
        info.disableNoScroll = true;
        s.e("SB_Phoneselect")->AsScrollBar()->SetScrollInfo(info, true);
        s.e("Sta_NewVersionIcon")->SetVisible(-1);
        s.save("DUI_PhoneSelect");
        // On a dense screen the skin's own pictures come from their @2x files, drawn sharp.
        auto* mark = qobject_cast<QLabel*>(s.e("Sta_NewVersionIcon")->Widget());
        QCOMPARE(mark->pixmap().devicePixelRatio(), qApp->devicePixelRatio() > 1 ? 2.0 : 1.0);
        QCOMPARE(mark->pixmap().deviceIndependentSize().toSize(), QSize(38, 20));
    }

    void modelManageWithAllModels() {
        Shot manage("DUI_ModelManage");
        manage.e("Tab_RB_AllModel")->SetCheck(true);
        auto* allModel = new test::HostWindow;
        ISkinForm* page = test::LoadSuiteSkin()->CreateForm("DUI_AllModel", allModel);
        allModel->resize(page->Root()->size());
        for (const char* box : {"Com_Family", "Com_Style"}) {
            page->FindElement(box, 90000)->AsComboBox()->AddString("全部");
            page->FindElement(box, 90000)->AsComboBox()->SetCurSel(0);
        }
        page->FindElement("HndObj_Search", 90000)->AsHost()->PutWindow(new CSearchEdit);
        auto* container = new test::HostWindow;
        ISkinForm* listForm = test::LoadSuiteSkin()->CreateForm("DUI_AllListContainer", container);
        directui::IList* list = listForm->FindElement("LV_AllList", 90000)->AsList();
        for (int i = 0; i < 6; ++i) {
            directui::IListRow* row = list->AddRow("UIF_LV_AllList");
            row->PartAt(0)->SetStateImage(0, suite_ + "/empty_list.png");
            row->PartAt(1)->SetVisible(i % 3 == 0 ? -1 : 0);
            row->PartAt(2)->SetCheck(i == 1);
        }
        page->FindElement("HndObj_AllListContainer", 90000)->AsHost()->PutWindow(container);
        page->FindElement("Btn_Install", 90000)->Enable(true);
        manage.e("HndObj_Model")->AsHost()->PutWindow(allModel);
        manage.save("DUI_ModelManage");
        Shot all("DUI_AllModel");
        all.save("DUI_AllModel");
        Shot container2("DUI_AllListContainer");
        directui::IList* list2 = container2.e("LV_AllList")->AsList();
        for (int i = 0; i < 4; ++i) list2->AddRow("UIF_LV_AllList")->PartAt(0)->SetStateImage(0, icon_);
        container2.save("DUI_AllListContainer");
    }

    void installedModels() {
        Shot s("DUI_InstalledModel");
        directui::IList* list = s.e("LV_InstalledModel")->AsList();
        const char* names[] = {"N70  240x320  1.50M", "E71  320x240  2.25M", "X6  360x640  3.10M"};
        for (const char* name : names) {
            directui::IListRow* row = list->AddRow("UIF_LV_InstalledModel");
            row->PartAt(0)->SetStateImage(0, icon_);
            row->PartAt(1)->SetText(QString::fromUtf8(name));
        }
        list->Row(1)->PartAt(2)->SetCheck(true);
        s.save("DUI_InstalledModel");
        Shot u("DUI_Uninstall");
        u.e("Uninstall_ProgBar")->AsProgressBar()->SetRange(0, 100);
        u.e("Uninstall_ProgBar")->AsProgressBar()->SetPos(40);
        u.save("DUI_Uninstall");
    }

    void progressAndDone() {
        Shot p("DUI_Progress");
        p.e("Sta_Status")->SetText("正在下载（N70）");
        p.e("Sta_DownloadCount")->SetText("1.25M/3.50M");
        p.e("ProgBar")->AsProgressBar()->SetPos(35);
        p.save("DUI_Progress");
        Shot d("DUI_InstallDone");
        directui::IList* list = d.e("LV_InstallDone")->AsList();
        directui::IListRow* row = list->AddRow("UIF_LV_InstallDone_3Item");
        const char* models[] = {"N70", "E71", "X6"};
        for (int i = 0; i < 3; ++i) {
            const QString small = suite_ + "/Resource/" + models[i] + "/" + models[i] + "_S.png";
            row->Part(QString("Lgo_InstallDone_Item%1").arg(i + 1))->SetStateImage(0, small);
            row->Part(QString("Sta_Item%1").arg(i + 1))->SetText(models[i]);
        }
        directui::IListRow* last = list->AddRow("UIF_LV_InstallDone_3Item");
        last->Part("Lgo_InstallDone_Item1")->SetStateImage(0, suite_ + "/Resource/N70/N70_S.png");
        last->Part("Sta_Item1")->SetText("C5");
        for (const char* hidden : {"Lgo_InstallDone_Item2", "Sta_Item2", "Lgo_InstallDone_Item3", "Sta_Item3"})
            last->Part(hidden)->SetVisible(0);
        d.save("DUI_InstallDone");
    }
};

} // namespace pavoline

QTEST_MAIN(pavoline::FormsScreenshotTest)
#include "forms_screenshot_test.moc"

#include "skin_test_support.h"

#include "worker_thread.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>

namespace pavoline {

using directui::ISkinElement;
using directui::ISkinForm;
using test::HostWindow;

class SkinTest : public QObject {
    Q_OBJECT
private:
    directui::ISkin* skin_ = nullptr;
    QString icon_ = QString(PAVOLINE_SOURCE_DIR) + "/tests/data/samples/phone_icon.png";

private slots:
    void initTestCase() { skin_ = test::LoadSuiteSkin(); }

    void everyFormOfTheLauncherExists() {
        for (const char* name : {"DUI_PhoneSelect", "DUI_Tip", "DUI_ModelManage", "DUI_AllModel", "DUI_AllListContainer",
                                 "DUI_InstalledModel", "DUI_Uninstall", "DUI_Progress", "DUI_InstallDone"}) {
            HostWindow host;
            QVERIFY2(skin_->CreateForm(name, &host), name);
        }
        HostWindow host;
        QVERIFY(!skin_->CreateForm("DUI_None", &host));
    }

    void unknownElementsDoNothing() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_Tip", &host);
        ISkinElement* missing = form->FindElement("Btn_Missing", 90000);
        QVERIFY(missing);
        QCOMPARE(form->FindElement("Btn_Missing", 90000), missing);
        missing->SetVisible(-1);
        missing->SetText("x");
        missing->AsScrollBar()->SetScrollPos(3, true);
        missing->AsList()->AddRow("UIF_LV_AllList");
        QCOMPARE(missing->GetText(), QString());
        QVERIFY(!missing->Widget());
        // A label asked for a scroll bar gets the stand-in too.
        QCOMPARE(form->FindElement("Sta_tip", 90000)->AsScrollBar()->GetScrollPos(), 0);
    }

    void visibilityTextCheckAndEnable() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_PhoneSelect", &host);
        ISkinElement* mark = form->FindElement("Sta_NewVersionIcon", 90000);
        QVERIFY(!mark->IsVisible());
        mark->SetVisible(-1);
        QVERIFY(mark->IsVisible());
        mark->SetVisible(0);
        QVERIFY(!mark->IsVisible());
        ISkinElement* prompt = form->FindElement("Sta_PlsSelect", 90000);
        prompt->SetText("选择");
        QCOMPARE(prompt->GetText(), QString("选择"));
        ISkinElement* manager = form->FindElement("Btn_PhoneManager", 90000);
        manager->Enable(false);
        QVERIFY(!manager->IsEnabled());
        HostWindow tabs;
        ISkinForm* manage = skin_->CreateForm("DUI_ModelManage", &tabs);
        ISkinElement* all = manage->FindElement("Tab_RB_AllModel", 90000);
        ISkinElement* installed = manage->FindElement("Tab_RB_InstalledModel", 90000);
        all->SetCheck(true);
        installed->SetCheck(true);
        QVERIFY(!all->GetCheck()); // tabs are exclusive
        QVERIFY(installed->GetCheck());
    }

    void clicksArriveAsSkinClickWithTheElement() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_Tip", &host);
        ISkinElement* ok = form->FindElement("Btn_OK", 90000);
        QTest::mouseClick(ok->Widget(), Qt::LeftButton);
        QCOMPARE(host.messages.size(), size_t(1));
        QCOMPARE(host.messages[0].message, WM_SKIN_CLICK);
        QCOMPARE(host.messages[0].wParam, reinterpret_cast<WPARAM>(ok));
    }

    void aWiderHostShowsTheFormCentred() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_Tip", &host);
        host.resize(form->Root()->size());
        host.show(); // a hidden widget gets its resize events when shown
        QCOMPARE(form->Root()->pos(), QPoint(0, 0));
        host.resize(form->Root()->width() + 200, form->Root()->height());
        QCOMPARE(form->Root()->pos(), QPoint(100, 0));
    }

    void stateImagesAndLayoutOffsets() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_PhoneSelect", &host);
        ISkinElement* frame = form->FindElement("Btn_Frame1", 90000);
        const QPoint base = frame->Widget()->pos();
        frame->SetLayoutOffset(-304);
        QCOMPARE(frame->GetLayoutOffset(), -304);
        QCOMPARE(frame->Widget()->pos(), base - QPoint(304, 0));
        frame->SetLayoutOffset(0);
        QCOMPARE(frame->Widget()->pos(), base);
        frame->SetStateImage(0, icon_);
        frame->SetStateImage(4, icon_);
        form->FindElement("UIF_Btn", 90000)->Relayout();
    }

    void scrollBarSettingsAndNotifications() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_PhoneSelect", &host);
        directui::IScrollBar* bar = form->FindElement("SB_Phoneselect", 90000)->AsScrollBar();
        auto* widget = qobject_cast<QScrollBar*>(form->FindElement("SB_Phoneselect", 90000)->Widget());
        QVERIFY(widget);
        directui::ScrollInfo info;
        info.max = 7;
        info.page = 3;
        info.disableNoScroll = true;
        bar->SetScrollInfo(info, true);
        QCOMPARE(widget->maximum(), 5); // positions 0..N-3
        QVERIFY(widget->isEnabled());
        bar->SetScrollPos(2, true);
        QCOMPARE(bar->GetScrollPos(), 2);
        QVERIFY(host.messages.empty()); // setting from code notifies nothing
        const std::vector<std::pair<QAbstractSlider::SliderAction, WPARAM>> actions = {
            {QAbstractSlider::SliderSingleStepSub, 0}, {QAbstractSlider::SliderSingleStepAdd, 1},
            {QAbstractSlider::SliderPageStepSub, 2}, {QAbstractSlider::SliderPageStepAdd, 3}};
        for (const auto& [action, code] : actions) {
            host.messages.clear();
            widget->triggerAction(action);
            QCOMPARE(host.messages.size(), size_t(1));
            QCOMPARE(host.messages[0].message, WM_SKIN_SCROLL);
            QCOMPARE(host.messages[0].wParam, code);
            QCOMPARE(host.messages[0].lParam, LPARAM(2)); // the position before; the host moves the bar
            QCOMPARE(bar->GetScrollPos(), 2);
        }
        host.messages.clear();
        widget->setSliderDown(true);
        widget->setSliderPosition(4);
        widget->setSliderDown(false);
        QVERIFY(!host.messages.empty());
        QCOMPARE(host.messages.back().wParam, WPARAM(4));
        QCOMPARE(host.messages.back().lParam, LPARAM(4));
        info.max = 2;
        bar->SetScrollInfo(info, true);
        QVERIFY(!widget->isEnabled()); // the page covers the range: disabled, not hidden
    }

    void comboBoxOperationsAndNotifications() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_AllModel", &host);
        ISkinElement* family = form->FindElement("Com_Family", 90000);
        directui::IComboBox* box = family->AsComboBox();
        box->AddString("全部系列");
        box->AddString("N");
        box->SetCurSel(0);
        QVERIFY(host.messages.empty());
        QCOMPARE(box->GetCount(), 2);
        QCOMPARE(box->GetItemText(1), QString("N"));
        auto* combo = qobject_cast<QComboBox*>(family->Widget());
        QCOMPARE(combo->view()->objectName(), QString("PopupSingleList_ComboBox"));
        combo->setCurrentIndex(1); // as the user would pick it from the list
        emit combo->activated(1);
        emit combo->activated(1); // the same entry again is another choice
        QCOMPARE(host.messages.size(), size_t(2));
        host.messages.erase(host.messages.begin());
        QCOMPARE(host.messages[0].message, WM_SKIN_SELCHANGE);
        QCOMPARE(host.messages[0].wParam, reinterpret_cast<WPARAM>(family));
        QCOMPARE(box->GetCurSel(), 1);
        host.show();
        combo->showPopup();
        QCOMPARE(host.messages.size(), size_t(2));
        QCOMPARE(host.messages[1].message, WM_SKIN_POPUP);
        QVERIFY(combo->view()->isVisible());
        box->ClosePopup();
        QVERIFY(!combo->view()->isVisible());
        box->Empty();
        QCOMPARE(box->GetCount(), 0);
    }

    void listRowsFromTemplatesReportClickedParts() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_InstalledModel", &host);
        directui::IList* list = form->FindElement("LV_InstalledModel", 90000)->AsList();
        QVERIFY(!list->AddRow("UIF_Unknown"));
        for (int i = 0; i < 3; ++i) list->AddRow("UIF_LV_InstalledModel");
        QCOMPARE(list->RowCount(), 3);
        directui::IListRow* row = list->Row(1);
        QCOMPARE(row->Index(), 1);
        QCOMPARE(row->PartCount(), 4);
        QCOMPARE(row->PartAt(0)->Name(), QString("Lgo_IM_Item"));
        QCOMPARE(row->PartAt(2)->Name(), QString("CB_IM_Item"));
        row->PartAt(1)->SetText("N70");
        QCOMPARE(row->Part("Sta_IM_Item")->GetText(), QString("N70"));
        host.show();
        QTest::mouseClick(row->Part("Lgo_IM_Item")->Widget(), Qt::LeftButton);
        QCOMPARE(host.messages.size(), size_t(1));
        QCOMPARE(host.messages[0].message, WM_SKIN_LISTITEM);
        QCOMPARE(host.messages[0].listRow, 1);
        QCOMPARE(host.messages[0].listPart, QString("Lgo_IM_Item"));
        row->Part("CB_IM_Item")->SetCheck(true);
        QVERIFY(row->Part("CB_IM_Item")->GetCheck());
        list->RemoveAll();
        QCOMPARE(list->RowCount(), 0);
        QVERIFY(!list->Row(0));
    }

    // A model's picture is decoded away from the window's thread and fitted to its label; of two
    // asked for in a row only the last arrives.
    void modelPicturesArriveWithoutHoldingUpTheWindow() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_InstalledModel", &host);
        directui::IListRow* row = form->FindElement("LV_InstalledModel", 90000)->AsList()->AddRow("UIF_LV_InstalledModel");
        auto* label = qobject_cast<QLabel*>(row->PartAt(0)->Widget());
        QTemporaryDir dir;
        const QString large = dir.filePath("large.png");
        QImage picture(1024, 1024, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(large));
        row->PartAt(0)->SetStateImage(0, icon_);
        row->PartAt(0)->SetStateImage(0, large);
        QVERIFY(label->pixmap().isNull()); // it comes through the event loop, later
        QTRY_VERIFY(!label->pixmap().isNull());
        QVERIFY(label->pixmap().width() <= label->contentsRect().width());
        QCOMPARE(label->pixmap().toImage().pixelColor(10, 10), QColor(Qt::darkCyan));
        QThreadPool::globalInstance()->waitForDone(); // both decoded and delivered: the first must not win
        QCoreApplication::processEvents();
        QCOMPARE(label->pixmap().toImage().pixelColor(10, 10), QColor(Qt::darkCyan));
    }

    // A long list has widgets for the rows in view only, and each shows its own row's picture: one
    // read for a widget's row before it moved on to another row is dropped when it arrives.
    void aLongListShowsEachRowItsOwnPicture() {
        HostWindow host;
        host.resize(993, 615);
        ISkinForm* form = skin_->CreateForm("DUI_InstalledModel", &host);
        directui::IList* list = form->FindElement("LV_InstalledModel", 90000)->AsList();
        QTemporaryDir dir;
        constexpr int kRows = 120;
        auto colour = [](int row) { return QColor::fromHsv(row * 3, 200, 200); };
        auto picture = [&](int row) { return dir.filePath(QString("%1.png").arg(row)); };
        auto draw = [&](int row, int side) {
            QImage image(side, side, QImage::Format_RGB32);
            image.fill(colour(row));
            return image.save(picture(row));
        };
        for (int row = 0; row < kRows; ++row) QVERIFY(draw(row, 60));
        list->SetRows("UIF_LV_InstalledModel", kRows, [&](directui::IListRow* row) {
            row->PartAt(0)->SetStateImage(0, picture(row->Index()));
            row->PartAt(1)->SetText(QString::number(row->Index()));
        });
        list->ScrollToRow(kRows - 1);
        host.show();
        auto* area = qobject_cast<QScrollArea*>(form->FindElement("LV_InstalledModel", 90000)->Widget());
        QScrollBar* bar = area->verticalScrollBar();
        auto settle = [] {
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
        };
        settle(); // the last rows' pictures are read and kept: shown at once from now on
        QVERIFY(draw(0, 3000)); // the first row's picture changed, and slow to read
        bar->setValue(0);
        bar->setValue(bar->maximum()); // the first row's widget now shows a last row, while its picture is read
        settle();
        QVERIFY(area->findChildren<QLabel*>("Lgo_IM_Item").size() <= 8);
        int shown = 0;
        for (int i = 0; i < kRows; ++i) {
            directui::IListRow* row = list->MadeRow(i);
            auto* label = row ? qobject_cast<QLabel*>(row->PartAt(0)->Widget()) : nullptr;
            if (!label) continue;
            ++shown;
            QCOMPARE(qobject_cast<QLabel*>(row->PartAt(1)->Widget())->text(), QString::number(i));
            QCOMPARE(label->pixmap().toImage().pixelColor(10, 10).rgb(), colour(i).rgb());
        }
        QVERIFY(shown >= 5);
    }

    void hostTakesAndGivesWindows() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_ModelManage", &host);
        directui::IHost* holder = form->FindElement("HndObj_Model", 90000)->AsHost();
        auto* page = new QLabel("page");
        holder->PutWindow(page);
        QCOMPARE(page->parentWidget(), form->FindElement("HndObj_Model", 90000)->Widget());
        QCOMPARE(holder->TakeWindow(), page);
        QVERIFY(page->isHidden());
        QVERIFY(!holder->TakeWindow());
        // Emptying hides the window it held; the page lives on for whoever keeps it.
        QPointer<QLabel> kept = page;
        holder->PutWindow(page);
        holder->Empty();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(kept);
        QVERIFY(kept->isHidden());
    }

    void progressFromAWorkerReachesTheBar() {
        HostWindow host;
        ISkinForm* form = skin_->CreateForm("DUI_Progress", &host);
        directui::IProgressBar* bar = form->FindElement("ProgBar", 90000)->AsProgressBar();
        bar->SetRange(0, 100);
        WorkerThread worker;
        worker.start([bar] { bar->SetPos(57); });
        worker.waitServingSends();
        QTRY_COMPARE(bar->GetPos(), 57);
        bar->SetDisplaySettings(2, 35);
        bar->StartBusy();
        auto* widget = qobject_cast<QProgressBar*>(form->FindElement("ProgBar", 90000)->Widget());
        QCOMPARE(widget->maximum(), 0);
    }
};

} // namespace pavoline

QTEST_MAIN(pavoline::SkinTest)
#include "skin_test.moc"

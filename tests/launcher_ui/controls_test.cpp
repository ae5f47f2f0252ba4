#include "all_models.h"
#include "install_done.h"
#include "installed_models.h"
#include "owner_drawn.h"
#include "phone_select.h"
#include "skin_test_support.h"
#include "tip_dialog.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace pavoline {

class ControlsTest : public QObject {
    Q_OBJECT

    // Runs the tip modally and, once it shows, lets act press or update something in it.
    int runTip(CTipDlg& tip, const std::function<void()>& act) {
        QTimer::singleShot(0, &tip, [&tip, act] {
            act();
            if (tip.isVisible()) tip.done(0); // a failed check must not leave the dialog open
        });
        return tip.exec();
    }
    static bool shown(CTipDlg& tip, const char* name) { return tip.form()->FindElement(name, 90000)->IsVisible(); }
    static void click(CTipDlg& tip, const char* name) {
        QTest::mouseClick(tip.form()->FindElement(name, 90000)->Widget(), Qt::LeftButton);
    }

private slots:
    void initTestCase() { test::LoadSuiteSkin(); }

    void tipButtonSetsShowTheirButtons() {
        struct Case {
            int set, close;
            bool ok, yes, closeShown;
        };
        for (const Case& c : {Case{2, 1, true, false, true}, Case{1, 0, false, true, false}, Case{3, 0, false, true, false},
                              Case{0, 0, false, false, false}, Case{4, 0, false, false, false}}) {
            CTipDlg tip;
            tip.Set("提示文字", c.set, c.close);
            runTip(tip, [&] {
                QCOMPARE(shown(tip, "Btn_OK"), c.ok);
                QCOMPARE(shown(tip, "Btn_Yes"), c.yes);
                QCOMPARE(shown(tip, "Btn_No"), c.yes);
                QCOMPARE(shown(tip, "Btn_Close"), c.closeShown);
                QCOMPARE(tip.form()->FindElement("Sta_tip", 90000)->GetText(), QString("提示文字"));
                tip.done(CTipDlg::kResultOk);
            });
        }
    }

    void tipResultsFollowTheButtons() {
        for (const auto& [name, set, result] : {std::tuple{"Btn_OK", 2, 1}, std::tuple{"Btn_Yes", 1, 1},
                                                 std::tuple{"Btn_No", 1, 2}, std::tuple{"Btn_Close", 1, 1}}) {
            CTipDlg tip;
            tip.Set("q", set, 1);
            QCOMPARE(runTip(tip, [&] { click(tip, name); }), result); // a question closed by the close button is OK
        }
    }

    void tipUpdateReplacesTextAndButtons() {
        CTipDlg tip;
        tip.Set("取消下载？", 1, 0);
        const int result = runTip(tip, [&] {
            const QString working = "正在处理";
            QCOMPARE(sendMessage(&tip, WM_TIP_UPDATE, reinterpret_cast<WPARAM>(&working), 0), LRESULT(1));
            QVERIFY(!shown(tip, "Btn_OK"));
            QVERIFY(!shown(tip, "Btn_Yes"));
            QVERIFY(!shown(tip, "Btn_Close")); // keeps its state
            const QString failed = "下载失败，请检查网络连接!";
            sendMessage(&tip, WM_TIP_UPDATE, reinterpret_cast<WPARAM>(&failed), 1);
            QVERIFY(shown(tip, "Btn_OK"));
            QVERIFY(shown(tip, "Btn_Close"));
            QVERIFY(!shown(tip, "Btn_No"));
            QCOMPARE(tip.form()->FindElement("Sta_tip", 90000)->GetText(), failed);
            QVERIFY(tip.grab().save(test::ScreenshotPath("DUI_Tip")));
            click(tip, "Btn_OK");
        });
        QCOMPARE(result, 1);
    }

    void tipIgnoresKeysAndClosesOnlyWhereItShowsAClose() {
        for (int closeButton : {1, 0}) {
            CTipDlg tip;
            tip.Set("正在连接服务器，请稍候……", closeButton ? 2 : 4, closeButton);
            const int result = runTip(tip, [&] {
                QWidget* ok = tip.form()->FindElement("Btn_OK", 90000)->Widget();
                for (QWidget* target : {static_cast<QWidget*>(&tip), ok})
                    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
                        QTest::keyClick(target, Qt::Key(key));
                QVERIFY(tip.isVisible());
                tip.close(); // the window manager's close, Alt+F4
                QCOMPARE(tip.isVisible(), !closeButton);
                if (tip.isVisible()) tip.done(7);
            });
            QCOMPARE(result, closeButton ? 1 : 7);
        }
    }

    void aLongTextGrowsTheTipUntilItFits() {
        CTipDlg tip;
        const QString text = "无法加载机型插件：/home/designer/" + QString(160, 'x') + "/Resource/N70/N70.so\n原因";
        tip.Set(text, 2, 1);
        runTip(tip, [&] {
            auto* label = qobject_cast<QLabel*>(tip.form()->FindElement("Sta_tip", 90000)->Widget());
            const QRect needed = QFontMetrics(label->font()).boundingRect(QRect(0, 0, label->width() - 2, 100000),
                                                                           Qt::AlignCenter | Qt::TextWrapAnywhere, text);
            QVERIFY(needed.height() <= label->height());
            QWidget* ok = tip.form()->FindElement("Btn_OK", 90000)->Widget();
            QVERIFY(ok->y() > label->geometry().bottom());
            QVERIFY(tip.rect().contains(ok->geometry()));
            const QImage shot = tip.grab().toImage();
            QVERIFY(shot.save(test::ScreenshotPath("DUI_Tip_long")));
            // The rounded corners are cut away, never painted black.
            QVERIFY(shot.pixelColor(0, 0) != QColor(Qt::black));
            QVERIFY(shot.pixelColor(tip.width() / 2, tip.height() / 2) != QColor(Qt::black));
        });
    }

    void tipAnswersCanBeQueuedByTests() {
        CTipDlg::SetNextAnswer(CTipDlg::kResultCancel);
        CTipDlg tip;
        tip.Set("要升级吗？", 1, 0);
        QCOMPARE(tip.exec(), 2);
        QCOMPARE(CTipDlg::LastText(), QString("要升级吗？"));
    }

    void stripButtonChoosesItsState() {
        QWidget parent;
        CButtonExt button(&parent);
        button.move(40, 10);
        button.resize(77, 33);
        QCOMPARE(button.size(), QSize(77, 33)); // no picture: keeps its size
        QPixmap strip(120, 24);
        strip.fill(Qt::red);
        button.SetPicture(strip);
        QCOMPARE(button.size(), QSize(30, 24));
        QCOMPARE(button.pos(), QPoint(40, 10));
        parent.show();
        QCOMPARE(button.StateIndex(), 0);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(45, 15));
        QApplication::sendEvent(&button, &enter);
        QCOMPARE(button.StateIndex(), 1);
        button.setDown(true);
        QCOMPARE(button.StateIndex(), 2);
        button.setDown(false);
        button.setEnabled(false); // the disabled picture, unless pressed
        QCOMPARE(button.StateIndex(), 3);
        button.setDown(true);
        QCOMPARE(button.StateIndex(), 2);
        button.setDown(false);
        button.setEnabled(true);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QCOMPARE(button.StateIndex(), 0);
        int clicks = 0;
        connect(&button, &QPushButton::clicked, [&] { ++clicks; });
        // A double click arrives as press, release, double-click, release: two presses.
        const QPointF at(10, 10);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, button.mapToGlobal(at), type == QEvent::MouseButtonRelease ? Qt::LeftButton : Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&button, &event);
        }
        QCOMPARE(clicks, 2);
        button.SetToolTipText("最小化");
        QCOMPARE(button.ToolTipText(), QString("最小化"));
    }

    void searchEditPlaceholderAndFocus() {
        QWidget window;
        CSearchEdit edit(&window);
        QLineEdit other(&window);
        other.move(0, 40);
        QCOMPARE(edit.text(), QString(CSearchEdit::kPlaceholder));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        edit.setFocus();
        QTRY_VERIFY(edit.hasFocus());
        QCOMPARE(edit.text(), QString());
        QTest::keyClicks(&edit, "N70");
        other.setFocus();
        QTRY_VERIFY(other.hasFocus());
        QCOMPARE(edit.text(), QString("N70")); // kept while not empty
        // The context menu takes the focus and gives it back as it closes: the text stays, and its
        // "全选" selects it.
        QTimer::singleShot(50, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* action : menu->actions())
                if (action->data().toInt() == CSearchEdit::kSelectAll) action->trigger();
            menu->close();
        });
        QContextMenuEvent menuAsked(QContextMenuEvent::Mouse, QPoint(5, 5), edit.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&edit, &menuAsked);
        QTRY_VERIFY(edit.hasFocus());
        QCOMPARE(edit.text(), QString("N70"));
        QCOMPARE(edit.selectedText(), QString("N70"));
        QCOMPARE(edit.SearchText(), QString("N70"));
        QTest::keyClick(&edit, Qt::Key_Backspace);
        other.setFocus();
        QTRY_COMPARE(edit.text(), QString(CSearchEdit::kPlaceholder));
        QVERIFY(edit.SearchText().isEmpty()); // the hint is no search
    }

    // Skin files are edited by hand: a row template or container that lacks one of its parts (each
    // in turn) lists, ticks and opens like the full one, the missing part being the skin's stand-in.
    void rowTemplatesWithoutAPartNeverCrashThePages() {
        QFile suite(QString(PAVOLINE_SUITE_DIR) + "/Pavoline.dui");
        QVERIFY(suite.open(QIODevice::ReadOnly));
        const QString description = QString::fromUtf8(suite.readAll());
        QTemporaryDir dir;
        const QString programDir = dir.path() + "/";
        QFile installedFile(programDir + "InstalledModel.xml");
        QVERIFY(installedFile.open(QIODevice::WriteOnly));
        installedFile.write("<INSTALLEDMODEL><PHONEIMAGESIZE/><PHONEMODEL model=\"N70\" space=\"1M\"/></INSTALLEDMODEL>");
        installedFile.close();
        ModelCatalogue catalogue(programDir.toStdString());
        QVERIFY(catalogue.LoadInstalled());
        OfferedList offered(4);
        for (size_t i = 0; i < offered.size(); ++i) offered[i].model = "M" + std::to_string(i);
        offered[0].installed = 1;
        auto clickEveryPart = [](directui::IList* list) {
            for (int r = 0; r < list->RowCount(); ++r)
                for (int p = 0; p < list->Row(r)->PartCount(); ++p)
                    if (QWidget* part = list->Row(r)->PartAt(p)->Widget()) QTest::mouseClick(part, Qt::LeftButton);
        };
        const QRegularExpression rows(R"re(<(row|container) name="\w+".*?</\1>)re",
                                      QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpression parts(R"re(<\w+ name="\w+"[^>]*/>)re");
        int variants = 0;
        for (auto row = rows.globalMatch(description); row.hasNext();) {
            const QRegularExpressionMatch r = row.next();
            for (auto part = parts.globalMatch(r.captured(0)); part.hasNext();) {
                const QRegularExpressionMatch p = part.next();
                QString broken = description;
                broken.remove(r.capturedStart(0) + p.capturedStart(0), p.capturedLength(0));
                QFile file(programDir + "broken.dui");
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                file.write(broken.toUtf8());
                file.close();
                test::OpenSkin(file.fileName());
                test::HostWindow host;
                CAllListContainerDlg all(&host, nullptr);
                all.List(&offered);
                clickEveryPart(all.list());
                all.TickedRows();
                CInstalledModelDlg installed(catalogue, &host, &host, nullptr, programDir);
                clickEveryPart(installed.list());
                InstallDonePage done(offered, nullptr, programDir);
                clickEveryPart(done.list());
                CPhoneSelectDlg phones(catalogue, &host, &host, nullptr, programDir);
                for (const char* name : {"Btn_Frame1", "Btn_Frame2", "Btn_Frame3"})
                    if (QWidget* button = phones.form()->FindElement(name, 90000)->Widget())
                        QTest::mouseClick(button, Qt::LeftButton);
                ++variants;
            }
        }
        test::OpenSkin(); // the suite's own again
        QVERIFY(variants >= 15);
    }

    void searchEditMenuGreying() {
        CSearchEdit edit;
        auto enabled = [&](int id) {
            std::unique_ptr<QMenu> menu(edit.BuildContextMenu());
            for (QAction* a : menu->actions())
                if (!a->isSeparator() && a->data().toInt() == id) return a->isEnabled();
            return false;
        };
        std::unique_ptr<QMenu> menu(edit.BuildContextMenu());
        QStringList labels;
        for (QAction* a : menu->actions()) labels << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(labels, QStringList({"撤销(&U)", "-", "剪切(&T)", "复制(&C)", "粘贴(&P)", "删除(&D)", "-", "全选(&A)"}));

        edit.setText("abcdef");
        edit.setSelection(0, 2);
        QVERIFY(enabled(CSearchEdit::kCut) && enabled(CSearchEdit::kCopy) && enabled(CSearchEdit::kDelete));
        QVERIFY(enabled(CSearchEdit::kSelectAll)); // only part selected
        edit.selectAll();
        QVERIFY(!enabled(CSearchEdit::kSelectAll)); // already all selected
        edit.deselect();
        QVERIFY(!enabled(CSearchEdit::kCut) && !enabled(CSearchEdit::kCopy) && !enabled(CSearchEdit::kDelete));
        QApplication::clipboard()->setText("x");
        QVERIFY(enabled(CSearchEdit::kPaste));
        edit.setReadOnly(true);
        edit.selectAll();
        QVERIFY(!enabled(CSearchEdit::kPaste) && !enabled(CSearchEdit::kCut) && !enabled(CSearchEdit::kDelete));
        QVERIFY(enabled(CSearchEdit::kCopy));
        edit.setReadOnly(false);
        edit.clear();
        QVERIFY(!enabled(CSearchEdit::kSelectAll));
        QVERIFY(!enabled(CSearchEdit::kUndo) || edit.isUndoAvailable());
        edit.setText("ab");
        edit.RunCommand(CSearchEdit::kSelectAll);
        QCOMPARE(edit.selectedText(), QString("ab"));
    }
};

} // namespace pavoline

QTEST_MAIN(pavoline::ControlsTest)
#include "controls_test.moc"

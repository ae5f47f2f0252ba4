#pragma once
// The launcher's window: a frame without system title bar (CMainFrame) filled by the form view
// (CMainFormView), which paints its own 72-pixel caption with three buttons and hosts the phone
// page and the model manager below it. An open theme editor covers the view.

#include "catalogue.h"
#include "message_window.h"
#include "model_manage.h"
#include "owner_drawn.h"
#include "worker_thread.h"

#include <QBasicTimer>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <atomic>

class QScrollArea;
class QStackedLayout;

namespace pavoline {

class CPhoneSelectDlg;
class CThemeFrameWnd;

// The one document: no data.
class CPavolineDoc : public QObject {
    Q_OBJECT
};

constexpr int kCaptionHeight = 72;
// WM_COMMAND of the phone page's help entry (the framework's help-index command): the suite's guide.
constexpr WPARAM ID_HELP_INDEX = 0xE142;
constexpr int kFrameWidth = 993, kFrameHeight = 743;

class CMainFormView : public QWidget, public MessageWindow {
    Q_OBJECT
public:
    CMainFormView(ModelCatalogue& catalogue, MessageWindow* frame, QWidget* parent, QString programDir);
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The caption's maximise/restore button, also used when returning from an editor.
    void ToggleMaximize();
    void RepaintBackBuffer();

    CPhoneSelectDlg* phonePage() const { return phonePage_; }
    CModelManageDlg* managerPage() const { return managerPage_; }
    bool phonePageActive() const { return phonePageActive_; }
    CButtonExt* closeButton() const { return close_; }
    CButtonExt* maximizeButton() const { return maximize_; }
    CButtonExt* minimizeButton() const { return minimize_; }
    QRect pageRect() const { return QRect(0, kCaptionHeight, width(), height() - kCaptionHeight); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeButtons();
    void showPhonePage();
    void showManagerPage();
    void showPage(QWidget* page);
    CButtonExt* makeButton(const QString& picture, const QString& tip, const QString& glyph);

    ModelCatalogue& catalogue_;
    MessageWindow* frame_;
    QString programDir_;
    QPixmap backBuffer_;
    QPixmap captionStrip_, captionLeft_, captionRight_;
    CButtonExt* minimize_ = nullptr;
    CButtonExt* maximize_ = nullptr;
    CButtonExt* close_ = nullptr;
    QScrollArea* pageArea_ = nullptr;
    QStackedLayout* pages_ = nullptr;
    CPhoneSelectDlg* phonePage_ = nullptr;
    QPointer<CModelManageDlg> managerPage_;
    bool phonePageActive_ = false;
};

class CMainFrame : public QWidget, public MessageWindow {
    Q_OBJECT
public:
    CMainFrame(ModelCatalogue& catalogue, QString programDir);
    ~CMainFrame() override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CMainFormView* view() const { return view_; }
    CThemeFrameWnd* themeFrame() const { return themeFrame_; }
    int editorMode() const { return editorMode_; }
    const QString& currentModel() const { return currentModel_; }
    int updateTimerInterval() const { return updateTimerMs_; }
    bool updateTimerActive() const { return updateTimer_.isActive(); }
    // Never larger than the screen's work area, and inside it.
    void FitToScreen(const QRect& available);
    // Maximise inside the desktop's work area, and back.
    void SetMaximized(bool maximized);
    // The help file WM_SHOW_HELP opens: the model's, else the program's.
    QString HelpFilePath() const;
    // Opens the help file, or says in a tip why it cannot.
    void ShowHelp();
    // The program's own help, whichever editor was open last (the phone page's help entry).
    void ShowGuide();
    static void SetHelpOpenerForTesting(bool (*opener)(const QString& path));
    // How the launcher ends when it hands over to the updater (std::_Exit by default).
    static void SetExitForTesting(void (*exit)(int code));
    bool updateCheckRunning() const { return checkThread_.running(); }
    int updateChecksDone() const { return updateChecksDone_; }
    // One version query now, on its worker (timer 1 does this on its own schedule).
    void StartUpdateCheck();
    // The about box (modal); also on the caption's context menu.
    void ShowAbout();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void switchMode(int mode, LPARAM lParam);
    QString programHelpPath() const;
    void openHelpFile(const QString& path);
    void startUpdateTimer(int ms);
    // The update button: the state of the check, or the offer to update.
    void runUpdate();
    static void WaitForUpdaterLock();

    ModelCatalogue& catalogue_;
    QString programDir_;
    CPavolineDoc document_;
    CMainFormView* view_ = nullptr;
    CThemeFrameWnd* themeFrame_ = nullptr;
    int editorMode_ = 0;
    QString currentModel_;
    QRect normalGeometry_;
    QBasicTimer updateTimer_;
    int updateTimerMs_ = 0;
    WorkerThread checkThread_;
    std::atomic<bool> closing_{false}; // ends a check's transfer at once
    int updateChecksDone_ = 0;
};

} // namespace pavoline

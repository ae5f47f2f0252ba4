#include "main_frame.h"

#include "launcher_state.h"
#include "model_manage.h"
#include "phone_select.h"
#include "pictures.h"
#include "download.h"
#include "platform.h"
#include "plugin_api.h"
#include "suite_version.h"
#include "theme_frame.h"
#include "tip_dialog.h"
#include "app_startup.h"
#include "hand_over.h"
#include "update_server.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstdlib>
#include <unistd.h>

namespace pavoline {
namespace {

constexpr int kButtonTop = 31;
constexpr int kButtonFallbackSize = 20;
constexpr int kCloseFromRight = 24, kMaximizeFromRight = 57, kMinimizeFromRight = 89;
constexpr uint32_t kUpdaterLockWaitMs = 5000;
constexpr int kUpdateTimerFirstMs = 100, kUpdateTimerAfterCheckMs = 8000, kUpdateTimerAfterEditorMs = 3000;

void (*gExit)(int) = std::_Exit;

bool OpenWithDesktop(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }
bool (*gHelpOpener)(const QString&) = OpenWithDesktop;

constexpr int kViewerStartMs = 3000;

// A help viewer takes a moment to come up and says nothing meanwhile: the pointer shows that work
// is under way until the viewer takes the focus, or for a few seconds.
void ShowBusyWhileAViewerStarts() {
    QApplication::setOverrideCursor(Qt::BusyCursor);
    auto* watch = new QObject(qApp);
    auto restore = [watch] {
        if (watch->property("done").toBool()) return;
        watch->setProperty("done", true);
        QApplication::restoreOverrideCursor();
        watch->deleteLater();
    };
    QTimer::singleShot(kViewerStartMs, watch, restore);
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, watch, [restore](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) restore();
    });
}

} // namespace

// ---- CMainFormView --------------------------------------------------------------------------------

CMainFormView::CMainFormView(ModelCatalogue& catalogue, MessageWindow* frame, QWidget* parent, QString programDir)
    : QWidget(parent), MessageWindow(this), catalogue_(catalogue), frame_(frame), programDir_(std::move(programDir)) {
    close_ = makeButton("btn_close.png", "关闭", "×");
    maximize_ = makeButton("btn_maximize.png", "最大化", "□");
    minimize_ = makeButton("btn_minimize.png", "最小化", "–");
    connect(close_, &QPushButton::clicked, [] { std::_Exit(0); }); // ends at once, as the caption promises
    connect(maximize_, &QPushButton::clicked, this, &CMainFormView::ToggleMaximize);
    connect(minimize_, &QPushButton::clicked, this, [this] { window()->showMinimized(); });
    placeButtons();
    RepaintBackBuffer();
    // The pages scroll inside the window when it is smaller than they are; the caption stays put.
    pageArea_ = new QScrollArea(this);
    pageArea_->setObjectName("PageArea");
    pageArea_->setFrameShape(QFrame::NoFrame);
    pageArea_->setWidgetResizable(true);
    pageArea_->setAutoFillBackground(false);
    pageArea_->viewport()->setAutoFillBackground(false);
    auto* stack = new QWidget;
    pages_ = new QStackedLayout(stack);
    pages_->setContentsMargins(0, 0, 0, 0);
    pageArea_->setWidget(stack);
    stack->setAutoFillBackground(false); // the view's gradient shows through the pages
    pageArea_->setGeometry(pageRect());
    phonePage_ = new CPhoneSelectDlg(catalogue_, frame_, this, stack, programDir_);
    pages_->addWidget(phonePage_);
    pages_->setCurrentWidget(phonePage_);
    phonePageActive_ = true;
    qApp->installEventFilter(this);
    setFocus();
}

CButtonExt* CMainFormView::makeButton(const QString& picture, const QString& tip, const QString& glyph) {
    auto* button = new CButtonExt(this);
    button->setText(glyph); // drawn only when the picture is missing
    button->setFixedSize(kButtonFallbackSize, kButtonFallbackSize);
    button->setCursor(Qt::PointingHandCursor);
    button->SetPicture(LoadPicture(programDir_ + picture));
    button->SetToolTipWindow(this);
    button->SetToolTipText(tip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void CMainFormView::placeButtons() {
    const int right = width();
    close_->move(right - kCloseFromRight, kButtonTop);
    maximize_->move(right - kMaximizeFromRight, kButtonTop);
    minimize_->move(right - kMinimizeFromRight, kButtonTop);
}

void CMainFormView::RepaintBackBuffer() {
    // At the screen's density, so that the caption's pictures and its word mark stay sharp.
    const qreal ratio = devicePixelRatioF();
    backBuffer_ = QPixmap((size().isEmpty() ? QSize(1, 1) : size()) * ratio);
    backBuffer_.setDevicePixelRatio(ratio);
    QPainter p(&backBuffer_);
    QLinearGradient body(0, kCaptionHeight + 1, 0, height());
    body.setColorAt(0, QColor(238, 241, 245));
    body.setColorAt(1, QColor(204, 213, 225));
    p.fillRect(QRect(0, kCaptionHeight + 1, width(), height()), body);
    if (captionStrip_.isNull()) { // read once: the caption is painted again at every resize
        captionStrip_ = LoadPicture(programDir_ + "caption_strip.png");
        captionLeft_ = LoadPicture(programDir_ + "caption_left.png");
        captionRight_ = LoadPicture(programDir_ + "caption_right.png");
    }
    p.drawTiledPixmap(QRect(0, 0, width(), kCaptionHeight + 1), captionStrip_);
    p.drawPixmap(0, 0, captionLeft_);
    p.drawPixmap(width() - LogicalSize(captionRight_).width(), 0, captionRight_);
    update();
}

void CMainFormView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, backBuffer_);
}

void CMainFormView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeButtons();
    RepaintBackBuffer();
    if (pageArea_) pageArea_->setGeometry(pageRect());
}

void CMainFormView::ToggleMaximize() {
    auto* frame = qobject_cast<CMainFrame*>(window());
    const bool maximize = !gMaximized.load();
    maximize_->SetPicture(LoadPicture(programDir_ + (maximize ? "btn_restore.png" : "btn_maximize.png")));
    maximize_->SetToolTipText(maximize ? "还原" : "最大化");
    gMaximized = maximize;
    if (frame) frame->SetMaximized(maximize);
    placeButtons();
    pageArea_->setGeometry(pageRect());
    RepaintBackBuffer();
}

void CMainFormView::mousePressEvent(QMouseEvent* event) {
    // Dragged by its caption, but not while maximised.
    if (event->button() == Qt::LeftButton && event->position().y() < kCaptionHeight && !gMaximized.load() &&
        window()->windowHandle())
        window()->windowHandle()->startSystemMove();
    if (managerPage_) managerPage_->CloseDropDown();
    QWidget::mousePressEvent(event);
}

void CMainFormView::contextMenuEvent(QContextMenuEvent* event) {
    // The caption's menu stands in for the system menu the window no longer has.
    if (event->pos().y() >= kCaptionHeight) return;
    QMenu menu(this);
    menu.addAction("关于 Pavoline(&A)…", this, [this] {
        if (auto* frame = qobject_cast<CMainFrame*>(window())) frame->ShowAbout();
    });
    menu.addAction("退出(&X)", window(), &QWidget::close);
    menu.exec(event->globalPos());
}

void CMainFormView::wheelEvent(QWheelEvent* event) {
    if (phonePage_ && phonePageActive_) {
        phonePage_->HandleWheel(event->angleDelta().y());
        event->accept();
        return;
    }
    QWidget::wheelEvent(event);
}

bool CMainFormView::eventFilter(QObject* watched, QEvent* event) {
    // Escape, Enter and Space never close the form or press a default button.
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool swallowed = key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter ||
                               key == Qt::Key_Space;
        // Enter still reaches an edit box: the model search runs on it.
        const bool enterIntoEdit = qobject_cast<QLineEdit*>(widget) && (key == Qt::Key_Return || key == Qt::Key_Enter);
        if (swallowed && !enterIntoEdit && widget && (widget == this || isAncestorOf(widget))) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CMainFormView::showManagerPage() {
    if (managerPage_) {
        managerPage_->SelectTab(gUpdateState.load() == -1 ? CModelManageDlg::kInstalledModels : CModelManageDlg::kAllModels);
    } else {
        managerPage_ = new CModelManageDlg(catalogue_, frame_, this, pages_->parentWidget(), programDir_);
        pages_->addWidget(managerPage_);
    }
    showPage(managerPage_);
    phonePageActive_ = false;
}

void CMainFormView::showPhonePage() {
    if (gInstalledListChanged.exchange(false)) phonePage_->Refresh();
    showPage(phonePage_);
    phonePageActive_ = true;
}

// A page opens at its top, and only its own smallest size decides whether the window scrolls:
// a hidden page's larger one does not count (the stack would take the largest of them all).
void CMainFormView::showPage(QWidget* page) {
    const char* const kOwnMinimum = "pageMinimum";
    for (int i = 0; i < pages_->count(); ++i) {
        QWidget* each = pages_->widget(i);
        if (!each->property(kOwnMinimum).isValid()) each->setProperty(kOwnMinimum, each->minimumSize());
        each->setMinimumSize(each == page ? each->property(kOwnMinimum).toSize() : QSize(0, 0));
    }
    pages_->setCurrentWidget(page);
    pages_->invalidate();
    pageArea_->widget()->updateGeometry();
    pageArea_->verticalScrollBar()->setValue(0);
    pageArea_->horizontalScrollBar()->setValue(0);
}

LRESULT CMainFormView::windowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_SHOW_MODELMANAGE:
        showManagerPage();
        return 0;
    case WM_SHOW_PHONESELECT:
        showPhonePage();
        return 0;
    case WM_NEWVERSION:
        if (phonePage_) phonePage_->SetNewVersionMark(wParam != 0);
        return 0;
    default:
        return 0;
    }
}

// ---- CMainFrame --------------------------------------------------------------------------------

CMainFrame::CMainFrame(ModelCatalogue& catalogue, QString programDir)
    : QWidget(nullptr), MessageWindow(this), catalogue_(catalogue), programDir_(std::move(programDir)) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("TavixPavoline");
    resize(kFrameWidth, kFrameHeight);
    if (screen()) FitToScreen(screen()->availableGeometry());
    view_ = new CMainFormView(catalogue_, this, this, programDir_);
    view_->setGeometry(rect());
    // After each check the next one is due in 8 s, while the launcher's own pages are shown.
    connect(&checkThread_, &WorkerThread::finished, this, [this] {
        ++updateChecksDone_;
        if (editorMode_ == 0 && !closing_) startUpdateTimer(kUpdateTimerAfterCheckMs);
    });
    startUpdateTimer(kUpdateTimerFirstMs);
}

CMainFrame::~CMainFrame() {
    closing_ = true;
    checkThread_.waitServingSends();
    delete themeFrame_;
}

void CMainFrame::startUpdateTimer(int ms) {
    updateTimerMs_ = ms;
    updateTimer_.start(ms, this);
}

void CMainFrame::StartUpdateCheck() {
    if (checkThread_.running()) return;
    gUpdateState = 0;
    const std::string url = VersionQueryUrl(SuiteVersionText());
    const bool started = checkThread_.start([this, url] {
        std::string body;
        if (FetchText(url, body, kLauncherTransfer, kVersionReplyLimits, &closing_) != kDownloadComplete) {
            gUpdateState = -1; // the new-version flag keeps what the last answer said
            return;
        }
        gNewVersion = ReplyNamesNewerVersion(body);
        sendMessage(view_, WM_NEWVERSION, gNewVersion.load() ? 1 : 0);
        gUpdateState = 1;
    });
    if (started) return;
    // No thread for it now: as if the server could not be reached, and asked again later.
    gUpdateState = -1;
    ++updateChecksDone_;
    if (editorMode_ == 0) startUpdateTimer(kUpdateTimerAfterCheckMs);
}

// Until the updater holds its lock, a launcher that starts would pass its test and run during the
// update; an updater that never takes it is not waited for long.
void CMainFrame::WaitForUpdaterLock() {
    for (const uint32_t start = TickCount(); !UpdaterRunning() && TickCount() - start < kUpdaterLockWaitMs;) SleepMs(20);
}

void CMainFrame::SetExitForTesting(void (*exit)(int code)) { gExit = exit ? exit : std::_Exit; }

void CMainFrame::runUpdate() {
    if (!gNewVersion.load()) {
        const int state = gUpdateState.load();
        CTipDlg::ShowNotice(state == -1 ? "未检测到可用的网络连接。" : state == 1 ? "软件已为最新版本，无需升级。" : "正在连接服务器……");
        return;
    }
    CTipDlg offer;
    offer.Set("检测到新版软件，是否升级？\r\n（将退出当前应用程序）", CTipDlg::kYesNo, 0);
    if (offer.exec() != CTipDlg::kResultOk) return;
    const std::string updater = programDir_.toStdString() + "Novarel/Novarel";
    if (StartProgram(updater, {SuiteVersionText(), kHandOverToken})) {
        WaitForUpdaterLock();
        gExit(0); // at once: the updater replaces the suite's files
        return;
    }
    CTipDlg::ShowNotice("无法正常启动升级程序！");
}

void CMainFrame::FitToScreen(const QRect& available) {
    QRect frame(pos(), size().boundedTo(available.size()));
    if (!available.contains(frame)) frame.moveCenter(available.center());
    setGeometry(frame);
}

void CMainFrame::SetMaximized(bool maximized) {
    if (maximized) {
        normalGeometry_ = geometry();
        // The work area, so a maximised launcher leaves the task bar free.
        setGeometry(screen() ? screen()->availableGeometry() : geometry());
    } else if (normalGeometry_.isValid()) {
        setGeometry(normalGeometry_);
    }
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    if (themeFrame_ && !rect().isEmpty()) themeFrame_->setGeometry(rect());
    if (view_) view_->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() == updateTimer_.timerId()) {
        updateTimer_.stop();
        StartUpdateCheck();
        return;
    }
    QWidget::timerEvent(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (themeFrame_) themeFrame_->CloseView();
    closing_ = true; // a server that never answers keeps nobody waiting
    event->accept();
}

void CMainFrame::switchMode(int mode, LPARAM lParam) {
    setUpdatesEnabled(false);
    editorMode_ = mode;
    if (mode == 1) {
        CThemeFrameWnd* old = themeFrame_;
        CCreateContext context;
        context.m_pNewViewClass = &CThemeFrameWnd::staticMetaObject;
        context.m_pCurrentDoc = &document_;
        themeFrame_ = new CThemeFrameWnd(this, programDir_, context);
        connect(themeFrame_, &CThemeFrameWnd::loadFailed, this, [this] {
            if (editorMode_ == 1) switchMode(0, gMaximized.load() ? 1 : 0);
        });
        themeFrame_->setGeometry(rect());
        themeFrame_->show();
        view_->hide();
        delete old; // frees its plug-in
        currentModel_ = *reinterpret_cast<const QString*>(lParam);
        themeFrame_->SelectModel(currentModel_, gMaximized.load());
    } else {
        sendMessage(view_, WM_SHOW_PHONESELECT);
        view_->show();
        if (themeFrame_) themeFrame_->hide();
        if ((lParam != 0) == gMaximized.load())
            view_->RepaintBackBuffer();
        else
            view_->ToggleMaximize();
        startUpdateTimer(kUpdateTimerAfterEditorMs);
        view_->update();
    }
    setUpdatesEnabled(true);
}

QString CMainFrame::HelpFilePath() const {
    const std::string current = currentModel_.toStdString();
    if (const std::optional<std::string> dir = ExistingModelDir(current, programDir_.toStdString())) {
        const QString model = QString::fromStdString(ModelFile(*dir + "/", current, ".chm"));
        if (QFileInfo::exists(model)) return model;
    }
    return programHelpPath();
}

// The program's own help: its file name with the help file's extension; where it has none, the
// suite's guide, which any desktop can show (few Linux desktops open CHM files).
QString CMainFrame::programHelpPath() const {
    const QString own = programDir_ + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toLower() + ".chm";
    return QFileInfo::exists(own) ? own : programDir_ + "help/index.html";
}

void CMainFrame::ShowAbout() {
    QMessageBox about(this);
    about.setWindowTitle("关于 TavixPavoline");
    about.setIconPixmap(QPixmap(programDir_ + "caption_left.png").copy(16, 12, 40, 48));
    about.setText(QString("Pavoline 手机主题设计工具 %1").arg(SuiteVersionText()));
    about.setInformativeText("为手机设计主题图片与动画。\n本程序使用 Qt、libcurl、pugixml、minizip、zlib 与 libpng。");
    about.exec();
}

void CMainFrame::SetHelpOpenerForTesting(bool (*opener)(const QString&)) { gHelpOpener = opener ? opener : OpenWithDesktop; }

void CMainFrame::ShowHelp() { openHelpFile(HelpFilePath()); }
void CMainFrame::ShowGuide() { openHelpFile(programHelpPath()); }

void CMainFrame::openHelpFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        CTipDlg::ShowNotice("找不到帮助文件：\n" + path);
        return;
    }
    ShowBusyWhileAViewerStarts();
    if (!gHelpOpener(path)) CTipDlg::ShowNotice("无法打开帮助文件，请安装可以打开此类文件的程序。\n" + path);
}

LRESULT CMainFrame::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SWITCH_MODE:
        switchMode(static_cast<int>(wParam), lParam);
        return 0;
    case WM_RELOAD_INSTALLED:
        if (wParam) catalogue_.RecordInstalledModels(*reinterpret_cast<const OfferedList*>(wParam));
        return 1;
    case WM_SHOW_HELP:
        ShowHelp();
        return 1;
    case WM_RUN_UPDATE:
        runUpdate();
        return 1;
    case WM_COMMAND:
        if (wParam == ID_APP_ABOUT) ShowAbout();
        else if (wParam == ID_APP_EXIT) close();
        else if (wParam == ID_HELP) ShowHelp();
        else if (wParam == ID_HELP_INDEX) ShowGuide();
        return 0;
    default:
        return 0;
    }
}

} // namespace pavoline

#include "novarel_dlg.h"

#include "hand_over.h"
#include "message_box.h"
#include "owner_drawn.h"
#include "pictures.h"
#include "platform.h"
#include "static_ext.h"
#include "ui_font.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdio>

namespace pavoline::updater {
namespace {

constexpr int kWidth = 500, kHeight = 350;
constexpr int kDragStripHeight = 37;
constexpr int kInstallTimerFirstMs = 500, kInstallTimerMs = 200, kHoldTimerMs = 500;
const QPoint kBannerAt(0, 64);
const QPoint kPanelAt(37, 123);
const QRect kFeaturesRect(QPoint(47, 157), QPoint(452, 287));
const QRect kPercentRect(QPoint(265, 196), QPoint(315, 216));
constexpr int kBarMargin = 37, kBarTop = 162, kBarBottom = 191;

const char* const kCaption = "在线更新";
const char* const kNotFromPublisher = "更新文件不是来自发布者，已拒绝更新。";
const char* const kAppName = "Novarel";

bool OpenFolder(const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }
bool (*gFolderOpener)(const QString&) = OpenFolder;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QFont UiFont(int pixelSize, int weight) {
    QFont font;
    font.setFamilies(UiFontFamilies());
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

bool IsSwallowedKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease && event->type() != QEvent::ShortcutOverride)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

} // namespace

void CNovarelDlg::SetFolderOpenerForTesting(bool (*opener)(const QString&)) { gFolderOpener = opener ? opener : OpenFolder; }

CNovarelDlg::CNovarelDlg(const UpdaterPaths& paths, const QString& version, QWidget* parent)
    : QDialog(parent), MessageWindow(this), paths_(paths), version_(version) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setWindowTitle("TavixPavoline");
    setFixedSize(kWidth, kHeight);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(0, 0, kWidth + 1, kHeight + 1), 3, 3);
    setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    setWindowIcon(QIcon(Text(paths_.ownDir) + "icon.png"));
    // Cell heights 24 and 23 of the design, as pixel sizes.
    boldFont_ = UiFont(18, 600);
    textFont_ = UiFont(17, 400);
    loadPictures();
    createControls();
    qApp->installEventFilter(this);
    rebuildBackBuffer();
}

CNovarelDlg::~CNovarelDlg() { qApp->removeEventFilter(this); }

void CNovarelDlg::loadPictures() {
    const QString dir = Text(paths_.ownDir);
    pictures_.background = LoadPicture(dir + "background.png");
    for (int stage = 1; stage <= 4; ++stage) pictures_.banners[stage - 1] = LoadPicture(dir + QString("stage_%1.png").arg(stage));
    pictures_.featuresPanel = LoadPicture(dir + "panel_features.png");
    pictures_.downloadPanel = LoadPicture(dir + "panel_download.png");
    pictures_.installPanel = LoadPicture(dir + "panel_install.png");
    pictures_.donePanel = LoadPicture(dir + "panel_done.png");
    pictures_.barFrame = LoadPicture(dir + "bar_frame.png");
}

void CNovarelDlg::createControls() {
    const QString dir = Text(paths_.ownDir);
    auto button = [&](int id, const QRect& at, const char* picture, const char* fallback) {
        auto* b = new CButtonExt(this);
        b->setObjectName(QString::number(id));
        b->setText(fallback);
        b->setGeometry(at);
        b->SetPicture(LoadPicture(dir + picture));
        b->setFocusPolicy(Qt::NoFocus);
        b->setCursor(Qt::PointingHandCursor);
        return b;
    };
    minimize_ = button(kMinimize, QRect(kWidth - 51, 9, 21, 22), "button_minimize.png", "—");
    close_ = button(kClose, QRect(kWidth - 30, 9, 21, 22), "button_close.png", "×");
    updateNow_ = button(kUpdateNow, QRect(280, 306, 84, 35), "button_update.png", "立即更新");
    cancel_ = button(kCancel, QRect(378, 306, 84, 35), "button_cancel.png", "取消");
    finish_ = button(kFinish, QRect(378, 306, 84, 35), "button_finish.png", "完成");
    finish_->hide();
    restartCheck_ = new CStaticExt(this);
    restartCheck_->setGeometry(140, 207, 231, 19);
    restartCheck_->SetPictures(LoadPicture(dir + "check_normal.png"), LoadPicture(dir + "check_normal.png"),
                               LoadPicture(dir + "check_checked.png"));
    restartCheck_->SetText("立即启动新版本");
    restartCheck_->setFont(boldFont_);
    QPalette palette = restartCheck_->palette();
    palette.setColor(QPalette::WindowText, QColor(77, 99, 117));
    restartCheck_->setPalette(palette);
    restartCheck_->setCursor(Qt::PointingHandCursor);
    restartCheck_->SetChecked(restart_);
    restartCheck_->hide();

    connect(minimize_, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(close_, &QPushButton::clicked, this, &CNovarelDlg::reject);
    connect(cancel_, &QPushButton::clicked, this, &CNovarelDlg::reject);
    connect(updateNow_, &QPushButton::clicked, this, &CNovarelDlg::advance);
    connect(finish_, &QPushButton::clicked, this, &CNovarelDlg::finish);
    connect(restartCheck_, &CStaticExt::clicked, this, [this] {
        restart_ = !restart_;
        restartCheck_->SetChecked(restart_);
    });
}

QWidget* CNovarelDlg::Control(int id) const {
    switch (id) {
    case kMinimize: return minimize_;
    case kClose: return close_;
    case kUpdateNow: return updateNow_;
    case kCancel: return cancel_;
    case kFinish: return finish_;
    case kRestart: return restartCheck_;
    default: return nullptr;
    }
}

bool CNovarelDlg::Initialise() {
    const UpdateCheck check = QueryUpdate(version_.toStdString(), paths_.configPath());
    switch (check.result) {
    case kConfigMissing:
        MessageBox::Warn(this, kCaption, "配置不存在或是错误！重新安装可以解决！");
        closeDialog();
        return false;
    case kServerUnreachable:
        MessageBox::Warn(this, kCaption, "无法连接服务器，请检查您的网络连接！");
        closeDialog();
        return false;
    case kUpToDate:
        MessageBox::Inform(this, kAppName, "已经是最新版本！");
        closeDialog();
        return false;
    case kNewerVersion:
        break;
    }
    // Names reserved by creating the files, so nobody else's file can stand in for them.
    infoPath_ = ReserveDownloadName(paths_, "tmp");
    const FetchedUpdateInfo fetched = FetchUpdateInfo(check.infoUrl, infoPath_, version_.toStdString());
    if (fetched.verdict != InfoVerdict::kUsable) {
        // Nothing of it is shown or used; the suite was not touched.
        std::remove(infoPath_.c_str());
        MessageBox::Warn(this, kCaption, kNotFromPublisher);
        closeDialog();
        return false;
    }
    info_ = fetched.info;
    if (info_.toolLink.empty()) { // without the package's address there is nothing to offer
        MessageBox::Warn(this, kCaption, Text("无法读取更新信息文件 " + check.infoUrl));
        closeDialog();
        return false;
    }
    packagePath_ = ReserveDownloadName(paths_, "rar");
    cancelMutex_ = NamedMutex::Create(kDownloadCancelMutex);
    rebuildBackBuffer();
    return true;
}

void CNovarelDlg::advance() {
    ++stage_;
    switch (stage_) {
    case 2:
        updateNow_->hide();
        rebuildBackBuffer();
        startDownload();
        break;
    case 3:
        cancel_->setEnabled(false);
        installFraction_ = 0;
        rebuildBackBuffer();
        installTimer_.start(kInstallTimerFirstMs, this);
        startInstall();
        break;
    case 4:
        rebuildBackBuffer();
        restartCheck_->show();
        close_->setEnabled(false);
        break;
    default:
        break;
    }
    emit stageEntered(stage_);
}

void CNovarelDlg::backToStage1() {
    stage_ = 1;
    downloadFraction_ = installFraction_ = 0;
    cancel_->setEnabled(true);
    updateNow_->show();
    rebuildBackBuffer();
    emit stageEntered(stage_);
}

void CNovarelDlg::startDownload() {
    if (download_) oldDownloads_.push_back(std::move(download_));
    download_ = std::make_unique<CUpdateThread>(this, info_.toolLink, packagePath_, PackageLimits(info_));
    download_->Start();
}

void CNovarelDlg::startInstall() {
    if (install_) oldInstalls_.push_back(std::move(install_));
    install_ = std::make_unique<CUnzipThread>(this, info_, packagePath_, paths_, version_.toStdString());
    install_->Start();
}

LRESULT CNovarelDlg::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_USER) return 0;
    switch (wParam) {
    case kReportProgress: onProgress(*reinterpret_cast<const DownloadProgress*>(lParam)); break;
    case kReportDownloadEnded: onDownloadEnded(lParam); break;
    case kReportDigestMismatch: onDigestMismatch(); break;
    case kReportInstallEnded: onInstallEnded(lParam == 1); break;
    case kReportNotFromPublisher: onNotFromPublisher(); break;
    default: break;
    }
    return 0;
}

void CNovarelDlg::onProgress(const DownloadProgress& progress) {
    if (progress.total == 0) return;
    downloadFraction_ = static_cast<double>(progress.received) / static_cast<double>(progress.total);
    rebuildBackBuffer();
}

void CNovarelDlg::onDownloadEnded(LPARAM how) {
    if (how == 1) {
        holdTimer_.start(kHoldTimerMs, this);
        return;
    }
    if (how == 0) return; // cancelled: the closing side is waiting for this worker
    MessageBox::Warn(this, kCaption,
                     how == -2 ? Text("文件下载失败：磁盘空间不足，无法写入临时文件夹 " + TempDir()) : QString("文件下载失败，请检查网络"));
    if (!MessageBox::Ask(this, kAppName, "重新下载？")) return closeDialog();
    stage_ = 1;
    downloadFraction_ = 0;
    renewPackagePath();
    advance();
}

void CNovarelDlg::onDigestMismatch() {
    for (;;) {
        if (MessageBox::Ask(this, kAppName, "文件校验失败，是否重新下载？")) {
            installTimer_.stop();
            stage_ = 1;
            downloadFraction_ = 0;
            return advance();
        }
        if (MessageBox::Ask(this, kAppName, "退出在线更新？")) return closeDialog();
    }
}

// The package was deleted unopened; the user may try again from the first page.
void CNovarelDlg::onNotFromPublisher() {
    installTimer_.stop();
    renewPackagePath();
    MessageBox::Warn(this, kCaption, kNotFromPublisher);
    backToStage1();
}

void CNovarelDlg::onInstallEnded(bool installed) {
    installTimer_.stop();
    if (!installed) {
        MessageBox::Warn(this, kCaption, Text(FailureMessage(install_->Outcome())));
        return backToStage1();
    }
    installed_ = true;
    stage_ = 3;
    installFraction_ = 1;
    cancel_->hide();
    finish_->show();
    advance();
}

void CNovarelDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == installTimer_.timerId())
        onInstallTick();
    else if (event->timerId() == holdTimer_.timerId())
        onHoldTick();
    else
        QDialog::timerEvent(event);
}

// The bar moves on quickly, then slowly, and waits short of the end: the archiver tells nothing
// of its progress.
void CNovarelDlg::onInstallTick() {
    installTimer_.stop();
    if (installFraction_ < 0.6)
        installFraction_ += 0.2;
    else if (installFraction_ < 0.93)
        installFraction_ += 0.03;
    rebuildBackBuffer();
    installTimer_.start(kInstallTimerMs, this);
}

void CNovarelDlg::onHoldTick() {
    if (promptOpen_) return; // asked again in 500 ms
    holdTimer_.stop();
    stage_ = 2;
    advance();
}

void CNovarelDlg::reject() {
    if (closing_) return;
    switch (stage_) {
    case 1:
        if (MessageBox::Ask(this, kAppName, "不更新并退出？")) closeDialog();
        break;
    case 2:
        promptOpen_ = true;
        if (!MessageBox::Ask(this, kAppName, "正在升级中，是否取消并退出？")) {
            promptOpen_ = false;
            break;
        }
        if (download_) {
            SetDownloadCancel(true);
            download_->WaitServingSends();
        }
        closeDialog();
        break;
    case 3:
        MessageBox::Inform(this, kCaption, "正在安装中，无法取消！");
        break;
    default:
        closeDialog();
        break;
    }
}

void CNovarelDlg::finish() {
    if (restart_ && !startLauncher(true)) MessageBox::Warn(this, kCaption, "运行失败，请手动运行！");
    closeDialog();
}

// The launcher that UpdateInfo.ini names, handed the suite back. Without a name the suite's folder
// is opened instead, when asked for. False when it could not be started.
bool CNovarelDlg::startLauncher(bool openFolderWithoutName) {
    const std::string app = ReadLauncherName(paths_.configPath()).value_or("");
    if (app.empty()) return !openFolderWithoutName || gFolderOpener(Text(paths_.suiteDir));
    return StartProgram(paths_.suiteDir + app, {kHandBackToken});
}

void CNovarelDlg::closeDialog() {
    closing_ = true;
    installTimer_.stop();
    holdTimer_.stop();
    for (const std::string* path : {&packagePath_, &infoPath_})
        if (!path->empty()) std::remove(path->c_str());
    // Nothing was installed: the user is back in the launcher, where the update began.
    if (!installed_ && !startLauncher(false)) MessageBox::Warn(this, kCaption, "运行失败，请手动运行！");
    done(QDialog::Accepted);
}

void CNovarelDlg::renewPackagePath() {
    std::remove(packagePath_.c_str());
    packagePath_ = ReserveDownloadName(paths_, "rar");
}

void CNovarelDlg::rebuildBackBuffer() {
    backBuffer_ = QPixmap(size() * devicePixelRatioF()); // sharp on a dense screen, as its @2x pictures
    backBuffer_.setDevicePixelRatio(devicePixelRatioF());
    backBuffer_.fill(QColor(236, 242, 246));
    QPainter painter(&backBuffer_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.drawPixmap(0, 0, pictures_.background);
    painter.drawPixmap(kBannerAt, pictures_.banners[std::clamp(stage_, 1, 4) - 1]);
    switch (stage_) {
    case 1:
        painter.drawPixmap(kPanelAt, pictures_.featuresPanel);
        painter.setFont(textFont_);
        painter.setPen(QColor(137, 164, 180));
        painter.drawText(kFeaturesRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Text(info_.features));
        break;
    case 2:
        painter.drawPixmap(kPanelAt, pictures_.downloadPanel);
        drawBar(painter, downloadFraction_, QColor(120, 211, 45), true);
        break;
    case 3:
        painter.drawPixmap(kPanelAt, pictures_.installPanel);
        drawBar(painter, installFraction_, QColor(73, 185, 231), false);
        break;
    default:
        painter.drawPixmap(kPanelAt, pictures_.donePanel);
        break;
    }
    painter.end();
    update();
}

void CNovarelDlg::drawBar(QPainter& painter, double fraction, const QColor& colour, bool withPercentage) {
    const QRect bar(QPoint(kBarMargin, kBarTop), QPoint(width() - kBarMargin, kBarBottom));
    painter.drawPixmap(bar.topLeft(), pictures_.barFrame);
    const double shown = std::clamp(fraction, 0.0, 1.0);
    painter.fillRect(QRectF(bar.left(), bar.top(), shown * bar.width(), bar.height()), colour);
    if (!withPercentage) return;
    painter.setFont(textFont_);
    painter.setPen(QColor(158, 177, 190));
    painter.drawText(kPercentRect, Qt::AlignCenter | Qt::TextSingleLine, QString::asprintf("%0.0f％", shown * 100));
}

void CNovarelDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, backBuffer_);
}

void CNovarelDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    rebuildBackBuffer();
}

void CNovarelDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || event->position().y() >= kDragStripHeight) return QDialog::mousePressEvent(event);
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CNovarelDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
    QDialog::mouseMoveEvent(event);
}

void CNovarelDlg::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

// Escape, Enter and Space never reach the dialog or its buttons: none of them may close it.
bool CNovarelDlg::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && (widget == this || isAncestorOf(widget)) && IsSwallowedKey(event)) return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace pavoline::updater

#pragma once
// The updater's one dialog: asks the server for a newer suite, shows its features, downloads the
// package (stage 2), verifies and installs it (stage 3) and offers to start the new launcher
// (stage 4). A failed installation leaves the suite as it was and returns to stage 1.

#include "message_window.h"
#include "named_mutex.h"
#include "startup.h"
#include "update_query.h"
#include "update_workers.h"

#include <QBasicTimer>
#include <QDialog>
#include <QFont>
#include <QPixmap>

#include <memory>
#include <vector>

namespace pavoline {
class CButtonExt;
}

namespace pavoline::updater {

class CStaticExt;

class CNovarelDlg : public QDialog, public MessageWindow {
    Q_OBJECT
public:
    enum ControlId { kMinimize = 1001, kClose = 1002, kUpdateNow = 1003, kCancel = 1004, kFinish = 1005, kRestart = 1007 };

    CNovarelDlg(const UpdaterPaths& paths, const QString& version, QWidget* parent = nullptr);
    ~CNovarelDlg() override;

    // Checks the configuration and asks the server; false when the dialog is to end at once (a
    // message has said why).
    bool Initialise();
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    int Stage() const { return stage_; }
    QWidget* Control(int id) const;
    const std::string& InfoFilePath() const { return infoPath_; }
    const std::string& PackagePath() const { return packagePath_; }
    const UpdateInfo& Info() const { return info_; }
    bool RestartChecked() const { return restart_; }
    // Opens the suite folder when UpdateInfo.ini names no launcher; tests replace it.
    static void SetFolderOpenerForTesting(bool (*opener)(const QString& folder));

signals:
    void stageEntered(int stage);

public slots:
    void reject() override; // every way of closing goes through the rule of the stage

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void loadPictures();
    void advance();
    void backToStage1();
    void startDownload();
    void startInstall();
    void onProgress(const DownloadProgress& progress);
    void onDownloadEnded(LPARAM how);
    void onDigestMismatch();
    void onNotFromPublisher();
    void onInstallEnded(bool installed);
    void onInstallTick();
    void onHoldTick();
    void finish();
    bool startLauncher(bool openFolderWithoutName);
    void closeDialog();
    void renewPackagePath();
    void rebuildBackBuffer();
    void drawBar(QPainter& painter, double fraction, const QColor& colour, bool withPercentage);

    UpdaterPaths paths_;
    QString version_;
    int stage_ = 1;
    std::string infoPath_, packagePath_;
    UpdateInfo info_;
    double downloadFraction_ = 0, installFraction_ = 0;
    bool promptOpen_ = false;
    bool restart_ = true;
    bool closing_ = false;
    bool installed_ = false;

    CButtonExt* minimize_ = nullptr;
    CButtonExt* close_ = nullptr;
    CButtonExt* updateNow_ = nullptr;
    CButtonExt* cancel_ = nullptr;
    CButtonExt* finish_ = nullptr;
    CStaticExt* restartCheck_ = nullptr;
    QFont boldFont_, textFont_;

    struct Pictures {
        QPixmap background, banners[4], featuresPanel, downloadPanel, installPanel, donePanel, barFrame;
    } pictures_;
    QPixmap backBuffer_;

    std::shared_ptr<NamedMutex> cancelMutex_; // "USER_CANCLE_OPENMUTEX", for the downloads
    QBasicTimer installTimer_; // 100: the install animation
    QBasicTimer holdTimer_;    // 101: holds the start of stage 3 while the cancel question is open
    std::unique_ptr<CUpdateThread> download_;
    std::unique_ptr<CUnzipThread> install_;
    // Workers replaced while they were still ending; they go with the dialog.
    std::vector<std::unique_ptr<CUpdateThread>> oldDownloads_;
    std::vector<std::unique_ptr<CUnzipThread>> oldInstalls_;

    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace pavoline::updater

#include "progress_page.h"

#include "download.h"
#include "pavoline_app.h"

#include <QEventLoop>

namespace pavoline {
namespace {

const char* const kErrorTexts[] = {
    "下载失败，请检查网络连接!",   // kMessageDownloadFailed
    "文件校验失败！",               // kMessageChecksumFailed
    "安装失败，请检查磁盘空间！",   // kMessageInstallFailed
    "下载失败，请检查磁盘空间！",   // kMessageDiskFull
    "机型包不是来自发布者，已拒绝安装！", // kMessageNotFromPublisher
};

QString Megabytes(uint64_t bytes) { return QString::number(static_cast<double>(bytes) / 1048576.0, 'f', 2) + "M"; }

} // namespace

ProgressPage::ProgressPage(OfferedList& models, QWidget* parent, QString programDir)
    : CSkinDialog("DUI_Progress", parent), models_(models), programDir_(std::move(programDir)), tip_(this) {
    status_ = element("Sta_Status");
    count_ = element("Sta_DownloadCount");
    bar_ = element("ProgBar")->AsProgressBar();
    close_ = element("Btn_Close");
    cancel_ = element("Btn_Cancel");
    which_ = element("Sta_ModelNumber");
    bar_->SetRange(0, 100);
    bar_->SetPos(0);
    showCancelButtons(false);
}

ProgressPage::~ProgressPage() { worker_.waitServingSends(); }

int ProgressPage::exec() {
    SetDownloadCancel(false);
    cancelMutex_ = NamedMutex::Create(kDownloadCancelMutex);
    promptMutex_ = NamedMutex::Create(kPromptMutex);
    const std::string programDir = programDir_.toStdString();
    if (!worker_.start([this, programDir] { InstallRun(models_, *this, prompt_, programDir).run(); })) {
        ShowStartupMessage("Couldn't create an install thread", false);
        return Rejected; // nothing installed
    }
    const int result = CSkinDialog::exec();
    worker_.waitServingSends();
    SetDownloadCancel(false);
    return result;
}

void ProgressPage::send(unsigned code, intptr_t lParam) { sendMessage(this, WM_USER, code, lParam); }
void ProgressPage::post(unsigned code, intptr_t lParam) { postMessage(this, WM_USER, code, lParam); }
void ProgressPage::setProgressPosition(int position) { bar_->SetPos(position); }

void ProgressPage::showCancelButtons(bool shown) {
    const int visible = shown ? -1 : 0;
    count_->SetVisible(visible);
    close_->SetVisible(visible);
    cancel_->SetVisible(visible);
}

void ProgressPage::showError(intptr_t messageNumber) {
    if (messageNumber < 0 || messageNumber >= static_cast<intptr_t>(std::size(kErrorTexts))) return;
    const QString text = kErrorTexts[messageNumber];
    if (tipOpen_) {
        // The cancel prompt becomes the error, an OK tip; the worker's send returns only once the
        // user has read it, as for any error, so the page cannot close under it.
        QEventLoop untilRead;
        connect(&tip_, &QDialog::finished, &untilRead, &QEventLoop::quit);
        sendMessage(&tip_, WM_TIP_UPDATE, reinterpret_cast<WPARAM>(&text), 1);
        if (tip_.isVisible()) {
            const ServingQueuedWhileLooping serving;
            untilRead.exec();
        }
        return;
    }
    tip_.Set(text, CTipDlg::kOk, 1);
    tipOpen_ = true;
    tip_.exec();
    tipOpen_ = false;
}

void ProgressPage::promptCancel() {
    if (tipOpen_ || !cancel_->IsVisible()) return;
    {
        NamedLock lock(kPromptMutex);
        prompt_.promptOpen = true;
    }
    tip_.Set("取消下载？", CTipDlg::kYesNo, 0);
    tipOpen_ = true;
    const int answer = tip_.exec();
    tipOpen_ = false;
    if (answer == CTipDlg::kResultOk) {
        {
            NamedLock lock(kPromptMutex);
            prompt_.cancelConfirmed = true;
            prompt_.promptOpen = false;
        }
        if (worker_.running()) {
            SetDownloadCancel(true);
            worker_.waitServingSends(); // its last post then closes the page
        }
    } else {
        NamedLock lock(kPromptMutex);
        prompt_.promptOpen = false;
        prompt_.cancelConfirmed = false;
    }
    if (closeWhenTipEnds_) done(Accepted);
}

void ProgressPage::closedByUser() {
    if (cancel_->IsVisible()) postMessage(this, kCancelPrompt);
}

LRESULT ProgressPage::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SKIN_CLICK) {
        auto* clicked = reinterpret_cast<directui::ISkinElement*>(wParam);
        if (clicked == close_ || clicked == cancel_) postMessage(this, kCancelPrompt);
        return 0;
    }
    if (message == kCancelPrompt) {
        promptCancel();
        return 0;
    }
    if (message != WM_USER) return 0;
    switch (wParam) {
    case kInstallDownloadProgress: {
        const auto* progress = reinterpret_cast<const DownloadProgress*>(lParam);
        count_->SetText(Megabytes(progress->received) + "/" + Megabytes(progress->total));
        if (progress->total != 0) bar_->SetPos(static_cast<int>(progress->received * 100.0 / progress->total));
        return 0;
    }
    case kInstallStatusText:
        status_->SetText(QString::fromStdString(*reinterpret_cast<const std::string*>(lParam)));
        return 0;
    case kInstallModelNumber: {
        const auto* at = reinterpret_cast<const InstallPosition*>(lParam);
        which_->SetText(at->count > 1 ? QString("第 %1/%2 个").arg(at->number).arg(at->count) : QString());
        bar_->SetPos(0); // the last model's full bar does not stand under the next one's name
        return 0;
    }
    case kInstallDownloadError:
    case kInstallChecksumError:
    case kInstallExtractError:
        showError(lParam);
        return 0;
    case kInstallCancelButtons:
        if (lParam) { // a download begins: nothing of it has arrived yet
            count_->SetText("");
            bar_->SetPos(0);
        }
        showCancelButtons(lParam != 0);
        return 0;
    case kInstallFinished:
        if (tipOpen_) { // the prompt goes with the page
            closeWhenTipEnds_ = true;
            tip_.done(CTipDlg::kResultCancel);
        } else {
            done(Accepted);
        }
        return 0;
    default:
        return 0;
    }
}

} // namespace pavoline

#include "model_manage.h"

#include "all_models.h"
#include "catalogue_fetch.h"
#include "download.h"
#include "installed_models.h"
#include "launcher_state.h"
#include "update_server.h"

#include <QTimerEvent>

namespace pavoline {
namespace {

// Sent by the fetch worker when it is done; wParam is its FetchOutcome.
constexpr UINT kFetchDone = WM_USER + 3001;
constexpr int kFirstFetchDelayMs = 100, kRetryFetchDelayMs = 10;

} // namespace

CModelManageDlg::CModelManageDlg(ModelCatalogue& catalogue, MessageWindow* frame, MessageWindow* view, QWidget* parent,
                                 QString programDir)
    : CSkinPage("DUI_ModelManage", parent), catalogue_(catalogue), frame_(frame), view_(view),
      programDir_(std::move(programDir)), waitNotice_(this), updateStateAtCreation_(gUpdateState.load()) {
    allTab_ = element("Tab_RB_AllModel");
    installedTab_ = element("Tab_RB_InstalledModel");
    host_ = element("HndObj_Model")->AsHost();
    // Without the server the manager opens on what is installed and fetches only when asked.
    const int first = updateStateAtCreation_ == -1 ? kInstalledModels : kAllModels;
    ensurePage(first);
    host_->PutWindow(first == kAllModels ? static_cast<QWidget*>(allPage_) : installedPage_);
    host_->Show();
    (first == kAllModels ? allTab_ : installedTab_)->SetCheck(true);
    if (updateStateAtCreation_ != -1) startFetch(kFirstFetchDelayMs);
}

CModelManageDlg::~CModelManageDlg() {
    // A fetch still running is cut short; its last send must find this window whole.
    if (fetchThread_.running()) {
        SetDownloadCancel(true);
        fetchThread_.waitServingSends();
        SetDownloadCancel(false);
    }
}

// A page made now lists what is; only a page made before a change needs its refresh.
void CModelManageDlg::ensurePage(int tab) {
    if (tab == kAllModels && !allPage_)
        allPage_ = new CAllModelDlg(catalogue_, frame_, view_, this, this, programDir_);
    else if (tab == kInstalledModels && !installedPage_)
        installedPage_ = new CInstalledModelDlg(catalogue_, view_, this, this, programDir_);
}

// Every page a change concerns is refreshed before the change is forgotten, whichever tab is
// chosen: the other page is shown later without another word.
void CModelManageDlg::refreshChangedPages() {
    if (!modelsChanged_) return;
    if (allPage_) allPage_->Refresh();
    if (installedPage_) installedPage_->Refresh();
    modelsChanged_ = false;
}

void CModelManageDlg::startFetch(int delayMs) {
    postMessage(this, WM_SHOW_CONNECTING);
    fetchTimer_.start(delayMs, this);
}

void CModelManageDlg::SelectTab(int tab) {
    ensurePage(tab);
    QWidget* shown = tab == kAllModels ? static_cast<QWidget*>(allPage_) : installedPage_;
    host_->Empty();
    host_->PutWindow(shown);
    host_->Show();
    if (tab == kAllModels && !fetchSucceeded_) startFetch(kRetryFetchDelayMs);
    refreshChangedPages();
    (tab == kAllModels ? allTab_ : installedTab_)->SetCheck(true);
}

void CModelManageDlg::CloseDropDown() {
    if (allPage_ && allPage_->isVisible()) allPage_->CloseDropDown();
}

void CModelManageDlg::showConnecting() {
    if (catalogueShown_ || waitNoticeOpen_) return;
    waitNotice_.Set("正在连接服务器，请稍候……", 4, 0);
    waitNoticeOpen_ = true;
    waitNotice_.exec();
    waitNoticeOpen_ = false;
}

void CModelManageDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != fetchTimer_.timerId()) {
        CSkinPage::timerEvent(event);
        return;
    }
    fetchTimer_.stop();
    ++fetchCount_;
    const bool started = fetchThread_.start([this] {
        const FetchOutcome outcome = FetchCatalogue(catalogue_, CatalogueUrl(), CatalogueSignatureUrl());
        sendMessage(this, kFetchDone, static_cast<WPARAM>(outcome));
    });
    if (!started) onFetchNotStarted();
}

// The wait notice never stays without a button: it says what went wrong; the tab tries again.
void CModelManageDlg::onFetchNotStarted() {
    fetchSucceeded_ = false;
    if (allPage_) allPage_->SetFetchFailed(true);
    const QString text = "无法创建获取机型列表的线程，请稍后重试。";
    if (waitNoticeOpen_)
        sendMessage(&waitNotice_, WM_TIP_UPDATE, reinterpret_cast<WPARAM>(&text), 1);
    else
        CTipDlg::ShowNotice(text, this);
}

void CModelManageDlg::onFetchDone(int outcome) {
    if (outcome == static_cast<int>(FetchOutcome::kDownloadFailed) ||
        outcome == static_cast<int>(FetchOutcome::kCatalogueUnverified)) {
        const QString text = outcome == static_cast<int>(FetchOutcome::kDownloadFailed)
                                 ? "接入网络失败，无法更新机型信息。\r\n请检查网络。"
                                 : "机型列表无法验证，不是来自发布者。";
        fetchSucceeded_ = false;
        if (allPage_) allPage_->SetFetchFailed(true);
        if (waitNoticeOpen_) {
            sendMessage(&waitNotice_, WM_TIP_UPDATE, reinterpret_cast<WPARAM>(&text), 1);
            return;
        }
        CTipDlg::ShowNotice(text, this);
        return;
    }
    // A catalogue that could not be loaded has said why; the notice must not stay without a way out.
    if (outcome == static_cast<int>(FetchOutcome::kCatalogueUnusable)) {
        fetchSucceeded_ = false;
        if (allPage_) allPage_->SetFetchFailed(true);
        if (waitNoticeOpen_) sendMessage(&waitNotice_, WM_CLOSE);
        return;
    }
    if (allPage_) {
        allPage_->SetFetchFailed(false);
        allPage_->Refresh();
    }
    catalogueShown_ = true;
    if (waitNoticeOpen_) sendMessage(&waitNotice_, WM_CLOSE);
    fetchSucceeded_ = true;
}

LRESULT CModelManageDlg::windowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_SKIN_CLICK: {
        auto* clicked = reinterpret_cast<directui::ISkinElement*>(wParam);
        if (clicked == allTab_) SelectTab(kAllModels);
        else if (clicked == installedTab_) SelectTab(kInstalledModels);
        return 0;
    }
    case WM_MODELS_CHANGED:
        modelsChanged_ = true;
        gInstalledListChanged = true;
        return 0;
    case WM_SHOW_CONNECTING:
        showConnecting();
        return 0;
    case kFetchDone:
        onFetchDone(static_cast<int>(wParam));
        return 0;
    default:
        return 0;
    }
}

} // namespace pavoline

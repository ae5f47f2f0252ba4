#pragma once
// The model manager: two tabs (all models, installed models) and the host that shows the page of
// the selected one. It fetches the server's catalogue on a worker while a wait notice is shown.

#include "catalogue.h"
#include "skin_page.h"
#include "tip_dialog.h"
#include "worker_thread.h"

#include <QBasicTimer>
#include <atomic>

namespace pavoline {

class CAllModelDlg;
class CInstalledModelDlg;

class CModelManageDlg : public CSkinPage {
    Q_OBJECT
public:
    // frame: the main frame (WM_SWITCH_MODE); view: the main view (WM_SHOW_PHONESELECT).
    CModelManageDlg(ModelCatalogue& catalogue, MessageWindow* frame, MessageWindow* view, QWidget* parent,
                    QString programDir);
    ~CModelManageDlg() override;

    enum Tab { kAllModels = 0, kInstalledModels = 1 };
    void SelectTab(int tab);
    void CloseDropDown();
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CAllModelDlg* allModelsPage() const { return allPage_; }
    CInstalledModelDlg* installedModelsPage() const { return installedPage_; }
    CTipDlg& waitNotice() { return waitNotice_; }
    bool fetchSucceeded() const { return fetchSucceeded_; }
    bool catalogueShown() const { return catalogueShown_; }
    int fetchCount() const { return fetchCount_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void ensurePage(int tab);
    void refreshChangedPages();
    void startFetch(int delayMs);
    void onFetchDone(int outcome);
    void onFetchNotStarted();
    void showConnecting();

    ModelCatalogue& catalogue_;
    MessageWindow* frame_;
    MessageWindow* view_;
    QString programDir_;
    directui::ISkinElement* allTab_;
    directui::ISkinElement* installedTab_;
    directui::IHost* host_;
    CAllModelDlg* allPage_ = nullptr;
    CInstalledModelDlg* installedPage_ = nullptr;
    CTipDlg waitNotice_;
    bool waitNoticeOpen_ = false;
    int updateStateAtCreation_;
    bool catalogueShown_ = false;
    bool fetchSucceeded_ = false;
    bool modelsChanged_ = false;
    int fetchCount_ = 0;
    QBasicTimer fetchTimer_;
    WorkerThread fetchThread_;
};

} // namespace pavoline

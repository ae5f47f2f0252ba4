#pragma once
// The install's progress page: runs the install of a list of models on its worker, shows the
// step, the byte counts and the bar, and lets the user cancel while a package downloads.

#include "install_run.h"
#include "named_mutex.h"
#include "skin_page.h"
#include "tip_dialog.h"
#include "worker_thread.h"

namespace pavoline {

class ProgressPage : public CSkinDialog, private InstallObserver {
    Q_OBJECT
public:
    // The page's own message: the cancel or close button was pressed.
    static constexpr UINT kCancelPrompt = WM_USER + 1012;

    ProgressPage(OfferedList& models, QWidget* parent, QString programDir);
    ~ProgressPage() override;
    int exec() override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    CTipDlg& tip() { return tip_; }

protected:
    void closedByUser() override;

private:
    // InstallObserver, on the install thread.
    void send(unsigned code, intptr_t lParam) override;
    void post(unsigned code, intptr_t lParam) override;
    void setProgressPosition(int position) override;

    void showError(intptr_t messageNumber);
    void showCancelButtons(bool shown);
    void promptCancel();

    OfferedList& models_;
    QString programDir_;
    directui::ISkinElement* status_;
    directui::ISkinElement* count_;
    directui::IProgressBar* bar_;
    directui::ISkinElement* close_;
    directui::ISkinElement* cancel_;
    directui::ISkinElement* which_;
    CTipDlg tip_;
    bool tipOpen_ = false;
    bool closeWhenTipEnds_ = false;
    CancelPromptFlags prompt_;
    std::shared_ptr<NamedMutex> cancelMutex_, promptMutex_;
    WorkerThread worker_;
};

} // namespace pavoline

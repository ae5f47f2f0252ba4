#pragma once
// The installed-models page, and the small window whose worker deletes the ticked models.

#include "catalogue.h"
#include "skin_page.h"
#include "worker_thread.h"

#include <atomic>

namespace pavoline {

class CUninstallDlg : public CSkinDialog {
    Q_OBJECT
public:
    CUninstallDlg(const InstalledList& selection, QWidget* parent, QString programDir);
    int exec() override;
    // False once anything could not be deleted.
    bool outcome() const { return outcome_.load(); }
    // False when its worker could not start: nothing was deleted.
    bool started() const { return started_; }
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    const InstalledList& selection_;
    QString programDir_;
    directui::IProgressBar* bar_;
    std::atomic<bool> outcome_{true};
    bool started_ = false;
    WorkerThread worker_;
};

class CInstalledModelDlg : public CSkinPage {
    Q_OBJECT
public:
    // manager: gets WM_MODELS_CHANGED; view: WM_SHOW_PHONESELECT.
    CInstalledModelDlg(ModelCatalogue& catalogue, MessageWindow* view, MessageWindow* manager, QWidget* parent,
                       QString programDir);
    void Refresh();
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    directui::IList* list() const { return list_; }

private:
    void uninstall();
    void fillRow(directui::IListRow* row, const CInstalledModel& model);

    ModelCatalogue& catalogue_;
    MessageWindow* view_;
    MessageWindow* manager_;
    QString programDir_;
    directui::ISkinElement* uninstall_;
    directui::ISkinElement* back_;
    directui::IList* list_;
    directui::ISkinElement* empty_;
};

} // namespace pavoline

#include "installed_models.h"

#include "tip_dialog.h"
#include "uninstall.h"

namespace pavoline {
namespace {

// What the uninstall worker reports (WM_USER, code in wParam).
constexpr WPARAM kUninstallStarted = 9, kUninstallFinished = 8;
enum RowPart { kPicture = 0, kText = 1, kCheckBox = 2 };

void ShowNotice(QWidget* parent, const QString& text) {
    CTipDlg tip(parent);
    tip.Set(text, CTipDlg::kOk, 1);
    tip.exec();
}

} // namespace

// ---- CUninstallDlg ----------------------------------------------------------------------------

CUninstallDlg::CUninstallDlg(const InstalledList& selection, QWidget* parent, QString programDir)
    : CSkinDialog("DUI_Uninstall", parent), selection_(selection), programDir_(std::move(programDir)),
      bar_(element("Uninstall_ProgBar")->AsProgressBar()) {
    bar_->SetDisplaySettings(2, 35);
}

int CUninstallDlg::exec() {
    const std::string programDir = programDir_.toStdString();
    worker_.start([this, programDir] {
        sendMessage(this, WM_USER, kUninstallStarted);
        for (const CInstalledModel& model : selection_)
            if (!DeleteModelDirectory(model.model, programDir)) outcome_ = false;
        postMessage(this, WM_USER, kUninstallFinished);
    });
    const int result = CSkinDialog::exec();
    worker_.waitServingSends();
    return result;
}

LRESULT CUninstallDlg::windowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_USER) return 0;
    if (wParam == kUninstallStarted) bar_->StartBusy();
    if (wParam == kUninstallFinished) done(Accepted);
    return 0;
}

// ---- CInstalledModelDlg -----------------------------------------------------------------------

CInstalledModelDlg::CInstalledModelDlg(ModelCatalogue& catalogue, MessageWindow* view, MessageWindow* manager,
                                       QWidget* parent, QString programDir)
    : CSkinPage("DUI_InstalledModel", parent), catalogue_(catalogue), view_(view), manager_(manager),
      programDir_(std::move(programDir)) {
    uninstall_ = element("Btn_Uninstall");
    back_ = element("Btn_InstalledModel2Main");
    list_ = element("LV_InstalledModel")->AsList();
    uninstall_->Enable(false);
    Refresh();
}

void CInstalledModelDlg::Refresh() {
    list_->RemoveAll();
    for (const CInstalledModel& m : catalogue_.installed()) {
        directui::IListRow* row = list_->AddRow("UIF_LV_InstalledModel");
        if (!row) break;
        const std::optional<std::string> dir = ModelPackageDir(m.model, programDir_.toStdString());
        const QString model = QString::fromStdString(m.model);
        if (dir) row->PartAt(kPicture)->SetStateImage(0, QString::fromStdString(*dir) + model + "_S.png");
        // The model's name beside its size, so a model without a picture can still be told apart.
        row->PartAt(kText)->SetText(model + "    " + QString::fromStdString(m.space));
    }
    list_->Redraw();
}

bool CInstalledModelDlg::anyTicked() const {
    for (int i = 0; i < list_->RowCount(); ++i) {
        directui::ISkinElement* box = list_->Row(i)->PartAt(kCheckBox);
        if (box->IsVisible() && box->GetCheck()) return true;
    }
    return false;
}

void CInstalledModelDlg::uninstall() {
    CTipDlg question(this);
    question.Set("卸载所选机型？", CTipDlg::kYesNo, 0);
    if (question.exec() != CTipDlg::kResultOk) return;
    InstalledList selection;
    const InstalledList& installed = catalogue_.installed();
    for (int i = 0; i < list_->RowCount() && i < static_cast<int>(installed.size()); ++i) {
        directui::ISkinElement* box = list_->Row(i)->PartAt(kCheckBox);
        if (box->IsVisible() && box->GetCheck()) selection.push_back(installed[static_cast<size_t>(i)]);
    }
    CUninstallDlg window(selection, this, programDir_);
    window.exec();
    uninstall_->Enable(false);
    catalogue_.RecordUninstalledModels(selection);
    Refresh();
    sendMessage(manager_, WM_MODELS_CHANGED);
    ShowNotice(this, window.outcome() ? "卸载已完成" : "卸载已完成\r\n部分文件无法删除，请手动删除！");
}

LRESULT CInstalledModelDlg::windowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SKIN_CLICK) {
        auto* clicked = reinterpret_cast<directui::ISkinElement*>(wParam);
        if (clicked == uninstall_) uninstall();
        else if (clicked == back_) sendMessage(view_, WM_SHOW_PHONESELECT);
        return 0;
    }
    if (message == WM_SKIN_LISTITEM) {
        const auto* record = reinterpret_cast<const directui::SkinListItemNotify*>(wParam);
        if (record->code != directui::kListItemClicked || record->list != list_) return 0;
        if (record->part != "Lgo_IM_Item" && record->part != "CB_IM_Item") return 0;
        directui::IListRow* row = list_->Row(record->row);
        if (!row) return 0;
        directui::ISkinElement* box = row->PartAt(kCheckBox);
        if (record->part == "Lgo_IM_Item" && box->IsVisible()) box->SetCheck(!box->GetCheck());
        uninstall_->Enable(anyTicked());
    }
    return 0;
}

} // namespace pavoline

#include "installed_models.h"

#include "tip_dialog.h"
#include "uninstall.h"

namespace pavoline {
namespace {

// What the uninstall worker reports (WM_USER, code in wParam).
constexpr WPARAM kUninstallStarted = 9, kUninstallFinished = 8;
enum RowPart { kPicture = 0, kText = 1, kCheckBox = 2 };

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
        if (dir) row->PartAt(kPicture)->SetStateImage(0, QString::fromStdString(ModelFile(*dir, m.model, "_S.png")));
        // The model's name beside its size, so a model without a picture can still be told apart.
        row->PartAt(kText)->SetText(model + "    " + QString::fromStdString(m.space));
    }
    list_->Redraw();
}

void CInstalledModelDlg::uninstall() {
    CTipDlg question(this);
    question.Set("卸载所选机型？", CTipDlg::kYesNo, 0);
    if (question.exec() != CTipDlg::kResultOk) return;
    InstalledList selection;
    const InstalledList& installed = catalogue_.installed();
    for (int row : TickedRows(list_, kCheckBox))
        if (row < static_cast<int>(installed.size())) selection.push_back(installed[static_cast<size_t>(row)]);
    CUninstallDlg window(selection, this, programDir_);
    window.exec();
    uninstall_->Enable(false);
    catalogue_.RecordUninstalledModels(selection);
    Refresh();
    sendMessage(manager_, WM_MODELS_CHANGED);
    CTipDlg::ShowNotice(window.outcome() ? "卸载已完成" : "卸载已完成\r\n部分文件无法删除，请手动删除！", this);
}

LRESULT CInstalledModelDlg::windowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SKIN_CLICK) {
        auto* clicked = reinterpret_cast<directui::ISkinElement*>(wParam);
        if (clicked == uninstall_) uninstall();
        else if (clicked == back_) sendMessage(view_, WM_SHOW_PHONESELECT);
        return 0;
    }
    if (message == WM_SKIN_LISTITEM &&
        TickOnRowClick(reinterpret_cast<const directui::SkinListItemNotify*>(wParam), list_, "Lgo_IM_Item", "CB_IM_Item"))
        uninstall_->Enable(!TickedRows(list_, kCheckBox).empty());
    return 0;
}

} // namespace pavoline

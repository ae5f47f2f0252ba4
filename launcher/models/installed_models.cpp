#include "installed_models.h"

#include "all_models.h"
#include "pavoline_app.h"
#include "tip_dialog.h"
#include "uninstall.h"

namespace pavoline {
namespace {

// What the uninstall worker reports (WM_USER, code in wParam).
constexpr WPARAM kUninstallStarted = 9, kUninstallFinished = 8;
// The parts of a row, by the names the row template gives them.
const QString kPicture = "Lgo_IM_Item", kName = "Sta_IM_Item", kDetail = "Sta_IM_Detail", kCheckBox = "CB_IM_Item";

// The line under the name, as the all-models page words it, with the package's size; what the
// file does not keep (family, style, version) comes from the catalogue when it has been fetched.
QString InstalledModelDetails(const CInstalledModel& m, const COfferedModel* offered) {
    const QString size = "大小：" + QString::fromStdString(m.space);
    if (offered) return OfferedModelDetails(*offered) + "　　" + size;
    return "屏幕：" + QString::fromStdString(m.lcdsize) + "　　" + size;
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
    started_ = worker_.start([this, programDir] {
        sendMessage(this, WM_USER, kUninstallStarted);
        for (const CInstalledModel& model : selection_)
            if (!DeleteModelDirectory(model.model, programDir)) outcome_ = false;
        postMessage(this, WM_USER, kUninstallFinished);
    });
    if (!started_) { // nothing deleted, so the models stay installed and ticked
        ShowStartupMessage("Couldn't create an uninstall thread", false);
        return Rejected;
    }
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
    empty_ = element("Sta_IM_Empty");
    uninstall_->Enable(false);
    Refresh();
}

void CInstalledModelDlg::fillRow(directui::IListRow* row, const CInstalledModel& m) {
    const std::optional<std::string> dir = ModelPackageDir(m.model, programDir_.toStdString());
    if (dir) row->Part(kPicture)->SetStateImage(0, QString::fromStdString(ModelFile(*dir, m.model, "_S.png")));
    const COfferedModel* offered = nullptr;
    if (const OfferedList* list = catalogue_.offered())
        for (const COfferedModel& o : *list)
            if (SameModelName(o.model, m.model)) {
                offered = &o;
                break;
            }
    row->Part(kName)->SetText(QString::fromStdString(m.model));
    row->Part(kDetail)->SetText(InstalledModelDetails(m, offered));
}

// Rows are filled as they are first shown; the installed list is kept as it is until the next Refresh.
void CInstalledModelDlg::Refresh() {
    const InstalledList& installed = catalogue_.installed();
    list_->SetRows("UIF_LV_InstalledModel", static_cast<int>(installed.size()), [this, &installed](directui::IListRow* row) {
        if (row->Index() < static_cast<int>(installed.size())) fillRow(row, installed[static_cast<size_t>(row->Index())]);
    });
    list_->Redraw();
    empty_->SetText("尚未安装机型，可在“全部机型”中选择安装");
    empty_->SetVisible(catalogue_.installed().empty() ? -1 : 0);
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
    if (!window.started()) return;
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
        TickOnRowClick(reinterpret_cast<const directui::SkinListItemNotify*>(wParam), list_, kCheckBox))
        uninstall_->Enable(!TickedRows(list_, kCheckBox).empty());
    return 0;
}

} // namespace pavoline

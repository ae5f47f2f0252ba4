#include "install_done.h"

#include "platform.h"

namespace pavoline {
namespace {

constexpr int kCellsPerRow = 3;

QString CellPicture(int cell) { return QString("Lgo_InstallDone_Item%1").arg(cell + 1); }
QString CellText(int cell) { return QString("Sta_Item%1").arg(cell + 1); }

} // namespace

InstallDonePage::InstallDonePage(const OfferedList& models, QWidget* parent, QString programDir)
    : CSkinDialog("DUI_InstallDone", parent), models_(models), programDir_(std::move(programDir)),
      list_(element("LV_InstallDone")->AsList()), close_(element("Btn_InstallDone_Close")) {
    fill();
}

// Rows are filled as they are first shown: a grid of many models costs what is on screen.
void InstallDonePage::fill() {
    list_->RemoveAll();
    const int n = static_cast<int>(models_.size());
    if (n == 0) return;
    const QString rowTemplate = n == 1 ? "UIF_LV_InstallDone_1Item"
                                : n == 2 ? "UIF_LV_InstallDone_2Item"
                                         : "UIF_LV_InstallDone_3Item";
    const int rows = (n + kCellsPerRow - 1) / kCellsPerRow;
    list_->SetRows(rowTemplate, rows, [this](directui::IListRow* row) { fillRow(row); });
    list_->Redraw();
}

void InstallDonePage::fillRow(directui::IListRow* row) const {
    const int n = static_cast<int>(models_.size());
    for (int cell = 0; cell < std::min(n, kCellsPerRow); ++cell) {
        const int index = row->Index() * kCellsPerRow + cell;
        if (index >= n) { // the last row's empty cells
            row->Part(CellPicture(cell))->SetVisible(0);
            row->Part(CellText(cell))->SetVisible(0);
            continue;
        }
        const std::string& model = models_[static_cast<size_t>(index)].model;
        const std::optional<std::string> dir = ModelPackageDir(model, programDir_.toStdString());
        if (dir) row->Part(CellPicture(cell))->SetStateImage(0, QString::fromStdString(ModelFile(*dir, model, "_S.png")));
        row->Part(CellText(cell))->SetText(QString::fromStdString(model));
    }
}

LRESULT InstallDonePage::windowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SKIN_CLICK && reinterpret_cast<directui::ISkinElement*>(wParam) == close_) {
        done(kClosed);
        return 0;
    }
    if (message != WM_SKIN_LISTITEM) return 0;
    const auto* record = reinterpret_cast<const directui::SkinListItemNotify*>(wParam);
    if (record->code != directui::kListItemClicked || record->list != list_) return 0;
    for (int cell = 0; cell < kCellsPerRow; ++cell) {
        if (record->part.compare(CellPicture(cell), Qt::CaseInsensitive) != 0 &&
            record->part.compare(CellText(cell), Qt::CaseInsensitive) != 0)
            continue;
        const int index = record->row * kCellsPerRow + cell;
        if (index < 0 || index >= static_cast<int>(models_.size())) return 0;
        selected_ = QString::fromStdString(models_[static_cast<size_t>(index)].model);
        if (!selected_.isEmpty()) done(kOpen);
        return 0;
    }
    return 0;
}

} // namespace pavoline

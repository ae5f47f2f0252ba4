#include "all_models.h"

#include "install_done.h"
#include "progress_page.h"

#include <QKeyEvent>

#include <algorithm>
#include <unordered_set>

namespace pavoline {
namespace {

const QString kAllFamilies = "全部系列";
const QString kAllStyles = "全部机型";
constexpr int kSearchLength = 10;

// The parts of a row, by the names the row template gives them.
const QString kThumbnail = "Lgo_AL_Item", kInstalledMark = "Sta_AL_Installed", kCheckBox = "CB_AL_Item";
const QString kName = "Sta_AL_Name", kDetail = "Sta_AL_Detail";

// What an empty list says.
const QString kNoMatch = "没有符合条件的机型";
const QString kNothingOffered = "服务器暂未提供机型";
const QString kFetchFailed = "获取机型列表失败，点击“全部机型”重试";

QStringList ToStringList(const std::unordered_set<std::string>& values) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(values.size()));
    for (const std::string& value : values) list << QString::fromStdString(value);
    return list;
}

bool SameText(const std::string& a, const QString& b) {
    return QString::fromStdString(a).compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString OfferedModelDetails(const COfferedModel& m) {
    return QString("系列：%1　　风格：%2　　屏幕：%3　　版本：%4")
        .arg(QString::fromStdString(m.family), QString::fromStdString(m.style), QString::fromStdString(m.lcdsize),
             QString::fromStdString(m.version));
}

// ---- CAllListContainerDlg ---------------------------------------------------------------------

CAllListContainerDlg::CAllListContainerDlg(MessageWindow* page, QWidget* parent)
    : CSkinPage("DUI_AllListContainer", parent), page_(page), list_(element("LV_AllList")->AsList()),
      empty_(element("Sta_AL_Empty")) {
    empty_->SetVisible(0);
}

// One row shows one record; a part the row template lacks is the skin's stand-in and shows nothing.
void CAllListContainerDlg::FillRow(directui::IListRow* row, const COfferedModel& m) {
    const QString model = QString::fromStdString(m.model);
    row->Part(kThumbnail)->SetStateImage(0, QString::fromStdString(m.imageurl));
    row->Part(kThumbnail)->SetTip(model);
    row->Part(m.installed ? kCheckBox : kInstalledMark)->SetVisible(0);
    row->Part(kName)->SetText(model);
    row->Part(kDetail)->SetText(OfferedModelDetails(m));
}

// A row is filled when it is first shown or asked for, so listing costs what the screen shows;
// the values for the boxes are gathered once each, however many models share them.
void CAllListContainerDlg::List(const OfferedList* models, const QString& emptyText) {
    if (!models) return;
    std::unordered_set<std::string> families, styles;
    for (const COfferedModel& m : *models) {
        families.insert(m.family);
        styles.insert(m.style);
    }
    families_ = ToStringList(families);
    styles_ = ToStringList(styles);
    list_->SetRows("UIF_LV_AllList", static_cast<int>(models->size()), [models](directui::IListRow* row) {
        if (row->Index() < static_cast<int>(models->size())) FillRow(row, (*models)[static_cast<size_t>(row->Index())]);
    });
    list_->Redraw();
    SayWhyEmpty(models->empty() ? emptyText : QString());
}

void CAllListContainerDlg::SayWhyEmpty(const QString& text) {
    empty_->SetText(text);
    empty_->SetVisible(text.isEmpty() ? 0 : -1);
}

bool CAllListContainerDlg::AnyTicked() const { return !TickedRows().empty(); }

std::vector<int> CAllListContainerDlg::TickedRows() const { return pavoline::TickedRows(list_, kCheckBox); }

LRESULT CAllListContainerDlg::windowProc(UINT message, WPARAM wParam, LPARAM) {
    // An installed model has no check box to tick.
    if (message == WM_SKIN_LISTITEM &&
        TickOnRowClick(reinterpret_cast<const directui::SkinListItemNotify*>(wParam), list_, kCheckBox))
        sendMessage(page_, WM_CHECK_CHANGED, AnyTicked() ? 1 : 0);
    return 0;
}

// ---- CAllModelDlg ------------------------------------------------------------------------------

CAllModelDlg::CAllModelDlg(ModelCatalogue& catalogue, MessageWindow* frame, MessageWindow* view, MessageWindow* manager,
                           QWidget* parent, QString programDir)
    : CSkinPage("DUI_AllModel", parent), catalogue_(catalogue), frame_(frame), view_(view), manager_(manager),
      programDir_(std::move(programDir)) {
    install_ = element("Btn_Install");
    back_ = element("Btn_AllModel2Main");
    family_ = element("Com_Family");
    style_ = element("Com_Style");
    install_->Enable(false);
    listWindow_ = new CAllListContainerDlg(this, this);
    element("HndObj_AllListContainer")->AsHost()->PutWindow(listWindow_);
    search_ = new CSearchEdit;
    search_->setMaxLength(kSearchLength);
    search_->setAlignment(Qt::AlignCenter);
    search_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding); // as high as the boxes beside it
    search_->installEventFilter(this);
    element("HndObj_Search")->AsHost()->PutWindow(search_);
    afterSearch_ = new QLineEdit(this);
    afterSearch_->setGeometry(0, 0, 0, 0);
    Refresh();
}

void CAllModelDlg::display(const OfferedList* models) {
    displayed_ = models;
    if (models) {
        listWindow_->List(models, models == &filtered_ ? kNoMatch : kNothingOffered);
    } else {
        listWindow_->list()->RemoveAll();
        listWindow_->SayWhyEmpty(fetchFailed_ ? kFetchFailed : QString());
    }
    install_->Enable(false);
}

void CAllModelDlg::SetFetchFailed(bool failed) {
    fetchFailed_ = failed;
    if (!displayed_) display(nullptr);
}

void CAllModelDlg::displayMatching(const std::function<bool(const COfferedModel&)>& matches) {
    const OfferedList* offered = catalogue_.LoadOfferedCatalogue("");
    if (!matches || !offered) {
        display(offered);
        return;
    }
    filtered_ = MatchingModels(*offered, matches);
    display(&filtered_);
}

OfferedList MatchingModels(const OfferedList& offered, const std::function<bool(const COfferedModel&)>& matches) {
    OfferedList found;
    for (const COfferedModel& m : offered)
        if (matches(m)) found.push_back(m);
    return found;
}

bool ModelNameContains(const COfferedModel& m, const QString& text) {
    return QString::fromStdString(m.model).contains(text, Qt::CaseInsensitive);
}

void CAllModelDlg::FillBox(directui::IComboBox* box, const QString& first, QStringList values) {
    box->Empty();
    box->AddString(first);
    std::sort(values.begin(), values.end()); // by code unit: abc and ABC are two entries
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (const QString& value : values) box->AddString(value);
}

void CAllModelDlg::selectFirstEntries() {
    family_->AsComboBox()->SetCurSel(0);
    style_->AsComboBox()->SetCurSel(0);
    familySelection_ = styleSelection_ = 0;
}

void CAllModelDlg::Refresh() {
    display(catalogue_.LoadOfferedCatalogue(""));
    FillBox(family_->AsComboBox(), kAllFamilies, listWindow_->families());
    FillBox(style_->AsComboBox(), kAllStyles, listWindow_->styles());
    selectFirstEntries();
    search_->ShowHint(); // the whole list again: no search stands in the box
}

void CAllModelDlg::filterByBoxes(directui::ISkinElement* box) {
    int& remembered = box == family_ ? familySelection_ : styleSelection_;
    const int selected = box->AsComboBox()->GetCurSel();
    if (selected == remembered && !force_) return;
    remembered = selected;
    const QString family = family_->AsComboBox()->GetItemText(family_->AsComboBox()->GetCurSel());
    const QString style = style_->AsComboBox()->GetItemText(style_->AsComboBox()->GetCurSel());
    if (family == kAllFamilies && style == kAllStyles)
        displayMatching(nullptr);
    else
        displayMatching([&](const COfferedModel& m) {
            return (family == kAllFamilies || SameText(m.family, family)) && (style == kAllStyles || SameText(m.style, style));
        });
    force_ = false;
}

void CAllModelDlg::search() {
    const QString text = search_->SearchText();
    selectFirstEntries();
    if (text.isEmpty())
        displayMatching(nullptr);
    else
        displayMatching([&](const COfferedModel& m) { return ModelNameContains(m, text); });
    force_ = true;
    afterSearch_->setFocus();
}

void CAllModelDlg::CloseDropDown() {
    if (!popupOpened_) return;
    family_->AsComboBox()->ClosePopup();
    style_->AsComboBox()->ClosePopup();
}

bool CAllModelDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            search();
            return true;
        }
    }
    return CSkinPage::eventFilter(watched, event);
}

void CAllModelDlg::install() {
    if (!displayed_) return;
    OfferedList selection;
    for (int row : listWindow_->TickedRows())
        if (row < static_cast<int>(displayed_->size())) selection.push_back((*displayed_)[static_cast<size_t>(row)]);
    ProgressPage progress(selection, this, programDir_);
    progress.exec();
    selection.erase(std::remove_if(selection.begin(), selection.end(), [](const COfferedModel& m) { return !m.installed; }),
                    selection.end());
    if (selection.empty()) return; // nothing installed: the page stays as it was
    catalogue_.RecordInstalledModels(selection);
    sendMessage(manager_, WM_MODELS_CHANGED);
    Refresh();
    install_->Enable(false);
    InstallDonePage done(selection, this, programDir_);
    if (done.exec() == InstallDonePage::kOpen) {
        const QString model = done.selectedModel();
        sendMessage(frame_, WM_SWITCH_MODE, 1, reinterpret_cast<LPARAM>(&model));
    }
}

LRESULT CAllModelDlg::windowProc(UINT message, WPARAM wParam, LPARAM) {
    auto* element = reinterpret_cast<directui::ISkinElement*>(wParam);
    switch (message) {
    case WM_SKIN_CLICK:
        if (element == install_) install();
        else if (element == back_) postMessage(view_, WM_SHOW_PHONESELECT);
        return 0;
    case WM_SKIN_SELCHANGE:
        if (element == family_ || element == style_) filterByBoxes(element);
        return 0;
    case WM_SKIN_POPUP:
        popupOpened_ = true;
        return 0;
    case WM_CHECK_CHANGED:
        install_->Enable(wParam != 0);
        return 0;
    default:
        return 0;
    }
}

} // namespace pavoline

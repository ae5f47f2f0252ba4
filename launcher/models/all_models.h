#pragma once
// The all-models page: every model the server offers, filtered by family and style or searched by
// name; ticked models are installed behind the progress page and shown on the install-done page.

#include "catalogue.h"
#include "owner_drawn.h"
#include "skin_page.h"

#include <QStringList>

#include <functional>

namespace pavoline {

// "系列：…　　风格：…　　屏幕：…　　版本：…", the line under a model's name.
QString OfferedModelDetails(const COfferedModel& m);
// The records that match, in order; the filters and the search work on records, not on rows.
OfferedList MatchingModels(const OfferedList& offered, const std::function<bool(const COfferedModel&)>& matches);
// The search's rule: the text anywhere in the model's name, without regard to letter case.
bool ModelNameContains(const COfferedModel& m, const QString& text);

// The list window of the page: one row per model of the list it is given.
class CAllListContainerDlg : public CSkinPage {
    Q_OBJECT
public:
    CAllListContainerDlg(MessageWindow* page, QWidget* parent);
    // Lists the models (nothing for no list), which must stay as they are until the next listing;
    // collects their families and styles, each once. An empty list shows emptyText over the list.
    void List(const OfferedList* models, const QString& emptyText = QString());
    static void FillRow(directui::IListRow* row, const COfferedModel& model);
    // A line over the list saying why it is empty; none for an empty text.
    void SayWhyEmpty(const QString& text);
    QString emptyText() const { return empty_->IsVisible() ? empty_->GetText() : QString(); }
    bool AnyTicked() const;
    // The rows ticked by the user, by index into the list last given.
    std::vector<int> TickedRows() const;
    directui::IList* list() const { return list_; }
    // Each value once, in no order.
    const QStringList& families() const { return families_; }
    const QStringList& styles() const { return styles_; }
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    MessageWindow* page_;
    directui::IList* list_;
    directui::ISkinElement* empty_;
    QStringList families_, styles_;
};

class CAllModelDlg : public CSkinPage {
    Q_OBJECT
public:
    // manager: gets WM_MODELS_CHANGED; frame: WM_SWITCH_MODE; view: WM_SHOW_PHONESELECT.
    CAllModelDlg(ModelCatalogue& catalogue, MessageWindow* frame, MessageWindow* view, MessageWindow* manager,
                 QWidget* parent, QString programDir);
    void Refresh();
    void CloseDropDown();
    // Without a catalogue, the list says that the fetch failed and how to try again.
    void SetFetchFailed(bool failed);
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CAllListContainerDlg* listWindow() const { return listWindow_; }
    CSearchEdit* searchEdit() const { return search_; }
    const OfferedList* displayed() const { return displayed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void display(const OfferedList* models);
    // The offered models that match (all of them, the offered list itself, for no test).
    void displayMatching(const std::function<bool(const COfferedModel&)>& matches);
    void filterByBoxes(directui::ISkinElement* box);
    void search();
    void selectFirstEntries();
    void install();
    static void FillBox(directui::IComboBox* box, const QString& first, QStringList values);

    ModelCatalogue& catalogue_;
    MessageWindow* frame_;
    MessageWindow* view_;
    MessageWindow* manager_;
    QString programDir_;
    directui::ISkinElement* install_;
    directui::ISkinElement* back_;
    directui::ISkinElement* family_;
    directui::ISkinElement* style_;
    CAllListContainerDlg* listWindow_;
    CSearchEdit* search_;
    QLineEdit* afterSearch_; // takes the focus after a search, never seen
    const OfferedList* displayed_ = nullptr;
    OfferedList filtered_;
    int familySelection_ = 0, styleSelection_ = 0;
    bool force_ = false;
    bool popupOpened_ = false;
    bool fetchFailed_ = false;
};

} // namespace pavoline

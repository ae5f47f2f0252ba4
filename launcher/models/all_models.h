#pragma once
// The all-models page: every model the server offers, filtered by family and style or searched by
// name; ticked models are installed behind the progress page and shown on the install-done page.

#include "catalogue.h"
#include "owner_drawn.h"
#include "skin_page.h"

#include <QStringList>

#include <functional>

namespace pavoline {

// The list window of the page: one row per model of the list it is given.
class CAllListContainerDlg : public CSkinPage {
    Q_OBJECT
public:
    CAllListContainerDlg(MessageWindow* page, QWidget* parent);
    // Lists the models (nothing for no list); collects their families and styles.
    void List(const OfferedList* models);
    bool AnyTicked() const;
    // The rows ticked by the user, by index into the list last given.
    std::vector<int> TickedRows() const;
    directui::IList* list() const { return list_; }
    const QStringList& families() const { return families_; }
    const QStringList& styles() const { return styles_; }
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    MessageWindow* page_;
    directui::IList* list_;
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
};

} // namespace pavoline

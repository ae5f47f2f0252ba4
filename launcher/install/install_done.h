#pragma once
// The install-done page: the models just installed as a grid of pictures, three to a row; a click
// on one closes the page and names the model to open.

#include "model_records.h"
#include "skin_page.h"

namespace pavoline {

class InstallDonePage : public CSkinDialog {
    Q_OBJECT
public:
    enum Result { kOpen = 1, kClosed = 2 };
    InstallDonePage(const OfferedList& models, QWidget* parent, QString programDir);
    const QString& selectedModel() const { return selected_; }
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    directui::IList* list() const { return list_; }

protected:
    void closedByUser() override { done(kClosed); }

private:
    void fill();
    void fillRow(directui::IListRow* row) const;

    const OfferedList& models_;
    QString programDir_;
    directui::IList* list_;
    directui::ISkinElement* close_;
    QString selected_;
};

} // namespace pavoline

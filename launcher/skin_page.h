#pragma once
// The two shapes of a launcher page: a child window (CSkinPage) and a modal dialog (CSkinDialog),
// each showing a named skin form whose elements it drives and whose notifications it receives.

#include "message_window.h"
#include "skin.h"

#include <QDialog>
#include <QWidget>

#include <vector>

namespace pavoline {

// Lists whose rows carry a check box (the model pages): a click anywhere else on a row (its
// picture, name or details) ticks and unticks it, where its box is shown. True when the
// notification was a click on a part of a row of this list.
bool TickOnRowClick(const directui::SkinListItemNotify* record, directui::IList* list, const QString& boxPart);
// The rows whose box is shown and ticked.
std::vector<int> TickedRows(directui::IList* list, const QString& boxPart);

class CSkinPage : public QWidget, public MessageWindow {
    Q_OBJECT
public:
    CSkinPage(const char* formName, QWidget* parent);
    directui::ISkinForm* form() const { return form_; }
    // An element of the form; the skin answers an unknown name with a stand-in that does nothing.
    directui::ISkinElement* element(const char* name) const { return form_->FindElement(name, 90000); }

private:
    directui::ISkinForm* form_ = nullptr;
};

// A borderless modal dialog: Escape, Enter and Space never end it, a close from the window
// manager goes to closedByUser(), and it is centred on its owner (its parent, else the main
// window, else the screen).
class CSkinDialog : public QDialog, public MessageWindow {
    Q_OBJECT
public:
    CSkinDialog(const char* formName, QWidget* parent);
    directui::ISkinForm* form() const { return form_; }
    directui::ISkinElement* element(const char* name) const { return form_ ? form_->FindElement(name, 90000) : nullptr; }
    int exec() override;
    void done(int result) override;

protected:
    // What a close from the window manager (Alt+F4) means; by default nothing.
    virtual void closedByUser() {}
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void centreOnOwner();

    directui::ISkinForm* form_ = nullptr;
    bool ending_ = false;
};

} // namespace pavoline

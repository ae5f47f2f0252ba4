#pragma once
// The one skinned dialog through which the launcher's pages show messages and ask yes/no
// questions, on the form "DUI_Tip".

#include "message_window.h"
#include "skin.h"

#include <QDialog>
#include <QPoint>
#include <QSize>
#include <QString>

namespace pavoline {

class CTipDlg : public QDialog, public MessageWindow {
    Q_OBJECT
public:
    enum ButtonSet { kYesNo = 1, kOk = 2 }; // bit 0 takes precedence
    enum Result { kResultOk = 1, kResultCancel = 2 };

    // Centred on its owner: parent, else the application's main window, else the screen.
    explicit CTipDlg(QWidget* parent = nullptr);
    void Set(const QString& text, int buttonSet, int closeButton);
    // Runs modally: 1 for "Btn_OK", "Btn_Close" and "Btn_Yes", 2 for "Btn_No".
    int exec() override;
    void done(int result) override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    QString text() const { return text_; }
    directui::ISkinForm* form() const { return form_; }

    // Tests queue the answer of the next tip instead of a click; the tip then is not shown.
    static void SetNextAnswer(int result);
    // The text of the last tip shown or answered, for tests.
    static QString LastText();

protected:
    // Escape, Enter and Space never end a tip; a close from the window manager counts as the
    // close button where one is shown, and does nothing where none is.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showButtonsFor(int buttonSet, int closeButton);
    void showText(const QString& text);
    void centreOnOwner();

    QString text_;
    int buttonSet_ = kOk;
    int closeButton_ = 1;
    bool ending_ = false;
    directui::ISkinForm* form_ = nullptr;
    directui::ISkinElement* label_ = nullptr;
    directui::ISkinElement* ok_ = nullptr;
    directui::ISkinElement* close_ = nullptr;
    directui::ISkinElement* yes_ = nullptr;
    directui::ISkinElement* no_ = nullptr;
    // The form's own geometry, from which a long text grows the tip downwards.
    QSize baseSize_;
    int baseLabelHeight_ = 0;
    QPoint baseButtons_[3];
};

} // namespace pavoline

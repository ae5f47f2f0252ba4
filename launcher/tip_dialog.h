#pragma once
// The one skinned dialog through which the launcher's pages show messages and ask yes/no
// questions, on the form "DUI_Tip".

#include "message_window.h"
#include "skin.h"

#include <QDialog>
#include <QString>

namespace pavoline {

class CTipDlg : public QDialog, public MessageWindow {
    Q_OBJECT
public:
    enum ButtonSet { kYesNo = 1, kOk = 2 }; // bit 0 takes precedence
    enum Result { kResultOk = 1, kResultCancel = 2 };

    explicit CTipDlg(QWidget* parent = nullptr);
    void Set(const QString& text, int buttonSet, int closeButton);
    // Runs modally: 1 for "Btn_OK", "Btn_Close" and "Btn_Yes", 2 for "Btn_No".
    int exec() override;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    QString text() const { return text_; }
    directui::ISkinForm* form() const { return form_; }

    // Tests queue the answer of the next tip instead of a click; the tip then is not shown.
    static void SetNextAnswer(int result);
    // The text of the last tip shown or answered, for tests.
    static QString LastText();

private:
    void showButtonsFor(int buttonSet, int closeButton);

    QString text_;
    int buttonSet_ = kOk;
    int closeButton_ = 1;
    directui::ISkinForm* form_ = nullptr;
    directui::ISkinElement* label_ = nullptr;
    directui::ISkinElement* ok_ = nullptr;
    directui::ISkinElement* close_ = nullptr;
    directui::ISkinElement* yes_ = nullptr;
    directui::ISkinElement* no_ = nullptr;
};

} // namespace pavoline

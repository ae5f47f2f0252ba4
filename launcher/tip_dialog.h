#pragma once
// The one skinned dialog through which the launcher's pages show messages and ask yes/no
// questions, on the form "DUI_Tip". A close from the window manager counts as its close button
// where one is shown and does nothing where none is, so a tip without buttons stays until the
// program closes it.

#include "skin_page.h"

#include <QPoint>
#include <QSize>
#include <QString>

namespace pavoline {

class CTipDlg : public CSkinDialog {
    Q_OBJECT
public:
    enum ButtonSet { kYesNo = 1, kOk = 2 }; // bit 0 takes precedence
    enum Result { kResultOk = 1, kResultCancel = 2 };

    explicit CTipDlg(QWidget* parent = nullptr);
    void Set(const QString& text, int buttonSet, int closeButton);
    // Runs modally: 1 for "Btn_OK", "Btn_Close" and "Btn_Yes", 2 for "Btn_No".
    int exec() override;
    // WM_SKIN_CLICK, WM_TIP_UPDATE, and WM_CLOSE (ends it with the OK result).
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    QString text() const { return text_; }

    // A notice: the text with an OK and a close button, run modally.
    static void ShowNotice(const QString& text, QWidget* parent = nullptr);

    // Tests queue the answer of the next tip instead of a click; the tip then is not shown.
    static void SetNextAnswer(int result);
    // The text of the last tip shown or answered, for tests.
    static QString LastText();

protected:
    void closedByUser() override;

private:
    void showButtonsFor(int buttonSet, int closeButton);
    void showText(const QString& text);

    QString text_;
    int buttonSet_ = kOk;
    int closeButton_ = 1;
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

#include "tip_dialog.h"

#include "skin_loader.h"

#include <QGuiApplication>
#include <QScreen>

#include <deque>

namespace pavoline {
namespace {

std::deque<int>& NextAnswers() {
    static std::deque<int> answers;
    return answers;
}
QString& LastTextSlot() {
    static QString text;
    return text;
}

} // namespace

CTipDlg::CTipDlg(QWidget* parent) : QDialog(parent), MessageWindow(this) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    if (directui::ISkin* skin = AppSkin()) form_ = skin->CreateForm("DUI_Tip", this);
    if (form_) {
        label_ = form_->FindElement("Sta_tip", 90000);
        ok_ = form_->FindElement("Btn_OK", 90000);
        close_ = form_->FindElement("Btn_Close", 90000);
        yes_ = form_->FindElement("Btn_Yes", 90000);
        no_ = form_->FindElement("Btn_No", 90000);
        setFixedSize(form_->Root()->size());
    }
}

void CTipDlg::Set(const QString& text, int buttonSet, int closeButton) {
    text_ = text;
    buttonSet_ = buttonSet;
    closeButton_ = closeButton;
}

void CTipDlg::SetNextAnswer(int result) { NextAnswers().push_back(result); }
QString CTipDlg::LastText() { return LastTextSlot(); }

void CTipDlg::showButtonsFor(int buttonSet, int closeButton) {
    if (!form_) return;
    close_->SetVisible(closeButton ? -1 : 0);
    if (buttonSet & kYesNo) {
        ok_->SetVisible(0);
        yes_->SetVisible(-1);
        no_->SetVisible(-1);
    } else {
        ok_->SetVisible(buttonSet & kOk ? -1 : 0);
        yes_->SetVisible(0);
        no_->SetVisible(0);
    }
}

int CTipDlg::exec() {
    LastTextSlot() = text_;
    if (form_) label_->SetText(text_);
    showButtonsFor(buttonSet_, closeButton_);
    if (!NextAnswers().empty()) {
        const int answer = NextAnswers().front();
        NextAnswers().pop_front();
        return answer;
    }
    // Centred over the owner, or the screen.
    const QRect area = parentWidget() ? parentWidget()->window()->geometry()
                                      : (screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768));
    move(area.center() - rect().center());
    return QDialog::exec();
}

LRESULT CTipDlg::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SKIN_CLICK) {
        auto* element = reinterpret_cast<directui::ISkinElement*>(wParam);
        if (element == ok_ || element == close_ || element == yes_)
            done(kResultOk);
        else if (element == no_)
            done(kResultCancel);
        return 0;
    }
    if (message == WM_TIP_UPDATE) {
        text_ = *reinterpret_cast<const QString*>(wParam);
        LastTextSlot() = text_;
        if (!form_) return 1;
        label_->SetText(text_);
        if (lParam) {
            ok_->SetVisible(-1);
            close_->SetVisible(-1);
        } else {
            ok_->SetVisible(0);
        }
        yes_->SetVisible(0);
        no_->SetVisible(0);
        return 1;
    }
    return 0;
}

} // namespace pavoline

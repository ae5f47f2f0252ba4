#include "tip_dialog.h"

#include "skin_loader.h"

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

CTipDlg::CTipDlg(QWidget* parent) : CSkinDialog("DUI_Tip", parent) {
    if (form()) {
        label_ = element("Sta_tip");
        ok_ = element("Btn_OK");
        close_ = element("Btn_Close");
        yes_ = element("Btn_Yes");
        no_ = element("Btn_No");
        baseSize_ = form()->Root()->size();
        if (QWidget* label = label_->Widget()) baseLabelHeight_ = label->height();
        directui::ISkinElement* buttons[3] = {ok_, yes_, no_};
        for (int i = 0; i < 3; ++i)
            if (QWidget* w = buttons[i]->Widget()) baseButtons_[i] = w->pos();
    }
}

void CTipDlg::Set(const QString& text, int buttonSet, int closeButton) {
    text_ = text;
    buttonSet_ = buttonSet;
    closeButton_ = closeButton;
}

void CTipDlg::ShowNotice(const QString& text, QWidget* parent) {
    CTipDlg tip(parent);
    tip.Set(text, kOk, 1);
    tip.exec();
}

void CTipDlg::SetNextAnswer(int result) { NextAnswers().push_back(result); }
QString CTipDlg::LastText() { return LastTextSlot(); }

void CTipDlg::showButtonsFor(int buttonSet, int closeButton) {
    if (!form()) return;
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

// Sets the label's text and grows the tip downwards until the whole text fits.
void CTipDlg::showText(const QString& text) {
    text_ = text;
    LastTextSlot() = text_;
    if (!form()) return;
    label_->SetText(text_);
    QWidget* label = label_->Widget();
    if (!label) return;
    // The label lays the text out itself (a path wraps at its separators); it says how high it is.
    const int needed = label->heightForWidth(label->width()) + 4;
    const int grow = std::max(0, needed - baseLabelHeight_);
    label->resize(label->width(), baseLabelHeight_ + grow);
    directui::ISkinElement* buttons[3] = {ok_, yes_, no_};
    for (int i = 0; i < 3; ++i)
        if (QWidget* w = buttons[i]->Widget()) w->move(baseButtons_[i] + QPoint(0, grow));
    const QSize size = baseSize_ + QSize(0, grow);
    form()->Root()->resize(size);
    setFixedSize(size);
}

int CTipDlg::exec() {
    showText(text_);
    showButtonsFor(buttonSet_, closeButton_);
    if (!NextAnswers().empty()) {
        const int answer = NextAnswers().front();
        NextAnswers().pop_front();
        return answer;
    }
    return CSkinDialog::exec();
}

void CTipDlg::closedByUser() {
    if (form() && close_->IsVisible()) done(kResultOk);
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
    if (message == WM_CLOSE) {
        done(kResultOk);
        return 0;
    }
    if (message == WM_TIP_UPDATE) {
        showText(*reinterpret_cast<const QString*>(wParam));
        if (!form()) return 1;
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

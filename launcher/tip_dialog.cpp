#include "tip_dialog.h"

#include "creation_context.h"
#include "skin_loader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

#include <climits>
#include <deque>

namespace pavoline {
namespace {

constexpr int kCornerRadius = 6;

std::deque<int>& NextAnswers() {
    static std::deque<int> answers;
    return answers;
}
QString& LastTextSlot() {
    static QString text;
    return text;
}

bool IsSwallowedKey(int key) {
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

} // namespace

CTipDlg::CTipDlg(QWidget* parent) : QDialog(parent), MessageWindow(this) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    if (directui::ISkin* skin = AppSkin()) form_ = skin->CreateForm("DUI_Tip", this);
    if (form_) {
        label_ = form_->FindElement("Sta_tip", 90000);
        ok_ = form_->FindElement("Btn_OK", 90000);
        close_ = form_->FindElement("Btn_Close", 90000);
        yes_ = form_->FindElement("Btn_Yes", 90000);
        no_ = form_->FindElement("Btn_No", 90000);
        baseSize_ = form_->Root()->size();
        if (QWidget* label = label_->Widget()) baseLabelHeight_ = label->height();
        directui::ISkinElement* buttons[3] = {ok_, yes_, no_};
        for (int i = 0; i < 3; ++i)
            if (QWidget* w = buttons[i]->Widget()) baseButtons_[i] = w->pos();
        setFixedSize(baseSize_);
    }
    qApp->installEventFilter(this);
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

// Sets the label's text and grows the tip downwards until the whole text fits.
void CTipDlg::showText(const QString& text) {
    text_ = text;
    LastTextSlot() = text_;
    if (!form_) return;
    label_->SetText(text_);
    QWidget* label = label_->Widget();
    if (!label) return;
    int flags = Qt::AlignCenter | Qt::TextWrapAnywhere;
    if (auto* shown = qobject_cast<QLabel*>(label)) flags = static_cast<int>(shown->alignment()) | Qt::TextWrapAnywhere;
    const QRect bounds(0, 0, label->width() - 2, INT_MAX / 2);
    const int needed = QFontMetrics(label->font()).boundingRect(bounds, flags, text_).height() + 4;
    const int grow = std::max(0, needed - baseLabelHeight_);
    label->resize(label->width(), baseLabelHeight_ + grow);
    directui::ISkinElement* buttons[3] = {ok_, yes_, no_};
    for (int i = 0; i < 3; ++i)
        if (QWidget* w = buttons[i]->Widget()) w->move(baseButtons_[i] + QPoint(0, grow));
    const QSize size = baseSize_ + QSize(0, grow);
    form_->Root()->resize(size);
    setFixedSize(size);
}

void CTipDlg::centreOnOwner() {
    QWidget* owner = parentWidget() ? parentWidget()->window() : AppMainWindow();
    if (owner && owner != this && owner->isVisible() && !owner->isMinimized()) {
        move(owner->frameGeometry().center() - rect().center());
        return;
    }
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    move(area.center() - rect().center());
}

int CTipDlg::exec() {
    showText(text_);
    showButtonsFor(buttonSet_, closeButton_);
    if (!NextAnswers().empty()) {
        const int answer = NextAnswers().front();
        NextAnswers().pop_front();
        return answer;
    }
    centreOnOwner();
    if (QWidget* owner = parentWidget() ? parentWidget()->window() : AppMainWindow()) {
        winId(); // the native window, so that it can be owned
        if (windowHandle() && owner->windowHandle()) windowHandle()->setTransientParent(owner->windowHandle());
    }
    return QDialog::exec();
}

void CTipDlg::done(int result) {
    ending_ = true;
    QDialog::done(result);
    ending_ = false;
}

bool CTipDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget)) && IsSwallowedKey(static_cast<QKeyEvent*>(event)->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CTipDlg::closeEvent(QCloseEvent* event) {
    if (ending_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    if (form_ && close_->IsVisible()) done(kResultOk);
}

void CTipDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // A rounded outline by a mask: without a compositor, translucent corners would show black.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
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
        showText(*reinterpret_cast<const QString*>(wParam));
        if (!form_) return 1;
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

#include "owner_drawn.h"

#include "pictures.h"
#include "ui_font.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace pavoline {

namespace {
constexpr int kTipDelayMs = 100;
} // namespace

CButtonExt::CButtonExt(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    tipDelay_.setSingleShot(true);
    tipDelay_.setInterval(kTipDelayMs);
    connect(&tipDelay_, &QTimer::timeout, this, &CButtonExt::showTip);
}

void CButtonExt::SetPicture(const QPixmap& strip) {
    picture_ = strip;
    const QSize size = LogicalSize(strip); // a @2x strip is drawn at the plain one's size
    stateWidth_ = size.width() / 4;
    if (!strip.isNull()) {
        const QPoint topLeft = pos();
        setFixedSize(stateWidth_, size.height());
        move(topLeft);
    }
    update();
}

int CButtonExt::StateIndex() const { return isDown() ? 2 : !isEnabled() ? 3 : hover_ ? 1 : 0; }

void CButtonExt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.isNull()) {
        if (hover_ || isDown()) painter.fillRect(rect(), QColor(255, 255, 255, isDown() ? 120 : 70));
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(rect(), Qt::AlignCenter, text());
        return;
    }
    painter.setClipRect(QRect(0, 0, stateWidth_, height()));
    painter.drawPixmap(-StateIndex() * stateWidth_, 0, picture_);
}

void CButtonExt::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    if (!tooltipText_.isEmpty()) tipDelay_.start();
    QPushButton::enterEvent(event);
}

void CButtonExt::leaveEvent(QEvent* event) {
    hover_ = false;
    tipDelay_.stop();
    QToolTip::hideText();
    update();
    QPushButton::leaveEvent(event);
}

void CButtonExt::moveEvent(QMoveEvent* event) {
    QPushButton::moveEvent(event);
    const bool under = isVisible() && rect().contains(mapFromGlobal(QCursor::pos()));
    if (under == hover_) return;
    hover_ = under;
    if (!hover_) tipDelay_.stop();
    update();
}

void CButtonExt::showTip() {
    if (!hover_ || tooltipText_.isEmpty()) return;
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipText, QColor(0, 0, 255));
    QToolTip::setPalette(palette);
    QToolTip::showText(mapToGlobal(QPoint(0, height())), tooltipText_, tooltipWindow_ ? tooltipWindow_.data() : this);
}

const char* const CSearchEdit::kPlaceholder = "机型搜索";

CSearchEdit::CSearchEdit(QWidget* parent) : QLineEdit(parent) {
    // The face and size of the text around it; a frame, so that it reads as a box to type in.
    QFont font;
    font.setFamilies(UiFontFamilies());
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, QColor(47, 59, 72));
    palette.setColor(QPalette::PlaceholderText, QColor(138, 153, 168));
    setPalette(palette);
    setFrame(true);
    ShowHint();
}

void CSearchEdit::setShowsHint(bool shown) {
    showsHint_ = shown;
    // The hint is drawn in the quieter colour of the style sheet's [hint="true"].
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void CSearchEdit::ShowHint() {
    if (hasFocus()) return;
    setText(kPlaceholder);
    setShowsHint(true);
}

void CSearchEdit::focusInEvent(QFocusEvent* event) {
    if (showsHint_) {
        clear();
        setShowsHint(false);
    }
    QLineEdit::focusInEvent(event);
}

void CSearchEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (text().isEmpty()) ShowHint();
}

QMenu* CSearchEdit::BuildContextMenu() {
    auto* menu = new QMenu(this);
    const bool selection = hasSelectedText();
    const bool writable = !isReadOnly();
    const bool clipboardText = !QApplication::clipboard()->text().isEmpty();
    const bool allSelected = !text().isEmpty() && selectedText() == text();
    auto add = [&](const char* label, int id, bool enabled) {
        QAction* action = menu->addAction(QString::fromUtf8(label));
        action->setData(id);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    };
    add("撤销(&U)", kUndo, isUndoAvailable() && writable);
    menu->addSeparator();
    add("剪切(&T)", kCut, selection && writable);
    add("复制(&C)", kCopy, selection);
    add("粘贴(&P)", kPaste, clipboardText && writable);
    add("删除(&D)", kDelete, selection && writable);
    menu->addSeparator();
    add("全选(&A)", kSelectAll, !text().isEmpty() && !allSelected);
    return menu;
}

void CSearchEdit::RunCommand(int id) {
    switch (id) {
    case kUndo: undo(); break;
    case kCut: cut(); break;
    case kCopy: copy(); break;
    case kPaste: paste(); break;
    case kDelete: del(); break;
    case kSelectAll: selectAll(); break;
    default: break;
    }
}

void CSearchEdit::contextMenuEvent(QContextMenuEvent* event) {
    setFocus(Qt::OtherFocusReason);
    QMenu* menu = BuildContextMenu();
    menu->exec(event->globalPos());
    delete menu;
}

} // namespace pavoline

#include "skin_widgets.h"

#include <QMouseEvent>
#include <QPainter>

namespace directui {

void SkinButton::setStatePicture(int slot, const QPixmap& picture) {
    if (picture.isNull())
        pictures_.remove(slot);
    else
        pictures_.insert(slot, picture);
    update();
}

int SkinButton::shownSlot() const {
    auto has = [this](int slot) { return pictures_.contains(slot); };
    if (!isEnabled()) return has(kDisabled) ? kDisabled : kNormal;
    if (isDown() && has(kPressed)) return kPressed;
    if (isChecked() && has(kChecked)) return kChecked;
    if (hover_ && has(kHover)) return kHover;
    return kNormal;
}

void SkinButton::paintEvent(QPaintEvent* event) {
    if (pictures_.isEmpty()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap picture = pictures_.value(shownSlot(), pictures_.value(0));
    if (!picture.isNull()) {
        // Kept in proportion and centred in the button.
        const QSize size = picture.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.drawPixmap(target, picture);
    }
}

void SkinButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QPushButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QPushButton::leaveEvent(event);
}

int ClickableLabel::textFlags() const {
    return static_cast<int>(alignment()) | (wrapAnywhere_ ? Qt::TextWrapAnywhere : wordWrap() ? Qt::TextWordWrap : 0);
}

void ClickableLabel::paintEvent(QPaintEvent* event) {
    if (!wrapAnywhere_ || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), textFlags(), text());
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace directui

#include "skin_widgets.h"

#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace directui {

void SkinButton::setStatePicture(int slot, const QString& path) {
    decoded_.remove(slot);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        paths_.remove(slot);
    else
        paths_.insert(slot, path);
    update();
}

QPixmap SkinButton::picture(int slot) const {
    auto found = decoded_.find(slot);
    if (found == decoded_.end()) found = decoded_.insert(slot, QPixmap::fromImage(QImage(paths_.value(slot))));
    return *found;
}

int SkinButton::shownSlot() const {
    auto has = [this](int slot) { return paths_.contains(slot); };
    if (!isEnabled()) return has(kDisabled) ? kDisabled : kNormal;
    if (isDown() && has(kPressed)) return kPressed;
    if (isChecked() && has(kChecked)) return kChecked;
    if (hover_ && has(kHover)) return kHover;
    return kNormal;
}

void SkinButton::paintEvent(QPaintEvent* event) {
    if (paths_.isEmpty()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int slot = shownSlot();
    const QPixmap shown = picture(paths_.contains(slot) ? slot : paths_.firstKey());
    if (!shown.isNull()) {
        // Kept in proportion and centred in the button.
        const QSize size = shown.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.drawPixmap(target, shown);
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

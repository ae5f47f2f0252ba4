#include "static_ext.h"

#include <QMouseEvent>
#include <QPainter>

namespace pavoline::updater {

CStaticExt::CStaticExt(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void CStaticExt::SetPictures(const QPixmap& normal, const QPixmap& hover, const QPixmap& checked) {
    pictures_[0] = normal;
    pictures_[1] = hover;
    pictures_[2] = checked;
    update();
}

void CStaticExt::SetChecked(bool checked) {
    checked_ = checked;
    update();
}

void CStaticExt::SetText(const QString& text) {
    text_ = text;
    update();
}

void CStaticExt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& picture = pictures_[StateIndex()];
    if (!picture.isNull()) {
        painter.drawPixmap(0, 0, picture);
    } else {
        // Without its pictures the control still shows its state.
        const QRect box(1, (height() - 12) / 2, 12, 12);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setBrush(checked_ ? palette().color(QPalette::WindowText) : Qt::NoBrush);
        painter.drawRect(box);
    }
    if (text_.isEmpty()) return;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(kTextIndent, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

void CStaticExt::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QWidget::enterEvent(event);
}

void CStaticExt::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QWidget::leaveEvent(event);
}

void CStaticExt::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QWidget::mouseReleaseEvent(event);
}

} // namespace pavoline::updater

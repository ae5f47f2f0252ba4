#include "skin_widgets.h"

#include "pictures.h"

#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

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
    if (found == decoded_.end()) found = decoded_.insert(slot, pavoline::LoadPicture(paths_.value(slot)));
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
        // Kept in proportion and centred in the button; made smaller where it must be, never larger.
        QSize size = pavoline::LogicalSize(shown);
        if (size.width() > width() || size.height() > height()) size = size.scaled(this->size(), Qt::KeepAspectRatio);
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

namespace {

// The text laid out in lines of that width: breaks at word boundaries, after path separators, and
// inside a word only where a word is wider than the line.
class WrappedText {
public:
    WrappedText(QString text, const QFont& font, Qt::Alignment alignment, qreal width) {
        text.replace("\r\n", "\n").replace('\n', QChar::LineSeparator);
        text.replace('/', QStringLiteral("/\u200B"));
        layout_.setText(text);
        layout_.setFont(font);
        QTextOption option(alignment & Qt::AlignHorizontal_Mask);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout_.setTextOption(option);
        layout_.beginLayout();
        for (QTextLine line = layout_.createLine(); line.isValid(); line = layout_.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height_));
            height_ += line.height();
        }
        layout_.endLayout();
    }
    qreal height() const { return height_; }
    void draw(QPainter& painter, const QRectF& in, Qt::Alignment alignment) {
        qreal top = in.top();
        if (alignment & Qt::AlignVCenter) top += (in.height() - height_) / 2;
        else if (alignment & Qt::AlignBottom) top = in.bottom() - height_;
        layout_.draw(&painter, QPointF(in.left(), top));
    }

private:
    QTextLayout layout_;
    qreal height_ = 0;
};

} // namespace

int ClickableLabel::heightForWidth(int width) const {
    if (!wrapAnywhere_ || !pixmap().isNull()) return QLabel::heightForWidth(width);
    return static_cast<int>(std::ceil(WrappedText(text(), font(), alignment(), width).height()));
}

void ClickableLabel::paintEvent(QPaintEvent* event) {
    if (!wrapAnywhere_ || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRectF area = contentsRect();
    WrappedText(text(), font(), alignment(), area.width()).draw(painter, area, alignment());
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace directui

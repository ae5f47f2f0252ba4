// The drawing helpers that the skin's and the updater's pictures share.
#include "artwork.h"
#include "ui_font.h"

#include <QDir>
#include <QImage>
#include <QPainterPath>

#include <cstdio>

QFont UiFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(pavoline::UiFontFamilies());
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

bool SaveAtScale(const QString& dir, const QString& name, int w, int h, int scale,
                 const std::function<void(QPainter&)>& draw) {
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    draw(painter);
    painter.end();
    const QString file = scale == 1 ? name : QString(name).replace(".png", QString("@%1x.png").arg(scale));
    const bool saved = image.save(QDir(dir).filePath(file));
    if (!saved) std::fprintf(stderr, "make_artwork: cannot write %s\n", qPrintable(file));
    return saved;
}

} // namespace

bool SavePlain(const QString& dir, const QString& name, int w, int h, const std::function<void(QPainter&)>& draw) {
    return SaveAtScale(dir, name, w, h, 1, draw);
}

bool Save(const QString& dir, const QString& name, int w, int h, const std::function<void(QPainter&)>& draw) {
    const bool plain = SaveAtScale(dir, name, w, h, 1, draw);
    return SaveAtScale(dir, name, w, h, 2, draw) && plain;
}

// Caption buttons: four states side by side (normal, hover, pressed, disabled) of w x h each.
void DrawStrip(QPainter& p, int w, int h, const std::function<void(QPainter&, QRectF)>& glyph, const QColor& hot) {
    const QColor backs[4] = {Qt::transparent, QColor(255, 255, 255, 70), hot, Qt::transparent};
    for (int state = 0; state < 4; ++state) {
        const QRectF cell(state * w, 0, w, h);
        p.setPen(Qt::NoPen);
        p.setBrush(backs[state]);
        p.drawRoundedRect(cell.adjusted(1, 1, -1, -1), 4, 4);
        p.setPen(QPen(state == 3 ? QColor(255, 255, 255, 110) : Qt::white, 1.6));
        p.setBrush(Qt::NoBrush);
        glyph(p, cell);
    }
}

void DrawCheckBox(QPainter& p, const QRectF& box, bool checked, bool lit) {
    const double scale = box.width() / 17;
    p.setPen(QPen(checked || lit ? kAccent : kSoft, 1.4 * scale));
    p.setBrush(checked ? kAccent : Qt::white);
    p.drawRoundedRect(box, 4 * scale, 4 * scale);
    if (!checked) return;
    p.setPen(QPen(Qt::white, 2.2 * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(box.topLeft() + QPointF(4, 9) * scale);
    tick.lineTo(box.topLeft() + QPointF(7.2, 12) * scale);
    tick.lineTo(box.topLeft() + QPointF(13, 5) * scale);
    p.drawPath(tick);
}


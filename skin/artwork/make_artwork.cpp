// Draws the skin's, the launcher's and the updater's pictures into a directory, so that no picture
// in the suite is a binary without a source. Run by the build: make_artwork <output directory>.
#include "artwork.h"
#include "updater_artwork.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

// A sample phone's pictures: front (_1), hover (_3), selected (_2) and a small one (_S), in the
// model's own colour (without one, a colour from its name).
int MakePhonePictures(const QString& dir, const QString& model, const QString& colour) {
    const QColor body = colour.isEmpty() ? QColor::fromHsv(static_cast<int>(qHash(model) % 360), 110, 150) : QColor(colour);
    if (!body.isValid()) {
        std::fprintf(stderr, "make_artwork: %s is not a colour\n", qPrintable(colour));
        return 1;
    }
    auto phone = [&](QPainter& p, const QColor& glow, bool selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawRoundedRect(QRectF(30, 14, 166, 292), 26, 26);
        p.setBrush(selected ? body.darker(120) : body);
        p.drawRoundedRect(QRectF(26, 8, 166, 292), 26, 26);
        QLinearGradient screen(0, 40, 0, 240);
        screen.setColorAt(0, glow.lighter(160));
        screen.setColorAt(1, glow);
        p.setBrush(screen);
        p.drawRoundedRect(QRectF(40, 40, 138, 200), 6, 6);
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(QPointF(109, 270), 13, 13);
        p.setPen(Qt::white);
        p.setFont(UiFont(30, true));
        p.drawText(QRectF(40, 40, 138, 200), Qt::AlignCenter, model);
    };
    bool ok = true;
    ok &= SavePlain(dir, model + "_1.png", 219, 312, [&](QPainter& p) { phone(p, QColor("#3E6792"), false); });
    ok &= SavePlain(dir, model + "_3.png", 219, 312, [&](QPainter& p) { phone(p, QColor("#5B9BD5"), false); });
    ok &= SavePlain(dir, model + "_2.png", 219, 312, [&](QPainter& p) { phone(p, QColor("#2F5379"), true); });
    ok &= SavePlain(dir, model + "_S.png", 60, 86, [&](QPainter& p) {
        p.scale(60.0 / 219, 86.0 / 312);
        phone(p, QColor("#3E6792"), false);
    });
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if ((argc == 4 || argc == 5) && QString(argv[1]) == "phone")
        return MakePhonePictures(QString::fromLocal8Bit(argv[2]), argv[3], argc == 5 ? argv[4] : "");
    if (argc == 3 && QString(argv[1]) == "updater") return MakeUpdaterPictures(QString::fromLocal8Bit(argv[2]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork <output directory> | make_artwork phone <directory> <model> [#rrggbb]"
                             " | make_artwork updater <directory>\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = true;

    ok &= Save(out, "new_version.png", 38, 20, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor("#E0553C"));
        p.drawRoundedRect(QRectF(0.5, 0.5, 37, 19), 9, 9);
        p.setPen(Qt::white);
        p.setFont(UiFont(11, true));
        p.drawText(QRectF(0, 0, 38, 20), Qt::AlignCenter, "NEW");
    });
    ok &= Save(out, "tip_close.png", 12, 12, [](QPainter& p) {
        p.setPen(QPen(QColor("#5B6B7C"), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2, 2), QPointF(10, 10));
        p.drawLine(QPointF(10, 2), QPointF(2, 10));
    });
    ok &= Save(out, "combo_arrow.png", 10, 6, [](QPainter& p) {
        p.setPen(QPen(QColor("#5B6B7C"), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(1, 1), QPointF(5, 5), QPointF(9, 1)}));
    });
    const QRectF checkBox(1.5, 1.5, 17, 17);
    ok &= Save(out, "check_off.png", 20, 20, [&](QPainter& p) { DrawCheckBox(p, checkBox, false, false); });
    ok &= Save(out, "check_off_hover.png", 20, 20, [&](QPainter& p) { DrawCheckBox(p, checkBox, false, true); });
    ok &= Save(out, "check_on.png", 20, 20, [&](QPainter& p) { DrawCheckBox(p, checkBox, true, false); });

    // The picture shown when no phone is installed (227 x 318).
    ok &= Save(out, "empty_list.png", 227, 318, [](QPainter& p) {
        p.setPen(QPen(kSoft, 3, Qt::DashLine));
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawRoundedRect(QRectF(38, 12, 150, 250), 22, 22);
        p.setPen(QPen(kSoft, 2));
        p.drawRoundedRect(QRectF(52, 42, 122, 180), 6, 6);
        p.drawEllipse(QPointF(113, 242), 9, 9);
        p.setPen(kInk);
        p.setFont(UiFont(16));
        p.drawText(QRectF(0, 270, 227, 24), Qt::AlignCenter, "还没有安装机型");
        p.setFont(UiFont(13));
        p.setPen(QColor("#5B6B7C"));
        p.drawText(QRectF(0, 294, 227, 22), Qt::AlignCenter, "点击“机型管理”添加");
    });

    // The launcher's caption: a strip to stretch, its two ends, and the system buttons.
    const int captionHeight = 72;
    auto caption = [](QPainter& p, QRectF r) {
        QLinearGradient g(0, 0, 0, r.height());
        g.setColorAt(0, QColor("#5D8AB8"));
        g.setColorAt(1, QColor("#3E6792"));
        p.fillRect(r, g);
        p.fillRect(QRectF(r.left(), r.bottom() - 2, r.width(), 2), QColor("#2F5379"));
    };
    ok &= Save(out, "caption_strip.png", 8, captionHeight, [&](QPainter& p) { caption(p, QRectF(0, 0, 8, captionHeight)); });
    ok &= Save(out, "caption_left.png", 260, captionHeight, [&](QPainter& p) {
        caption(p, QRectF(0, 0, 260, captionHeight));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 230));
        p.drawRoundedRect(QRectF(22, 18, 24, 38), 5, 5);
        p.setBrush(QColor("#3E6792"));
        p.drawRect(QRectF(26, 23, 16, 25));
        p.setPen(Qt::white);
        p.setFont(UiFont(22, true));
        p.drawText(QRectF(58, 0, 200, captionHeight), Qt::AlignVCenter | Qt::AlignLeft, "Pavoline");
    });
    ok &= Save(out, "caption_right.png", 120, captionHeight, [&](QPainter& p) { caption(p, QRectF(0, 0, 120, captionHeight)); });
    const int bw = 20, bh = 20;
    ok &= Save(out, "btn_minimize.png", 4 * bw, bh, [&](QPainter& p) {
        DrawStrip(p, bw, bh, [](QPainter& q, QRectF c) { q.drawLine(QPointF(c.left() + 5, 14), QPointF(c.left() + 15, 14)); },
                  QColor(255, 255, 255, 120));
    });
    ok &= Save(out, "btn_maximize.png", 4 * bw, bh, [&](QPainter& p) {
        DrawStrip(p, bw, bh, [](QPainter& q, QRectF c) { q.drawRect(QRectF(c.left() + 5, 5, 10, 10)); },
                  QColor(255, 255, 255, 120));
    });
    ok &= Save(out, "btn_restore.png", 4 * bw, bh, [&](QPainter& p) {
        DrawStrip(p, bw, bh, [](QPainter& q, QRectF c) {
            q.drawRect(QRectF(c.left() + 4, 7, 9, 9));
            q.drawPolyline(QPolygonF({QPointF(c.left() + 7, 7), QPointF(c.left() + 7, 4), QPointF(c.left() + 16, 4),
                                      QPointF(c.left() + 16, 13), QPointF(c.left() + 13, 13)}));
        }, QColor(255, 255, 255, 120));
    });
    ok &= Save(out, "btn_close.png", 4 * bw, bh, [&](QPainter& p) {
        DrawStrip(p, bw, bh, [](QPainter& q, QRectF c) {
            q.drawLine(QPointF(c.left() + 5, 5), QPointF(c.left() + 15, 15));
            q.drawLine(QPointF(c.left() + 15, 5), QPointF(c.left() + 5, 15));
        }, QColor("#D9534F"));
    });
    // The program's icon, for the window and the desktop's menu.
    ok &= Save(out, "pavoline.png", 128, 128, [](QPainter& p) {
        QLinearGradient g(0, 0, 0, 128);
        g.setColorAt(0, QColor("#6E9BC8"));
        g.setColorAt(1, QColor("#3E6792"));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(4, 4, 120, 120), 26, 26);
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawRoundedRect(QRectF(38, 18, 52, 92), 10, 10);
        QLinearGradient screen(0, 28, 0, 92);
        screen.setColorAt(0, QColor("#F7B267"));
        screen.setColorAt(1, QColor("#E0553C"));
        p.setBrush(screen);
        p.drawRoundedRect(QRectF(45, 28, 38, 62), 3, 3);
        p.setBrush(QColor("#3E6792"));
        p.drawEllipse(QPointF(64, 100), 4.5, 4.5);
    });
    return ok ? 0 : 1;
}

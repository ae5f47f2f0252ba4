// The updater's pictures: its 500 x 350 window, the banner of each stage, the panels, the bar's
// frame, its buttons as strips of four states (normal, hover, pressed, disabled), the check
// control and the icon.
#include "updater_artwork.h"

#include "artwork.h"

#include <QLinearGradient>

namespace {

constexpr int kWidth = 500, kHeight = 350;
constexpr int kPanelWidth = 426, kPanelHeight = 172;
const QColor kTitleTop("#5D8AB8"), kTitleBottom("#3E6792");
const QColor kDone("#5AA83C"), kLine("#D3DEE7"), kQuiet("#7F93A6");

const char* const kStageNames[4] = {"新版本", "下载", "安装", "完成"};

void DrawLogo(QPainter& p, const QPointF& at) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRoundedRect(QRectF(at.x(), at.y(), 16, 24), 3, 3);
    p.setBrush(kTitleBottom);
    p.drawRect(QRectF(at.x() + 3, at.y() + 3, 10, 15));
}

void DrawBackground(QPainter& p) {
    QLinearGradient body(0, 64, 0, kHeight);
    body.setColorAt(0, QColor("#F4F8FB"));
    body.setColorAt(1, QColor("#E6EEF4"));
    p.fillRect(QRect(0, 0, kWidth, kHeight), body);
    QLinearGradient title(0, 0, 0, 64);
    title.setColorAt(0, kTitleTop);
    title.setColorAt(1, kTitleBottom);
    p.fillRect(QRect(0, 0, kWidth, 64), title);
    DrawLogo(p, QPointF(16, 20));
    p.setPen(Qt::white);
    p.setFont(UiFont(18, true));
    p.drawText(QRectF(44, 0, 300, 64), Qt::AlignVCenter | Qt::AlignLeft, "TavixPavoline 在线更新");
    p.setPen(kLine);
    p.drawLine(QPointF(0, 298.5), QPointF(kWidth, 298.5));
    p.setPen(QPen(kTitleBottom, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));
}

// Four steps in a row; those before the stage are done, the stage itself is lit.
void DrawBanner(QPainter& p, int stage) {
    p.fillRect(QRect(0, 0, kWidth, 40), QColor("#FBFDFE"));
    p.setPen(kLine);
    p.drawLine(QPointF(0, 39.5), QPointF(kWidth, 39.5));
    const double step = kWidth / 4.0;
    for (int i = 0; i < 4; ++i) {
        const double centre = step * i + 34;
        const QColor colour = i + 1 < stage ? kDone : i + 1 == stage ? kAccent : QColor("#B7C5D1");
        if (i > 0) {
            p.setPen(QPen(i + 1 <= stage ? kDone : QColor("#C9D5DF"), 2));
            p.drawLine(QPointF(centre - step + 98, 20), QPointF(centre - 14, 20));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(centre, 20), 11, 11);
        p.setPen(Qt::white);
        p.setFont(UiFont(13, true));
        p.drawText(QRectF(centre - 11, 9, 22, 22), Qt::AlignCenter, QString::number(i + 1));
        p.setPen(i + 1 == stage ? kInk : kQuiet);
        p.setFont(UiFont(14, i + 1 == stage));
        p.drawText(QRectF(centre + 16, 0, 70, 40), Qt::AlignVCenter | Qt::AlignLeft, kStageNames[i]);
    }
}

void DrawPanel(QPainter& p, const QString& heading, const QString& hint) {
    p.setPen(QPen(kLine, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0.5, 0.5, kPanelWidth - 1, kPanelHeight - 1), 6, 6);
    p.setPen(kInk);
    p.setFont(UiFont(15, true));
    p.drawText(QRectF(12, 6, kPanelWidth - 24, 24), Qt::AlignVCenter | Qt::AlignLeft, heading);
    p.setPen(kQuiet);
    p.setFont(UiFont(13));
    p.drawText(QRectF(12, kPanelHeight - 34, kPanelWidth - 24, 24), Qt::AlignVCenter | Qt::AlignLeft, hint);
}

// A text button: fill and text per state.
void DrawButtonStrip(QPainter& p, const QString& text, const QColor& fill, const QColor& ink) {
    const int w = 84, h = 35;
    const QColor fills[4] = {fill, fill.lighter(112), fill.darker(115), QColor("#D5DDE4")};
    const QColor inks[4] = {ink, ink, ink, QColor("#98A6B3")};
    for (int state = 0; state < 4; ++state) {
        const QRectF cell(state * w + 0.5, 0.5, w - 1, h - 1);
        p.setPen(QPen(state == 3 ? QColor("#C3CDD6") : fills[state].darker(125), 1));
        p.setBrush(fills[state]);
        p.drawRoundedRect(cell, 4, 4);
        p.setPen(inks[state]);
        p.setFont(UiFont(15, true));
        p.drawText(cell.translated(0, state == 2 ? 1 : 0), Qt::AlignCenter, text);
    }
}

} // namespace

int MakeUpdaterPictures(const QString& dir) {
    bool ok = true;
    ok &= Save(dir, "background.png", kWidth, kHeight, DrawBackground);
    for (int stage = 1; stage <= 4; ++stage)
        ok &= Save(dir, QString("stage_%1.png").arg(stage), kWidth, 40, [stage](QPainter& p) { DrawBanner(p, stage); });
    ok &= Save(dir, "panel_features.png", kPanelWidth, kPanelHeight,
               [](QPainter& p) { DrawPanel(p, "新版本特性", "更新时将关闭 Pavoline，完成后可以立即重新启动。"); });
    ok &= Save(dir, "panel_download.png", kPanelWidth, kPanelHeight,
               [](QPainter& p) { DrawPanel(p, "正在下载更新包……", "下载完成并校验无误后，将自动开始安装。"); });
    ok &= Save(dir, "panel_install.png", kPanelWidth, kPanelHeight,
               [](QPainter& p) { DrawPanel(p, "正在安装新版本……", "安装很快完成，请稍候。"); });
    ok &= Save(dir, "panel_done.png", kPanelWidth, kPanelHeight, [](QPainter& p) {
        DrawPanel(p, "", "点击“完成”退出在线更新。");
        p.setPen(Qt::NoPen);
        p.setBrush(kDone);
        p.drawEllipse(QPointF(150, 44), 16, 16);
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(142, 44), QPointF(148, 50), QPointF(158, 38)}));
        p.setPen(kInk);
        p.setFont(UiFont(20, true));
        p.drawText(QRectF(176, 26, 220, 36), Qt::AlignVCenter | Qt::AlignLeft, "更新完成！");
    });
    ok &= Save(dir, "bar_frame.png", kPanelWidth + 1, 30, [](QPainter& p) {
        p.setPen(QPen(QColor("#C9D5DF"), 1));
        p.setBrush(QColor("#EEF3F7"));
        p.drawRect(QRectF(0.5, 0.5, kPanelWidth, 29));
    });
    ok &= Save(dir, "button_update.png", 4 * 84, 35, [](QPainter& p) { DrawButtonStrip(p, "立即更新", kAccent, Qt::white); });
    ok &= Save(dir, "button_cancel.png", 4 * 84, 35, [](QPainter& p) { DrawButtonStrip(p, "取消", QColor("#F7FAFC"), kInk); });
    ok &= Save(dir, "button_finish.png", 4 * 84, 35, [](QPainter& p) { DrawButtonStrip(p, "完成", kDone, Qt::white); });
    ok &= Save(dir, "button_minimize.png", 4 * 21, 22, [](QPainter& p) {
        DrawStrip(p, 21, 22, [](QPainter& q, QRectF c) { q.drawLine(QPointF(c.left() + 5.5, 15), QPointF(c.left() + 15.5, 15)); },
                  QColor(255, 255, 255, 120));
    });
    ok &= Save(dir, "button_close.png", 4 * 21, 22, [](QPainter& p) {
        DrawStrip(p, 21, 22, [](QPainter& q, QRectF c) {
            q.drawLine(QPointF(c.left() + 6, 6), QPointF(c.left() + 15, 15));
            q.drawLine(QPointF(c.left() + 15, 6), QPointF(c.left() + 6, 15));
        }, QColor("#D9534F"));
    });
    // The box only: the control writes its text from x = 16.
    const QRectF checkBox(0.5, 3.5, 12, 12);
    ok &= Save(dir, "check_normal.png", 231, 19, [&](QPainter& p) { DrawCheckBox(p, checkBox, false, false); });
    ok &= Save(dir, "check_checked.png", 231, 19, [&](QPainter& p) { DrawCheckBox(p, checkBox, true, false); });
    ok &= Save(dir, "icon.png", 64, 64, [](QPainter& p) {
        QLinearGradient g(0, 0, 0, 64);
        g.setColorAt(0, kTitleTop);
        g.setColorAt(1, kTitleBottom);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(32, 14), QPointF(32, 40));
        p.drawPolyline(QPolygonF({QPointF(21, 30), QPointF(32, 41), QPointF(43, 30)}));
        p.drawLine(QPointF(18, 50), QPointF(46, 50));
    });
    return ok ? 0 : 1;
}

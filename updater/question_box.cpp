#include "question_box.h"

#include "message_window.h"
#include "ui_font.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace pavoline::updater {
namespace {

// The dialog's own colours (its artwork is drawn with them) and its title.
const QColor kTitleTop("#5D8AB8"), kTitleBottom("#3E6792"), kInk("#2F4A66"), kLine("#9FB3C8");
const char* const kTitle = "TavixPavoline 在线更新";
constexpr int kTitleHeight = 36, kWidth = 380, kMark = 26;

QFont Face(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(UiFontFamilies());
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QPushButton* Button(const QString& text, bool primary, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setFont(Face(14, true));
    button->setFixedSize(84, 32);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(primary ? "QPushButton { color: white; background: #4C7CAD; border: 1px solid #3F6F9E; border-radius: 4px; }"
                                    "QPushButton:hover { background: #5B8CBF; } QPushButton:pressed { background: #3F6F9E; }"
                                  : "QPushButton { color: #2F4A66; background: #F7FAFC; border: 1px solid #B9C7D5; border-radius: 4px; }"
                                    "QPushButton:hover { background: #FFFFFF; } QPushButton:pressed { background: #E3EBF3; }");
    return button;
}

} // namespace

CQuestionBox::CQuestionBox(QWidget* parent, Kind kind, const QString& caption, const QString& text)
    : QDialog(parent), kind_(kind), text_(text) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(caption);
    auto* message = new QLabel(text, this);
    message->setFont(Face(15, false));
    message->setWordWrap(true);
    message->setStyleSheet("color: #2F3B48;");
    message->setMinimumHeight(kMark);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    if (kind == kAsk) {
        QPushButton* yes = Button("是", true, this);
        QPushButton* no = Button("否", false, this);
        connect(yes, &QPushButton::clicked, this, &QDialog::accept);
        connect(no, &QPushButton::clicked, this, &QDialog::reject);
        buttons->addWidget(yes);
        buttons->addWidget(no);
    } else {
        QPushButton* ok = Button("确定", true, this);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        buttons->addWidget(ok);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24 + kMark + 14, kTitleHeight + 22, 24, 16);
    column->setSpacing(20);
    column->addWidget(message);
    column->addLayout(buttons);
    setFixedSize(kWidth, column->hasHeightForWidth() ? column->heightForWidth(kWidth) : column->sizeHint().height());
}

bool CQuestionBox::Run() {
    // Centred on the dialog it belongs to, else on the screen.
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QRect around = owner && owner->isVisible() ? owner->frameGeometry()
                         : screen()                  ? screen()->availableGeometry()
                                                     : QRect(0, 0, 1024, 768);
    move(around.center() - rect().center());
    const ServingQueuedWhileLooping serving;
    return exec() == QDialog::Accepted;
}

void CQuestionBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(0, kTitleHeight, 0, height());
    body.setColorAt(0, QColor("#F4F8FB"));
    body.setColorAt(1, QColor("#E6EEF4"));
    p.fillRect(rect(), body);
    QLinearGradient title(0, 0, 0, kTitleHeight);
    title.setColorAt(0, kTitleTop);
    title.setColorAt(1, kTitleBottom);
    p.fillRect(QRect(0, 0, width(), kTitleHeight), title);
    p.setPen(Qt::white);
    p.setFont(Face(14, true));
    p.drawText(QRect(16, 0, width() - 32, kTitleHeight), Qt::AlignVCenter | Qt::AlignLeft, kTitle);
    // The kind of message, in a round mark beside the text.
    const QColor mark = kind_ == kWarn ? QColor("#E0553C") : QColor("#4C7CAD");
    const QRectF circle(24, kTitleHeight + 22, kMark, kMark);
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    p.drawEllipse(circle);
    p.setPen(Qt::white);
    p.setFont(Face(17, true));
    p.drawText(circle, Qt::AlignCenter, kind_ == kAsk ? "?" : kind_ == kWarn ? "!" : "i");
    p.setPen(QPen(kTitleBottom, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, width() - 1, height() - 1));
}

} // namespace pavoline::updater

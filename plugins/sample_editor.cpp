// A sample theme editor: a real plug-in that shows its model's name and pictures under a caption of
// its own (drag, minimise, close, about, help, as the launcher's caption offers), goes back to the
// phone list and opens the model's help. SAMPLE_WITHOUT_GET_FRAME builds a broken variant for tests.
#include "owner_drawn.h"
#include "plugin_api.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace pavoline;

QString gModel;
QString gModelDir;
QString gProgramDir;
bool gMaximized = false;

constexpr int kCaptionHeight = 48;

// The editor's commands go to its frame, which passes them on to the launcher.
void SendCommandToFrame(QWidget* view, WPARAM command) {
    sendMessage(dynamic_cast<MessageWindow*>(view->parentWidget()), WM_COMMAND, command, 0);
}

class EditorCaption : public QWidget {
public:
    explicit EditorCaption(QWidget* view) : QWidget(view), view_(view) {
        setObjectName("EditorCaption");
        setFixedHeight(kCaptionHeight);
        auto* title = new QLabel(QString("%1 主题编辑器").arg(gModel), this);
        title->setObjectName("Title");
        auto* about = textButton("关于", "About", ID_APP_ABOUT);
        auto* help = textButton("帮助", "Help", ID_HELP);
        minimize_ = pictureButton("btn_minimize.png", "最小化", "–", "Minimize");
        close_ = pictureButton("btn_close.png", "关闭", "×", "Close");
        connect(minimize_, &QPushButton::clicked, this, [this] { window()->showMinimized(); });
        connect(close_, &QPushButton::clicked, this, [this] { SendCommandToFrame(view_, ID_APP_EXIT); });
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(20, 0, 14, 0);
        row->addWidget(title);
        row->addStretch();
        row->addWidget(about);
        row->addWidget(help);
        row->addSpacing(16);
        row->addWidget(minimize_);
        row->addWidget(close_);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawTiledPixmap(rect(), QPixmap(gProgramDir + "caption_strip.png"));
    }
    // The window is dragged by this caption, as by the launcher's own.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && !gMaximized && window()->windowHandle())
            window()->windowHandle()->startSystemMove();
    }

private:
    QPushButton* textButton(const QString& text, const QString& name, WPARAM command) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, [this, command] { SendCommandToFrame(view_, command); });
        return button;
    }
    CButtonExt* pictureButton(const QString& picture, const QString& tip, const QString& glyph, const QString& name) {
        auto* button = new CButtonExt(this);
        button->setObjectName(name);
        button->setText(glyph);
        button->setFixedSize(20, 20);
        button->SetPicture(QPixmap(gProgramDir + picture));
        button->SetToolTipWindow(this);
        button->SetToolTipText(tip);
        button->setCursor(Qt::PointingHandCursor);
        return button;
    }

    QWidget* view_;
    CButtonExt* minimize_;
    CButtonExt* close_;
};

class SampleEditorView : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit SampleEditorView(QWidget* parent) : QWidget(parent) {
        setObjectName("SampleEditorView");
        setAutoFillBackground(true);
        setStyleSheet("#SampleEditorView { background: #F4F7FA; } QLabel#Title { font-size: 20px; color: #FFFFFF; }"
                      "#EditorCaption QPushButton { color: #FFFFFF; border: 1px solid rgba(255,255,255,90);"
                      " border-radius: 4px; padding: 3px 12px; font-size: 14px; background: transparent; }"
                      "#EditorCaption QPushButton:hover { background: rgba(255,255,255,50); }"
                      "#Back { font-size: 15px; padding: 6px 18px; }");
        auto* back = new QPushButton("返回机型列表", this);
        back->setObjectName("Back");
        connect(back, &QPushButton::clicked, [] { SendToAppMainWindow(WM_SWITCH_MODE, 0, gMaximized ? 1 : 0); });
        auto* pictures = new QHBoxLayout;
        for (int k = 1; k <= 3; ++k) {
            auto* picture = new QLabel(this);
            picture->setPixmap(QPixmap(QString("%1/%2_%3.png").arg(gModelDir, gModel).arg(k)));
            picture->setAlignment(Qt::AlignCenter);
            pictures->addWidget(picture);
        }
        auto* body = new QVBoxLayout;
        body->setContentsMargins(40, 24, 40, 30);
        body->addLayout(pictures, 1);
        body->addWidget(back, 0, Qt::AlignLeft);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(new EditorCaption(this));
        layout->addLayout(body, 1);
    }
};

} // namespace

PLUGIN_EXPORT void PavolineMainPhoneSuite(QString* programFolder, QString*, unsigned char*, QString*, QString*,
                                          QString* model, QString* pluginPath, QString*, unsigned char maximized, int) {
    gProgramDir = *programFolder + "/";
    gModel = *model;
    gModelDir = QFileInfo(*pluginPath).absolutePath();
    gMaximized = maximized != 0;
}

#ifndef SAMPLE_WITHOUT_GET_FRAME
PLUGIN_EXPORT void GetFrame(pavoline::CCreateContext* context) {
    context->m_pNewViewClass = &SampleEditorView::staticMetaObject;
}
#endif

#include "sample_editor.moc"

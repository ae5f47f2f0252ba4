// A sample theme editor: a real plug-in that shows its model's name and pictures, goes back to the
// phone list and opens the model's help. SAMPLE_WITHOUT_GET_FRAME builds a broken variant for tests.
#include "creation_context.h"
#include "message_window.h"
#include "plugin_api.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

QString gModel;
QString gModelDir;
bool gMaximized = false;

void SendToMainFrame(pavoline::UINT message, pavoline::WPARAM wParam, pavoline::LPARAM lParam) {
    if (auto* frame = dynamic_cast<pavoline::MessageWindow*>(pavoline::AppMainWindow()))
        pavoline::sendMessage(frame, message, wParam, lParam);
}

class SampleEditorView : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit SampleEditorView(QWidget* parent) : QWidget(parent) {
        setObjectName("SampleEditorView");
        setAutoFillBackground(true);
        setStyleSheet("#SampleEditorView { background: #F4F7FA; } QLabel#Title { font-size: 24px; color: #2F4A66; }"
                      "QPushButton { font-size: 15px; padding: 6px 18px; }");
        auto* title = new QLabel(QString("%1 主题编辑器").arg(gModel), this);
        title->setObjectName("Title");
        auto* back = new QPushButton("返回机型列表", this);
        back->setObjectName("Back");
        auto* help = new QPushButton("帮助", this);
        help->setObjectName("Help");
        connect(back, &QPushButton::clicked, [] { SendToMainFrame(pavoline::WM_SWITCH_MODE, 0, gMaximized ? 1 : 0); });
        connect(help, &QPushButton::clicked, [] { SendToMainFrame(pavoline::WM_SHOW_HELP, 0, 0); });
        auto* pictures = new QHBoxLayout;
        for (int k = 1; k <= 3; ++k) {
            auto* picture = new QLabel(this);
            picture->setPixmap(QPixmap(QString("%1/%2_%3.png").arg(gModelDir, gModel).arg(k)));
            picture->setAlignment(Qt::AlignCenter);
            pictures->addWidget(picture);
        }
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(back);
        buttons->addStretch();
        buttons->addWidget(help);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(40, 30, 40, 30);
        layout->addWidget(title);
        layout->addLayout(pictures, 1);
        layout->addLayout(buttons);
    }
};

} // namespace

PLUGIN_EXPORT void PavolineMainPhoneSuite(QString*, QString*, unsigned char*, QString*, QString*, QString* model,
                                          QString* pluginPath, QString*, unsigned char maximized, int) {
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

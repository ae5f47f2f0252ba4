#pragma once
// The updater's messages and questions in its own look rather than the platform's boxes: its
// title strip, colours and face, buttons drawn alike, no maximise or minimise decorations, and
// centred on the updater's dialog (else on the screen), at any screen density.

#include <QDialog>
#include <QString>

class QLabel;

namespace pavoline::updater {

class CQuestionBox : public QDialog {
    Q_OBJECT
public:
    enum Kind { kInform, kWarn, kAsk };
    // A question has "是" and "否", a message "确定". The caption names the window to the desktop.
    CQuestionBox(QWidget* parent, Kind kind, const QString& caption, const QString& text);
    QString text() const { return text_; }
    // Modal; true for "是" (and for a message's "确定").
    bool Run();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    QString text_;
};

} // namespace pavoline::updater

#pragma once
// The frame a model's theme editor (plug-in) fills, over the main frame's whole client area.

#include "creation_context.h"
#include "message_window.h"

#include <QBasicTimer>
#include <QLibrary>
#include <QPointer>
#include <QWidget>

namespace pavoline {

// A plug-in that cannot be loaded is reported once, in a tip naming the file and the loader's
// reason, and the frame then asks to go back (loadFailed): the user is never left in an empty
// frame. The next selection of the phone tries again in a new frame.
class CThemeFrameWnd : public QWidget, public MessageWindow {
    Q_OBJECT
public:
    static constexpr int kLoadTimerId = 467;

    CThemeFrameWnd(QWidget* parent, QString programDir, CCreateContext context);
    ~CThemeFrameWnd() override;

    // A different model (letter case aside) starts loading its plug-in; the same one does nothing.
    void SelectModel(const QString& model, bool maximized);
    QWidget* view() const { return view_; }
    const QString& model() const { return model_; }
    QString pluginPath() const;
    int loadAttempts() const { return attempts_; }
    // Asks the view to close, leaving the frame open.
    void CloseView();
    // Passes the plug-in's about, exit and help commands on to the main window.
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Why the last load failed.
    const QString& failure() const { return failure_; }
    // What the user is told of it.
    QString FailureText() const;

signals:
    void loadFailed();

protected:
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool load(QString& why);

    QString programDir_;
    CCreateContext context_;
    QString model_;
    bool maximized_ = false;
    QLibrary plugin_;
    QPointer<QWidget> view_;
    QBasicTimer loadTimer_;
    int attempts_ = 0;
    QString failure_;
    // Passed to the plug-in by address and not read back.
    QString programFolder_, text2_, text4_, text5_, programFile_;
    unsigned char flag3_ = 0;
};

} // namespace pavoline

#pragma once
// The frame a model's theme editor (plug-in) fills, over the main frame's whole client area.

#include "creation_context.h"

#include <QBasicTimer>
#include <QLibrary>
#include <QPointer>
#include <QWidget>

namespace pavoline {

class CThemeFrameWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLoadTimerId = 467;
    static constexpr int kLongestRetryMs = 4000;

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
    int retryMs_ = 1;
    int attempts_ = 0;
    bool reported_ = false;
    // Passed to the plug-in by address and not read back.
    QString programFolder_, text2_, text4_, text5_, programFile_;
    unsigned char flag3_ = 0;
};

} // namespace pavoline

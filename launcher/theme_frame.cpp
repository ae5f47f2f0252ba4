#include "theme_frame.h"

#include "plugin_api.h"
#include "platform.h"
#include "tip_dialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimerEvent>

namespace pavoline {

CThemeFrameWnd::CThemeFrameWnd(QWidget* parent, QString programDir, CCreateContext context)
    : QWidget(parent), MessageWindow(this), programDir_(std::move(programDir)), context_(context) {
    context_.m_pCurrentFrame = this;
    programFile_ = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

CThemeFrameWnd::~CThemeFrameWnd() {
    delete view_;
    // The library goes with the frame that loaded it.
    if (plugin_.isLoaded()) plugin_.unload();
}

QString CThemeFrameWnd::pluginPath() const {
    const std::string model = model_.toStdString();
    const std::string dir = ExistingModelDir(model, programDir_.toStdString()).value_or(ResourceDir(programDir_.toStdString()) + model);
    return QString::fromStdString(ModelFile(dir + "/", model, ".so"));
}

void CThemeFrameWnd::SelectModel(const QString& model, bool maximized) {
    if (model.compare(model_, Qt::CaseInsensitive) == 0) return;
    maximized_ = maximized;
    model_ = model;
    loadTimer_.start(1, this);
}

void CThemeFrameWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() != loadTimer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    loadTimer_.stop();
    if (load(failure_)) return;
    emit loadFailed(); // the phone list is back behind the tip
    CTipDlg::ShowNotice(FailureText());
}

// One sentence on which editor could not be opened and what to do, then the file and the reason
// once each: the loader names the file in its own reason, twice.
QString CThemeFrameWnd::FailureText() const {
    const QString path = pluginPath();
    QString reason = failure_;
    reason.remove("Cannot load library ").remove(path + ": ").remove(path);
    reason = reason.trimmed();
    if (reason.startsWith(": ")) reason.remove(0, 2);
    if (reason.startsWith('(') && reason.endsWith(')')) reason = reason.mid(1, reason.size() - 2).trimmed();
    const QString what = QFileInfo::exists(path) ? "插件文件已损坏" : "找不到插件文件";
    return QString("无法打开机型 %1 的编辑器：%2，请卸载后重新安装。\n文件：%3\n原因：%4").arg(model_, what, path, reason);
}

bool CThemeFrameWnd::load(QString& why) {
    ++attempts_;
    if (model_.isEmpty() || !IsPlainName(model_.toStdString())) {
        why = "机型名称无效";
        return false;
    }
    programFolder_ = programDir_.endsWith('/') ? programDir_.left(programDir_.size() - 1) : programDir_;
    if (plugin_.isLoaded()) plugin_.unload();
    QString path = pluginPath();
    plugin_.setFileName(path);
    if (!plugin_.load()) {
        why = plugin_.errorString();
        return false;
    }
    auto suite = reinterpret_cast<PavolineMainPhoneSuiteFunction>(plugin_.resolve("PavolineMainPhoneSuite"));
    if (!suite) {
        why = "插件缺少导出函数 PavolineMainPhoneSuite";
        return false;
    }
    QString model = model_;
    suite(&programFolder_, &text2_, &flag3_, &text4_, &text5_, &model, &path, &programFile_, maximized_ ? 1 : 0, 0);
    auto getFrame = reinterpret_cast<GetFrameFunction>(plugin_.resolve("GetFrame"));
    if (!getFrame) {
        why = "插件缺少导出函数 GetFrame";
        return false;
    }
    getFrame(&context_);
    QWidget* view = context_.CreateView(this);
    if (!view) {
        why = "插件的视图无法创建";
        return false;
    }
    view_ = view;
    view_->setGeometry(rect());
    view_->show();
    return true;
}

void CThemeFrameWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(rect());
}

void CThemeFrameWnd::CloseView() {
    if (view_) view_->close();
}

LRESULT CThemeFrameWnd::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && IsForwardedCommand(wParam)) return SendToAppMainWindow(message, wParam, lParam);
    return 0;
}

} // namespace pavoline

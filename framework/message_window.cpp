#include "message_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>
#include <QTimerEvent>

namespace pavoline {

LRESULT sendMessage(MessageWindow* window, UINT message, WPARAM wParam, LPARAM lParam) {
    QObject* target = window ? window->messageObject() : nullptr;
    if (!target) return 0;
    if (target->thread() == QThread::currentThread()) return window->windowProc(message, wParam, lParam);
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        target, [&] { result = window->windowProc(message, wParam, lParam); }, Qt::BlockingQueuedConnection);
    return result;
}

void RunOnUiThread(const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() == QThread::currentThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

bool postMessage(MessageWindow* window, UINT message, WPARAM wParam, LPARAM lParam) {
    QObject* target = window ? window->messageObject() : nullptr;
    if (!target) return false;
    // Queued on the target itself: if it is destroyed first, the call is dropped with it.
    return QMetaObject::invokeMethod(
        target, [window, message, wParam, lParam] { window->windowProc(message, wParam, lParam); },
        Qt::QueuedConnection);
}

namespace {

const QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::registerEventType());

void PostWake() {
    if (QCoreApplication* app = QCoreApplication::instance()) QCoreApplication::postEvent(app, new QEvent(kWake));
}

// Its timer's ticks post the wake; the post, not the tick, is what makes the loop deliver.
class Waker : public QObject {
protected:
    void timerEvent(QTimerEvent*) override { PostWake(); }
};

} // namespace

ServingQueuedWhileLooping::ServingQueuedWhileLooping() : waker_(new Waker) {
    PostWake();
    timer_ = waker_->startTimer(50);
}

ServingQueuedWhileLooping::~ServingQueuedWhileLooping() {
    waker_->killTimer(timer_);
    delete waker_;
}

} // namespace pavoline

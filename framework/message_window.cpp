#include "message_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>

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

void ServeWhatIsQueuedInTheNextLoop() {
    static const auto kWake = static_cast<QEvent::Type>(QEvent::registerEventType());
    if (QCoreApplication* app = QCoreApplication::instance()) QCoreApplication::postEvent(app, new QEvent(kWake));
}

} // namespace pavoline

#pragma once
// Windows that receive numbered messages. sendMessage calls the window procedure directly on the
// window's own thread and, from any other thread, blocks until the window's thread has run it;
// postMessage queues it. Posted messages keep their order.

#include "messages.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace pavoline {

class MessageWindow {
public:
    // self: the QObject (usually the widget itself) whose thread runs the window procedure.
    explicit MessageWindow(QObject* self) : self_(self) {}
    virtual ~MessageWindow() = default;
    virtual LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    QObject* messageObject() const { return self_; }

private:
    QPointer<QObject> self_;
};

// Runs fn on the application's thread and returns when it has run, like a send to a window.
void RunOnUiThread(const std::function<void()>& fn);

// 0 when the window is gone.
LRESULT sendMessage(MessageWindow* window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// False when the window is gone.
bool postMessage(MessageWindow* window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Held around a modal loop or a wait that may run inside a posted message's handler. Qt's glib
// event dispatcher can leave such a loop asleep with posted events waiting (a worker's send queued
// before the loop began, or, rarely, one queued while it runs), so the worker and the loop wait for
// each other for ever. A post of nothing wakes the loop to deliver them: one at once, then one every
// 50 ms for as long as the loop runs.
class ServingQueuedWhileLooping {
public:
    ServingQueuedWhileLooping();
    ~ServingQueuedWhileLooping();
    ServingQueuedWhileLooping(const ServingQueuedWhileLooping&) = delete;
    ServingQueuedWhileLooping& operator=(const ServingQueuedWhileLooping&) = delete;

private:
    int timer_ = 0;
    QObject* waker_ = nullptr;
};

} // namespace pavoline

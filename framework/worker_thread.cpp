#include "worker_thread.h"

#include <QEventLoop>

namespace pavoline {

WorkerThread::~WorkerThread() {
    if (thread_.joinable()) waitServingSends();
}

bool WorkerThread::start(std::function<void()> job) {
    if (running()) return false;
    if (thread_.joinable()) thread_.join();
    done_ = false;
    thread_ = std::thread([this, job = std::move(job)] {
        job();
        done_ = true;
        QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
    });
    return true;
}

void WorkerThread::waitServingSends() {
    if (!thread_.joinable()) return;
    if (!done_) {
        QEventLoop loop;
        connect(this, &WorkerThread::finished, &loop, &QEventLoop::quit);
        // Checked again after connecting, so a finish in between is not missed.
        if (!done_) loop.exec();
    }
    thread_.join();
}

} // namespace pavoline

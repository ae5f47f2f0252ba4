#include "worker_thread.h"

#include "message_window.h"

#include <QEventLoop>

#include <system_error>

namespace pavoline {

WorkerThread::~WorkerThread() {
    if (thread_.joinable()) waitServingSends();
}

namespace {
std::atomic<bool> gFailStarts{false};
} // namespace

void WorkerThread::FailStartsForTesting(bool fail) { gFailStarts = fail; }

bool WorkerThread::start(std::function<void()> job) {
    if (running()) return false;
    if (thread_.joinable()) thread_.join();
    done_ = false;
    try {
        if (gFailStarts.load()) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        thread_ = std::thread([this, job = std::move(job)] {
            job();
            done_ = true;
            QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThread::waitServingSends() {
    if (!thread_.joinable()) return;
    if (!done_) {
        QEventLoop loop;
        connect(this, &WorkerThread::finished, &loop, &QEventLoop::quit);
        // Checked again after connecting, so a finish in between is not missed.
        if (!done_) {
            const ServingQueuedWhileLooping serving;
            loop.exec();
        }
    }
    thread_.join();
}

} // namespace pavoline

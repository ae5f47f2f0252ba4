#pragma once
// A worker on its own thread, and a wait for it that keeps the UI thread serving the worker's
// sends: the waiting thread runs a nested event loop until the worker has ended, so a send the
// worker has in flight is answered and nothing deadlocks.

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

namespace pavoline {

class WorkerThread : public QObject {
    Q_OBJECT
public:
    explicit WorkerThread(QObject* parent = nullptr) : QObject(parent) {}
    ~WorkerThread() override;

    // Starts job on a new thread; false when one is still running or no thread can be made (the
    // system's limit of threads or memory), which the caller must then report.
    bool start(std::function<void()> job);
    // Every following start fails as when the system can make no more threads.
    static void FailStartsForTesting(bool fail);
    bool running() const { return thread_.joinable() && !done_.load(); }
    // Returns when the worker has ended, serving sent and posted messages meanwhile.
    void waitServingSends();

signals:
    // Emitted on this object's thread once the job has returned.
    void finished();

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
};

} // namespace pavoline

#pragma once
// Mutexes found by name. Within a process they are kept in a registry: Create makes a mutex (or
// finds the one that exists), Open only finds one, and a mutex lives while anyone holds it. The
// owning thread may lock it again, as with the named mutexes the suite was first written against.
//
// Across processes (single instance, "updater running") a mutex is an flock on a file named after
// it in $XDG_RUNTIME_DIR (else the temp directory); the kernel releases it when the holder dies.

#include <memory>
#include <mutex>
#include <string>

namespace pavoline {

class NamedMutex {
public:
    static std::shared_ptr<NamedMutex> Create(const std::string& name);
    static std::shared_ptr<NamedMutex> Open(const std::string& name); // nothing when none exists

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

// Locks the mutex of that name for the scope when it exists; a missing mutex locks nothing, as
// opening a mutex nobody created fails.
class NamedLock {
public:
    explicit NamedLock(const std::string& name) : mutex_(NamedMutex::Open(name)) {
        if (mutex_) mutex_->lock();
    }
    ~NamedLock() {
        if (mutex_) mutex_->unlock();
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

private:
    std::shared_ptr<NamedMutex> mutex_;
};

class ProcessMutex {
public:
    explicit ProcessMutex(const std::string& name);
    ~ProcessMutex();
    ProcessMutex(const ProcessMutex&) = delete;
    ProcessMutex& operator=(const ProcessMutex&) = delete;

    // Waits up to timeoutMs (0: just tries); true when this process now holds it.
    bool acquire(unsigned timeoutMs);
    void release();
    bool held() const { return held_; }
    // True when some process holds it, without taking it.
    static bool IsHeldElsewhere(const std::string& name);
    static std::string LockPath(const std::string& name);

private:
    std::string path_;
    int fd_ = -1;
    bool held_ = false;
};

} // namespace pavoline

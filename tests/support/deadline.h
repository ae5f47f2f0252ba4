#pragma once
// A bound for a stretch of a test that has none of its own (a modal flow, a blocking call): when
// it has not ended in time, the test process ends at once with a message naming what it waited
// for. A test whose condition has become impossible then fails within seconds instead of waiting
// out its CTest limit.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace pavoline::test {

class Deadline {
public:
    Deadline(std::string what, std::chrono::seconds limit)
        : thread_([this, what = std::move(what), limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (changed_.wait_for(lock, limit, [this] { return ended_; })) return;
              std::fprintf(stderr, "FAIL: %s did not end within %lld s\n", what.c_str(),
                           static_cast<long long>(limit.count()));
              std::fflush(stderr);
              std::abort();
          }) {}
    ~Deadline() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
    std::thread thread_; // last: it starts once the rest is there
};

} // namespace pavoline::test

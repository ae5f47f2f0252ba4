#pragma once
// The connection handling of pavoline-site serve. A connection waits for its request in one epoll
// thread, the gate, and reaches a worker only once its whole request header has arrived, so that
// clients which trickle or idle hold no worker; a request header that is not whole within the
// deadline ends its connection. Only GET and HEAD without a body are taken; anything else is
// answered and its connection closed, never read.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

namespace pavoline::site {

// Where the end of a request header lies: the length of the header with its blank line, 0 while
// it is not whole yet.
size_t RequestHeaderLength(const char* bytes, size_t size);

class GatedServer : public httplib::Server {
public:
    static constexpr size_t kMaxRequestHeader = 16 * 1024;
    static constexpr size_t kMaxWaiting = 8192; // beyond it, the longest-waiting connection goes

    GatedServer(size_t workers, std::chrono::milliseconds requestDeadline);
    ~GatedServer() override;
    GatedServer(const GatedServer&) = delete;
    GatedServer& operator=(const GatedServer&) = delete;

    // The library listens with a backlog of 5, so a burst of clients would wait out SYN retries.
    void widenBacklog();
    // Ends the gate and the workers and closes every connection; for after listen_after_bind.
    void closeConnections();

private:
    using Clock = std::chrono::steady_clock;
    struct Waiting {
        std::multimap<Clock::time_point, int>::iterator deadline;
        size_t served; // requests answered on this connection so far
    };
    struct Ready {
        int fd;
        size_t headerLength;
        size_t served;
    };

    // Called by the accept loop for each new connection (through a queue that runs it at once).
    bool process_and_close_socket(socket_t sock) override;
    void park(int fd, size_t served);
    void gateLoop();
    void look(int fd); // at a parked connection that has something new
    void dropWaiting(int fd, const char* answer);
    void expireWaiting();
    void workerLoop();
    void serve(const Ready& ready);

    const std::chrono::milliseconds deadline_;
    int epoll_ = -1, wake_ = -1;
    std::mutex mutex_; // guards everything below
    bool closing_ = false;
    std::unordered_map<int, Waiting> waiting_;
    std::multimap<Clock::time_point, int> deadlines_;
    std::deque<Ready> ready_;
    std::set<int> active_; // connections a worker is answering
    std::condition_variable readyAdded_;
    std::thread gate_;
    std::vector<std::thread> workers_;
};

} // namespace pavoline::site

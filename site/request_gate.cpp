#include "request_gate.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <string_view>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pavoline::site {
namespace {

constexpr size_t kKeepAliveRequests = 100;
constexpr int kWriteTimeoutMs = 5000; // per piece, as the library's own sockets
constexpr int kGateEvents = 64;

const char kHeaderTimedOut[] = "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
const char kHeaderTooLarge[] = "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

// Set while a worker answers a request whose connection must not be read on: its body is unread.
thread_local bool tCloseAfterAnswer = false;

// Runs each accepted connection's task on the accept loop at once: the task only parks it.
class AtOnce : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> task) override { task(); }
    void shutdown() override {}
};

void Wake(int eventFd) {
    const uint64_t one = 1;
    while (write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Drain(int eventFd) {
    uint64_t count = 0;
    while (read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

void AddressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* a = reinterpret_cast<sockaddr*>(&address);
    char host[NI_MAXHOST] = "", service[NI_MAXSERV] = "";
    if ((peer ? getpeername(fd, a, &length) : getsockname(fd, a, &length)) != 0 ||
        getnameinfo(a, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

// The request header the gate saw whole, and nothing after it: a body is refused, never read.
class HeaderStream : public httplib::Stream {
public:
    HeaderStream(int fd, std::string header) : fd_(fd), header_(std::move(header)) {}
    bool is_readable() const override { return offset_ < header_.size(); }
    bool is_writable() const override {
        pollfd p{fd_, POLLOUT, 0};
        return poll(&p, 1, kWriteTimeoutMs) == 1 && (p.revents & (POLLERR | POLLHUP)) == 0;
    }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, header_.size() - offset_);
        std::memcpy(ptr, header_.data() + offset_, n);
        offset_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        for (size_t done = 0; done < size;) {
            const ssize_t n = send(fd_, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return -1;
            } else if (!is_writable()) {
                return -1;
            }
        }
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { AddressOf(fd_, true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { AddressOf(fd_, false, ip, port); }
    socket_t socket() const override { return fd_; }

private:
    int fd_;
    std::string header_;
    size_t offset_ = 0;
};

void Refuse(httplib::Response& response, int status, const char* text) {
    response.status = status;
    response.set_header("Connection", "close");
    response.set_content(text, "text/plain; charset=utf-8");
    tCloseAfterAnswer = true;
}

} // namespace

size_t RequestHeaderLength(const char* bytes, size_t size) {
    const size_t end = std::string_view(bytes, size).find("\r\n\r\n");
    return end == std::string_view::npos ? 0 : end + 4;
}

GatedServer::GatedServer(size_t workers, std::chrono::milliseconds requestDeadline) : deadline_(requestDeadline) {
    new_task_queue = [] { return new AtOnce; };
    set_keep_alive_max_count(kKeepAliveRequests);
    set_keep_alive_timeout(std::max<time_t>(1, std::chrono::duration_cast<std::chrono::seconds>(deadline_).count()));
    set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        if (request.method != "GET" && request.method != "HEAD") {
            response.set_header("Allow", "GET, HEAD");
            Refuse(response, 405, "only GET and HEAD\n");
        } else if (request.has_header("Transfer-Encoding") ||
                   (request.has_header("Content-Length") && request.get_header_value("Content-Length") != "0")) {
            Refuse(response, 413, "requests with a body are not taken\n");
        } else {
            return HandlerResponse::Unhandled;
        }
        return HandlerResponse::Handled;
    });
    // Asked whether a body may follow: no. (The library answers 100 and 417 with a bare status line
    // and reads on, any other status as a whole answer.)
    set_expect_100_continue_handler([](const httplib::Request&, httplib::Response& response) {
        Refuse(response, 413, "requests with a body are not taken\n");
        return 413;
    });
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
    gate_ = std::thread([this] { gateLoop(); });
    for (size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { workerLoop(); });
}

GatedServer::~GatedServer() {
    closeConnections();
    close(epoll_);
    close(wake_);
}

void GatedServer::closeConnections() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        while (!waiting_.empty()) dropWaiting(waiting_.begin()->first, nullptr);
        for (const Ready& r : ready_) close(r.fd);
        ready_.clear();
        for (int fd : active_) shutdown(fd, SHUT_RDWR); // its worker closes it
    }
    readyAdded_.notify_all();
    Wake(wake_);
    if (gate_.joinable()) gate_.join();
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
}

void GatedServer::widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

bool GatedServer::process_and_close_socket(socket_t sock) {
    park(sock, 0);
    return true;
}

void GatedServer::park(int fd, size_t served) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        close(fd);
        return;
    }
    if (waiting_.size() >= kMaxWaiting) dropWaiting(deadlines_.begin()->second, nullptr);
    const bool gateSleeps = deadlines_.empty(); // with no deadline to wake it
    waiting_[fd] = Waiting{deadlines_.emplace(Clock::now() + deadline_, fd), served};
    // Edge-triggered: the gate only peeks, so the bytes stay readable and would wake it for ever.
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    event.data.fd = fd;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) return dropWaiting(fd, nullptr);
    if (gateSleeps) Wake(wake_);
}

void GatedServer::gateLoop() {
    epoll_event events[kGateEvents];
    for (;;) {
        int timeout = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closing_) return;
            if (!deadlines_.empty()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadlines_.begin()->first - Clock::now());
                timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
            }
        }
        const int n = epoll_wait(epoll_, events, kGateEvents, timeout);
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return;
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wake_)
                Drain(wake_);
            else if (waiting_.count(fd))
                look(fd);
        }
        expireWaiting();
    }
}

void GatedServer::look(int fd) {
    static char peeked[kMaxRequestHeader]; // the gate thread's alone
    const ssize_t n = recv(fd, peeked, sizeof peeked, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) return dropWaiting(fd, nullptr); // gone, or broken
    const size_t length = RequestHeaderLength(peeked, static_cast<size_t>(n));
    if (length == 0) {
        if (static_cast<size_t>(n) == sizeof peeked) dropWaiting(fd, kHeaderTooLarge);
        return;
    }
    const Waiting waiting = waiting_.at(fd);
    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    deadlines_.erase(waiting.deadline);
    waiting_.erase(fd);
    ready_.push_back(Ready{fd, length, waiting.served});
    readyAdded_.notify_one();
}

void GatedServer::dropWaiting(int fd, const char* answer) {
    if (answer) send(fd, answer, std::strlen(answer), MSG_NOSIGNAL | MSG_DONTWAIT);
    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    deadlines_.erase(waiting_.at(fd).deadline);
    waiting_.erase(fd);
    close(fd);
}

void GatedServer::expireWaiting() {
    const Clock::time_point now = Clock::now();
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        const int fd = deadlines_.begin()->second;
        char first = 0;
        // A connection that began a request is told why it ends; an idle one is just closed.
        const bool begun = recv(fd, &first, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
        dropWaiting(fd, begun ? kHeaderTimedOut : nullptr);
    }
}

void GatedServer::workerLoop() {
    for (;;) {
        Ready ready{};
        {
            std::unique_lock<std::mutex> lock(mutex_);
            readyAdded_.wait(lock, [this] { return closing_ || !ready_.empty(); });
            if (closing_) return;
            ready = ready_.front();
            ready_.pop_front();
            active_.insert(ready.fd);
        }
        serve(ready);
    }
}

void GatedServer::serve(const Ready& ready) {
    std::string header(ready.headerLength, '\0');
    bool keep = recv(ready.fd, header.data(), header.size(), MSG_WAITALL) == static_cast<ssize_t>(header.size());
    if (keep) {
        HeaderStream stream(ready.fd, std::move(header));
        tCloseAfterAnswer = false;
        const bool lastOnConnection = ready.served + 1 >= kKeepAliveRequests;
        bool clientCloses = false;
        keep = process_request(stream, lastOnConnection, clientCloses, nullptr) && !lastOnConnection && !clientCloses &&
               !tCloseAfterAnswer;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        active_.erase(ready.fd);
        if (!keep || closing_) {
            close(ready.fd);
            return;
        }
    }
    park(ready.fd, ready.served + 1);
}

} // namespace pavoline::site

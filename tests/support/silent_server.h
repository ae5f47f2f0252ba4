#pragma once
// Servers on 127.0.0.1 that stop talking, for the transfers that must give up or be cancelled:
// one answers each request with fixed bytes (none at all, or headers and part of a body) and then
// keeps the connection open without another word; the other never completes a connection.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace pavoline::test {

class SilentServer {
public:
    // reply: what every request gets before the silence; empty for none.
    explicit SilentServer(std::string reply = "");
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    std::string url(const std::string& path) const;
    // Requests whose reply (if any) has been written: the transfer then waits on the silence.
    int answered() const { return answered_.load(); }
    // Blocks until that many requests have been answered; false when they were not within seconds.
    bool waitForAnswered(int count) const;

private:
    void serve();
    void readFrom(size_t client);

    std::string reply_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    struct Client {
        int fd;
        std::string request;
        bool answered;
    };
    std::vector<Client> clients_;
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// A listening port whose queue is full, so that a new connection stays in its connecting phase
// (the kernel drops its handshake) until the client gives up.
class UnansweredConnectPort {
public:
    UnansweredConnectPort();
    ~UnansweredConnectPort();
    UnansweredConnectPort(const UnansweredConnectPort&) = delete;
    UnansweredConnectPort& operator=(const UnansweredConnectPort&) = delete;

    std::string url(const std::string& path) const;

private:
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

} // namespace pavoline::test

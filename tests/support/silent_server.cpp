#include "silent_server.h"

#include "http_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pavoline::test {
namespace {

std::string LoopbackUrl(int port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

int ListeningSocket(int backlog, int& port) {
    const int fd = LoopbackSocket(port);
    if (fd < 0 || listen(fd, backlog) != 0) throw std::runtime_error("cannot listen on 127.0.0.1");
    return fd;
}

} // namespace

SilentServer::SilentServer(std::string reply) : reply_(std::move(reply)) {
    listener_ = ListeningSocket(16, port_);
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    thread_ = std::thread([this] { serve(); });
}

SilentServer::~SilentServer() {
    const char stop = 0;
    (void)!write(stopPipe_[1], &stop, 1);
    thread_.join();
    for (const Client& c : clients_) close(c.fd);
    close(listener_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::string SilentServer::url(const std::string& path) const { return LoopbackUrl(port_, path); }

bool SilentServer::waitForAnswered(int count) const {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (answered_.load() < count) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SilentServer::serve() {
    for (;;) {
        std::vector<pollfd> fds = {{stopPipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) return;
        if (fds[1].revents) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) clients_.push_back({fd, "", false});
        }
        for (size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents) readFrom(i - 2);
    }
}

// Reads what the client sends; once its request is complete, writes the reply and says no more.
void SilentServer::readFrom(size_t index) {
    Client& client = clients_[index];
    char buffer[4096];
    const ssize_t n = read(client.fd, buffer, sizeof buffer);
    if (n <= 0) return; // a closed connection stays in the list until the server goes
    client.request.append(buffer, static_cast<size_t>(n));
    if (client.answered || client.request.find("\r\n\r\n") == std::string::npos) return;
    client.answered = true;
    if (!reply_.empty()) (void)!write(client.fd, reply_.data(), reply_.size());
    ++answered_;
}

UnansweredConnectPort::UnansweredConnectPort() {
    listener_ = ListeningSocket(0, port_);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    // Connections nobody accepts fill the queue; once one of them stays unconnected, so will the next.
    for (int tries = 0;; ++tries) {
        if (tries == 64) throw std::runtime_error("the listening queue does not fill");
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers_.push_back(fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
        pollfd wait{fd, POLLOUT, 0};
        if (poll(&wait, 1, 200) == 0) break;
    }
}

UnansweredConnectPort::~UnansweredConnectPort() {
    for (int fd : fillers_) close(fd);
    close(listener_);
}

std::string UnansweredConnectPort::url(const std::string& path) const { return LoopbackUrl(port_, path); }

} // namespace pavoline::test

#pragma once
// A real HTTP server on 127.0.0.1 with an ephemeral port, running on its own thread for a test.

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace pavoline::test {

class TestHttpServer {
public:
    TestHttpServer() {
        // Counted before the answer is written: a client holding an answer sees its request counted.
        server_.set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
            ++requests_;
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }
    ~TestHttpServer() { stop(); }

    httplib::Server& routes() { return server_; }

    // Starts listening; call after adding the routes.
    void start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        // The socket listens from bind on; connections wait in its backlog until the loop runs.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() only ends a loop that runs, so wait for it.
        while (!server_.is_running()) std::this_thread::yield();
    }
    void stop() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int port() const { return port_; }
    int requestCount() const { return requests_.load(); }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<int> requests_{0};
};

// A port on 127.0.0.1 that nothing listens on.
int UnusedPort();
// A TCP socket bound to an ephemeral port on 127.0.0.1 (given back in port); -1 on failure.
int LoopbackSocket(int& port);

} // namespace pavoline::test

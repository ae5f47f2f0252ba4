#pragma once
// Someone on the network path: answers for the update server by asking the real one (on
// 127.0.0.1:upstreamPort) and can change any answer on the way, as a hostile mirror, a poisoned
// name lookup or a public Wi-Fi could.

#include "http_server.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace pavoline::test {

class TamperingProxy {
public:
    // Gets each answer (the request target with its query, the status and the body) before the
    // client does, and may change it.
    using Tamper = std::function<void(const std::string& target, int& status, std::string& body)>;

    explicit TamperingProxy(int upstreamPort);
    void setTamper(Tamper tamper);
    std::string host() const { return "127.0.0.1:" + std::to_string(server_.port()); }
    // How many requests named a target containing the text.
    int requests(const std::string& text) const;

private:
    int upstreamPort_;
    mutable std::mutex mutex_;
    Tamper tamper_;
    std::vector<std::string> targets_;
    TestHttpServer server_;
};

} // namespace pavoline::test

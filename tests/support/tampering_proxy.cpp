#include "tampering_proxy.h"

namespace pavoline::test {

TamperingProxy::TamperingProxy(int upstreamPort) : upstreamPort_(upstreamPort) {
    server_.routes().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            targets_.push_back(request.target);
        }
        httplib::Client upstream("127.0.0.1", upstreamPort_);
        upstream.set_read_timeout(60, 0);
        const httplib::Result answer = upstream.Get(request.target);
        int status = answer ? answer->status : 502;
        std::string body = answer ? answer->body : std::string();
        const std::string type = answer ? answer->get_header_value("Content-Type") : "text/plain";
        Tamper tamper;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tamper = tamper_;
        }
        if (tamper) tamper(request.target, status, body);
        response.status = status;
        response.set_content(body, type);
    });
    server_.start();
}

void TamperingProxy::setTamper(Tamper tamper) {
    std::lock_guard<std::mutex> lock(mutex_);
    tamper_ = std::move(tamper);
}

int TamperingProxy::requests(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const std::string& target : targets_) count += target.find(text) != std::string::npos;
    return count;
}

} // namespace pavoline::test

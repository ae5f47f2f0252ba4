#pragma once
// pavoline-site serve: a site's files over HTTP, plus the two answers that depend on the request:
// the catalogue at /port/themeModel/ and the version query at /port/themeEditor/?vnum=V.

#include "site_layout.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace pavoline::site {

class GatedServer;

// How long a client has to send a whole request header, from connecting or from the previous answer.
constexpr std::chrono::milliseconds kRequestDeadline{10000};

// The host for the addresses of a reply: the request's Host header when it is a host name, an IPv4
// address or a bracketed IPv6 address, with an optional port; otherwise the fallback.
std::string ReplyHost(const std::string& hostHeader, const std::string& fallback);

// Body of the version query: the info file's address when the asked version is older than the
// site's latest; empty otherwise, also for a missing or malformed version.
std::string VersionQueryReply(const SiteRecord& record, const std::string& asked, const std::string& host);

// The file below the site that a request path names; nothing for a path that would leave the site
// or names the site itself.
std::optional<std::string> SitePathOf(const std::string& requestPath);

// The bytes a file is sent in at a time: at most a tenth of a second's worth at a paced rate (so
// a slowed download arrives steadily), else the streaming buffer.
size_t PacedPieceBytes(uint64_t bytesPerSecond);

class SiteServer {
public:
    explicit SiteServer(std::string siteDir, std::chrono::milliseconds requestDeadline = kRequestDeadline);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    // The port it listens on (port 0 picks a free one), or -1.
    int bind(const std::string& address, int port);
    // "ADDR:PORT" as it stands in an address, IPv6 in brackets.
    const std::string& boundHost() const { return boundHost_; }
    // Serves until stop(); each request ends in one call of the log with "METHOD TARGET STATUS BYTES".
    bool listen();
    void stop();
    bool isRunning() const;
    void setRequestLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }
    // Sends each file at most this fast (0: as fast as it can), to show a slow line.
    void setRate(uint64_t bytesPerSecond) { rate_ = bytesPerSecond; }
    // Holds every answer back this long before it starts, as a distant server's line would.
    void setLatency(std::chrono::milliseconds latency) { latency_ = latency; }

private:
    void handle(const httplib::Request& request, httplib::Response& response) const;
    void serveFile(const std::string& relative, const std::string& host, httplib::Response& response) const;
    std::optional<SiteRecord> record() const;

    std::string site_;
    std::string boundHost_;
    std::unique_ptr<GatedServer> server_;
    std::function<void(const std::string&)> log_;
    uint64_t rate_ = 0;
    std::chrono::milliseconds latency_{0};
};

} // namespace pavoline::site

#include "site_server.h"

#include "request_gate.h"
#include "zip_layer.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pavoline::site {
namespace {

constexpr size_t kWorkers = 32; // a worker answers one request at a time
constexpr size_t kMaxHostHeader = 120;    // an info file line stays well within what its reader takes
constexpr size_t kStreamPiece = 64 * 1024;
constexpr size_t kMaxFilledInFile = 20480000; // more than the launcher reads of a catalogue

// Control characters and blanks of a request target are shown as %XX, so that a log line stays
// one line of four fields.
bool IsVisible(unsigned char c) { return c > 0x20 && c != 0x7F; }

std::optional<std::string> ReadSmallFile(int fd, uint64_t size) {
    if (size > kMaxFilledInFile) return std::nullopt;
    std::string text(size, '\0');
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n <= 0) return std::nullopt;
        done += static_cast<size_t>(n);
    }
    return text;
}

void NotFound(httplib::Response& response) {
    response.status = 404;
    response.set_content("not found\n", "text/plain; charset=utf-8");
}

} // namespace

size_t PacedPieceBytes(uint64_t bytesPerSecond) {
    if (bytesPerSecond == 0) return kStreamPiece;
    return static_cast<size_t>(std::clamp<uint64_t>(bytesPerSecond / 10, 1, kStreamPiece));
}

std::string ReplyHost(const std::string& host, const std::string& fallback) {
    return host.size() <= kMaxHostHeader && IsHostAndPort(host) ? host : fallback;
}

std::string VersionQueryReply(const SiteRecord& record, const std::string& asked, const std::string& host) {
    const std::optional<SuiteVersion> version = ParseSuiteVersion(asked);
    if (!record.latestVersion || !version || !IsOlder(*version, *record.latestVersion)) return "";
    return "http://" + (record.host.empty() ? host : record.host) + "/" + record.updateInfoFile;
}

std::optional<std::string> SitePathOf(const std::string& requestPath) {
    if (requestPath.empty() || requestPath[0] != '/') return std::nullopt;
    const size_t first = requestPath.find_first_not_of('/');
    if (first == std::string::npos) return std::nullopt;
    return SafeEntryPath(requestPath.substr(first));
}

SiteServer::SiteServer(std::string siteDir, std::chrono::milliseconds requestDeadline)
    : site_(std::move(siteDir)), server_(std::make_unique<GatedServer>(kWorkers, requestDeadline)) {
    // Only SO_REUSEADDR: with the library's SO_REUSEPORT a second server on a port in use would
    // start and share its requests instead of failing.
    // TCP_NODELAY (which accepted connections inherit): an answer's last piece goes out at once,
    // rather than waiting out the client's delayed acknowledgement, 40 ms on every kept connection.
    server_->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    });
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        handle(request, response);
    });
    server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        if (!log_) return;
        const std::string bytes = request.method == "HEAD" ? "0" : response.get_header_value("Content-Length");
        log_(request.method + " " + PercentEncoded(request.target, IsVisible) + " " + std::to_string(response.status) + " " +
             (bytes.empty() ? "0" : bytes));
    });
}

SiteServer::~SiteServer() { stop(); }

int SiteServer::bind(const std::string& address, int port) {
    if (port < 0 || port > 65535) return -1;
    const int bound = port == 0 ? server_->bind_to_any_port(address) : (server_->bind_to_port(address, port) ? port : -1);
    if (bound < 0) return -1;
    server_->widenBacklog();
    const std::string shown = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    boundHost_ = shown + ":" + std::to_string(bound);
    return bound;
}

bool SiteServer::listen() {
    const bool listened = server_->listen_after_bind();
    server_->closeConnections();
    return listened;
}
void SiteServer::stop() { server_->stop(); }
bool SiteServer::isRunning() const { return server_->is_running(); }

std::optional<SiteRecord> SiteServer::record() const {
    const int fd = open((site_ + "/" + kSiteRecordFile).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    std::optional<std::string> text;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) text = ReadSmallFile(fd, static_cast<uint64_t>(status.st_size));
    close(fd);
    return text ? ReadSiteRecord(*text) : std::nullopt;
}

void SiteServer::handle(const httplib::Request& request, httplib::Response& response) const {
    if (latency_.count() > 0) std::this_thread::sleep_for(latency_);
    const std::string host = ReplyHost(request.get_header_value("Host"), boundHost_);
    if (request.path == kVersionQueryPath) {
        const std::optional<SiteRecord> site = record();
        response.set_content(site ? VersionQueryReply(*site, request.get_param_value(kVersionQueryKey), host) : "",
                             kVersionReplyType);
        return;
    }
    const std::optional<std::string> relative =
        request.path == kCatalogueRequestPath            ? std::optional<std::string>(kCatalogueFile)
        : request.path == kCatalogueSignaturePath ? std::optional<std::string>(kCatalogueSignatureFile)
                                                         : SitePathOf(request.path);
    if (!relative) return NotFound(response);
    serveFile(*relative, host, response);
}

void SiteServer::serveFile(const std::string& relative, const std::string& host, httplib::Response& response) const {
    // Symbolic links may point anywhere inside the site, never out of it.
    char root[PATH_MAX], file[PATH_MAX];
    if (!realpath(site_.c_str(), root) || !realpath((site_ + "/" + relative).c_str(), file)) return NotFound(response);
    const std::string inside = std::string(root) + "/";
    if (std::string(file).compare(0, inside.size(), inside) != 0) return NotFound(response);
    const int fd = open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return NotFound(response);
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) { // no listings of folders
        close(fd);
        return NotFound(response);
    }
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    const std::optional<SiteRecord> site = record();
    // A site that names its host (a signed one always does) is served byte for byte.
    const bool fillInHost = site && site->host.empty() &&
                            (relative == kCatalogueFile || (site->latestVersion && relative == site->updateInfoFile));
    if (fillInHost || size == 0) {
        const std::optional<std::string> text = ReadSmallFile(fd, size);
        close(fd);
        if (!text) return NotFound(response);
        response.set_content(fillInHost ? WithHost(*text, host) : *text, ContentTypeOf(relative));
        return;
    }
    // Streamed in pieces, so a package of any size costs one buffer per request.
    response.set_content_provider(
        static_cast<size_t>(size), ContentTypeOf(relative),
        [fd, rate = rate_](size_t offset, size_t length, httplib::DataSink& sink) {
            char piece[kStreamPiece];
            const ssize_t n = pread(fd, piece, std::min(length, PacedPieceBytes(rate)), static_cast<off_t>(offset));
            if (n > 0 && rate > 0)
                std::this_thread::sleep_for(std::chrono::microseconds(static_cast<uint64_t>(n) * 1000000 / rate));
            return n > 0 && sink.write(piece, static_cast<size_t>(n));
        },
        [fd](bool) { close(fd); });
}

} // namespace pavoline::site

#include "curl_request.h"

#include <atomic>
#include <mutex>
#include <strings.h>

namespace pavoline {
namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kDefaultStallSeconds = 30;
constexpr long kMaxRedirects = 10;
constexpr const char* kAllowedSchemes = "http,https";

std::atomic<bool> gOffline{false};
std::atomic<long> gStallSeconds{kDefaultStallSeconds};

bool LineStartsWith(const char* line, size_t length, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    return length >= n && strncasecmp(line, prefix, n) == 0;
}

} // namespace

void SetOfflineForTesting(bool offline) { gOffline.store(offline); }

void SetStallSecondsForTesting(long seconds) { gStallSeconds.store(seconds); }

namespace curl_request {

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool Offline() { return gOffline.load(); }

HeaderList RequestHeaders(const std::string& extraHeaders) {
    curl_slist* list = nullptr;
    if (extraHeaders.empty()) {
        list = curl_slist_append(list, "Accept: */*");
    } else {
        size_t start = 0;
        while (start < extraHeaders.size()) {
            size_t end = extraHeaders.find("\r\n", start);
            if (end == std::string::npos) end = extraHeaders.size();
            if (end > start) list = curl_slist_append(list, extraHeaders.substr(start, end - start).c_str());
            start = end + 2;
        }
    }
    list = curl_slist_append(list, "Pragma: no-cache");
    list = curl_slist_append(list, "Cache-Control: no-cache");
    return HeaderList(list, curl_slist_free_all);
}

bool ResponseHeaders::onLine(const char* line, size_t length) {
    if (LineStartsWith(line, length, "HTTP/")) {
        location = false;
    } else if (LineStartsWith(line, length, "Location:")) {
        location = true;
    } else if ((length == 2 && line[0] == '\r') || (length == 1 && line[0] == '\n')) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        const bool interim = status >= 100 && status < 200;
        const bool followed = status >= 300 && status < 400 && location;
        if (!interim && !followed && !finalReceived) {
            finalReceived = true;
            return !onFinal || onFinal();
        }
    }
    return true;
}

size_t ResponseHeaders::OnHeader(char* line, size_t, size_t length, void* self) {
    return static_cast<ResponseHeaders*>(self)->onLine(line, length) ? length : 0;
}

void Configure(CURL* curl, const std::string& url, const std::string& agent, curl_slist* headers, long piece,
               ResponseHeaders& responses, const TransferLimits& limits) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, kAllowedSchemes);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedSchemes);
    if (limits.timeLimitMs > 0) curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.timeLimitMs));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, piece);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // Less than a byte a second for the whole stall time: the server has gone silent.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, gStallSeconds.load());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ResponseHeaders::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &responses);
}

int FailureCode(CURL* curl, CURLcode code, bool answered) {
    if (code == CURLE_TOO_MANY_REDIRECTS) return kUrlNotOpened;
    curl_off_t connectTime = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectTime);
    if (code == CURLE_OPERATION_TIMEDOUT && connectTime > 0) return kReadFailed;
    return answered ? kReadFailed : kUrlNotOpened;
}

bool AnnouncedTooLarge(CURL* curl, uint64_t maxBytes) {
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return maxBytes > 0 && length > 0 && static_cast<uint64_t>(length) > maxBytes;
}

bool PassesLimit(uint64_t had, size_t more, uint64_t maxBytes) { return maxBytes > 0 && had + more > maxBytes; }

} // namespace curl_request
} // namespace pavoline

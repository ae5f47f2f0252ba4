#include "download.h"

#include "named_mutex.h"
#include "platform.h"

#include <cstdio>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <strings.h>

namespace pavoline {

const TransferVariant kLauncherTransfer{1, kLauncherCancelled, true, true, false, "Tavix_Agent"};
const TransferVariant kUpdaterTransfer{1003, kShortWrite, false, false, true, "Agent"};

std::atomic<int> gDownloadCancel{0};

namespace {

constexpr long kReadPiece = 32768;
constexpr long kFetchPiece = 16384;
constexpr uint32_t kReportInterval = 250;
constexpr uint32_t kPauseAfter = 50;
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;

std::atomic<bool> gOffline{false};

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using CurlPtr = std::unique_ptr<CURL, void (*)(CURL*)>;
using HeaderList = std::unique_ptr<curl_slist, void (*)(curl_slist*)>;

// The request as the suite always sends it: its agent, Accept (or the caller's headers), and
// no-cache so a proxy never answers from its cache.
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

void Configure(CURL* curl, const std::string& url, const std::string& agent, curl_slist* headers, long piece) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, piece);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
}

bool LineStartsWith(const char* line, size_t length, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    return length >= n && strncasecmp(line, prefix, n) == 0;
}

// Follows the header blocks as they arrive. The URL counts as opened at the end of the block
// whose body will be delivered: not an interim 1xx, nor a redirect that is about to be followed.
struct ResponseHeaders {
    CURL* curl;
    bool location = false;

    // True at the blank line that ends the final block.
    bool endsFinalBlock(const char* line, size_t length) {
        if (LineStartsWith(line, length, "HTTP/")) {
            location = false;
        } else if (LineStartsWith(line, length, "Location:")) {
            location = true;
        } else if ((length == 2 && line[0] == '\r') || (length == 1 && line[0] == '\n')) {
            long status = 0;
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            const bool interim = status >= 100 && status < 200;
            const bool followed = status >= 300 && status < 400 && location;
            return !interim && !followed;
        }
        return false;
    }
};

struct Download {
    Download(const std::string& filePath, DownloadProgressReceiver* progressReceiver, const TransferVariant& v, CURL* c)
        : path(filePath), receiver(progressReceiver), variant(v), curl(c) {}

    const std::string& path;
    DownloadProgressReceiver* receiver;
    const TransferVariant& variant;
    CURL* curl;
    ResponseHeaders responses{curl};
    FILE* file = nullptr;
    bool opened = false; // the final response's headers have arrived
    bool fileNotCreated = false, cancelled = false, shortWrite = false;
    DownloadProgress progress;
    uint32_t lastReport = 0;
    uint32_t pauseMark = TickCount();

    bool cancelRequested() {
        if (gDownloadCancel.load() == 0) return false;
        cancelled = true;
        return true;
    }

    // The flag is read under the cancel mutex, but the report itself goes out without it: the
    // UI thread may be waiting for that mutex to set the flag while it serves this very send.
    void report() {
        lastReport = TickCount();
        {
            NamedLock lock(kDownloadCancelMutex);
            if (cancelRequested()) return;
        }
        if (receiver) receiver->onDownloadProgress(variant.progressCode, progress);
    }

    // Reports at most about four times a second while the length is known, and always when the
    // count reaches the announced total.
    void reportIfDue() {
        const bool intervalPassed = progress.total != 0 && receiver && TickCount() - lastReport > kReportInterval;
        if (intervalPassed || progress.received == progress.total) report();
    }

    // Leaves the line idle for about as long as it was busy, so a download takes half of it.
    void pace() {
        const uint32_t busy = TickCount() - pauseMark;
        if (busy <= kPauseAfter) return;
        SleepMs(busy);
        pauseMark = TickCount();
    }

    bool openFile() {
        if (opened) return true;
        opened = true;
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        progress.total = length > 0 ? static_cast<uint64_t>(length) : 0;
        file = std::fopen(path.c_str(), "wb");
        fileNotCreated = file == nullptr;
        return file != nullptr;
    }

    size_t onBody(const char* data, size_t length) {
        if (!openFile() || cancelRequested()) return 0;
        if (length == 0) return 0;
        const size_t written = std::fwrite(data, 1, length, file);
        if (written < length && variant.checkShortWrite) {
            shortWrite = true;
            return 0;
        }
        progress.received += length;
        reportIfDue();
        pace();
        return length;
    }

    static size_t OnHeader(char* line, size_t, size_t length, void* self) {
        auto* d = static_cast<Download*>(self);
        if (d->responses.endsFinalBlock(line, length) && (!d->openFile() || d->cancelRequested())) return 0;
        return length;
    }
    static size_t OnBody(char* data, size_t, size_t length, void* self) {
        return static_cast<Download*>(self)->onBody(data, length);
    }
    // Called while waiting for data too, so a stalled transfer still sees a cancel.
    static int OnIdle(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* d = static_cast<Download*>(self);
        return d->opened && d->cancelRequested() ? 1 : 0;
    }

    bool closeFile() {
        if (!file) return true;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return closed;
    }
};

} // namespace

void SetDownloadCancel(bool cancel) {
    NamedLock lock(kDownloadCancelMutex);
    gDownloadCancel.store(cancel ? 1 : 0);
}

void SetOfflineForTesting(bool offline) { gOffline.store(offline); }

std::string DownloadUserAgent() { return "Agent" + std::to_string(TickCount() / 1000); }

std::string FetchUserAgent(const TransferVariant& variant) {
    return variant.fetchAgentPrefix + std::to_string(static_cast<long>(TickCount()));
}

int DownloadToFile(const std::string& url, const std::string& path, const std::string& extraHeaders,
                   DownloadProgressReceiver* receiver, const TransferVariant& variant) {
    if (gOffline.load()) return kNotConnected;
    InitialiseCurlOnce();
    CurlPtr curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return kNotConnected;
    const HeaderList headers = RequestHeaders(extraHeaders);
    const std::string agent = DownloadUserAgent();
    Configure(curl.get(), url, agent, headers.get(), kReadPiece);

    Download d(path, receiver, variant, curl.get());
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, &Download::OnHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &d);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Download::OnBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &d);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, &Download::OnIdle);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &d);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = curl_easy_perform(curl.get());

    if (d.fileNotCreated) return kFileNotCreated;
    const bool closed = d.closeFile();
    if (d.cancelled) return variant.cancelledResult;
    if (d.shortWrite || (!closed && variant.checkShortWrite)) return kShortWrite;
    if (code == CURLE_TOO_MANY_REDIRECTS) return kUrlNotOpened;
    if (code != CURLE_OK) return d.opened ? kReadFailed : kUrlNotOpened;
    if (!d.opened) {
        // A response with no body at all still leaves its (empty) file.
        if (!d.openFile()) return kFileNotCreated;
        d.closeFile();
    }
    d.reportIfDue(); // the read that finds the end reports once more when the length was known
    return kDownloadComplete;
}

int FetchText(const std::string& url, std::string& body, const TransferVariant& variant) {
    body.clear();
    const int notConnected = variant.fetchAnyFailureIs3 ? kReadFailed : kNotConnected;
    if (variant.fetchChecksOffline && gOffline.load()) return notConnected;
    InitialiseCurlOnce();
    CurlPtr curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return notConnected;
    const HeaderList headers = RequestHeaders("");
    const std::string agent = FetchUserAgent(variant);
    Configure(curl.get(), url, agent, headers.get(), kFetchPiece);
    struct Fetch {
        std::string& body;
        bool opened = false;
    } fetch{body};
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t length, void* self) {
        auto* f = static_cast<Fetch*>(self);
        f->opened = true;
        f->body.append(data, length);
        return length;
    });
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &fetch);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, +[](char*, size_t, size_t length, void* self) {
        static_cast<Fetch*>(self)->opened = true;
        return length;
    });
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &fetch);
    const CURLcode code = curl_easy_perform(curl.get());
    if (code == CURLE_OK) return kDownloadComplete;
    if (variant.fetchAnyFailureIs3) return kReadFailed;
    if (code == CURLE_TOO_MANY_REDIRECTS) return kUrlNotOpened;
    return fetch.opened ? kReadFailed : kUrlNotOpened;
}

} // namespace pavoline

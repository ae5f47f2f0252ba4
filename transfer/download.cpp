#include "download.h"

#include "curl_request.h"
#include "named_mutex.h"
#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <curl/curl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace pavoline {

const TransferVariant kLauncherTransfer{1, kLauncherCancelled, kShortWrite, true, false, "Tavix_Agent"};
const TransferVariant kUpdaterTransfer{1003, kShortWrite, kUpdaterShortWrite, false, true, "Agent"};

std::atomic<int> gDownloadCancel{0};

using namespace curl_request;

namespace {

constexpr long kReadPiece = 32768;
constexpr long kFetchPiece = 16384;
constexpr uint32_t kReportInterval = 250;
constexpr uint32_t kPauseAfter = 50;

std::function<void(uint32_t)> gPauseForTesting;

// Runs the transfer in short steps, so that `stop` is asked at least every kCancelPollMs while
// the transfer connects, waits for an answer or stalls. Returns the transfer's own result, or
// nothing when it was stopped.
std::optional<CURLcode> Perform(CURL* curl, const std::function<bool()>& stop) {
    std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(curl_multi_init(), curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    std::optional<CURLcode> result = CURLE_OK;
    for (int running = 1; running;) {
        if (stop()) {
            result.reset();
            break;
        }
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK ||
            (running && curl_multi_poll(multi.get(), nullptr, 0, kCancelPollMs, nullptr) != CURLM_OK)) {
            result = CURLE_RECV_ERROR;
            break;
        }
    }
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (result && message->msg == CURLMSG_DONE) result = message->data.result;
    curl_multi_remove_handle(multi.get(), curl);
    return result;
}

bool CancelRequested() { return gDownloadCancel.load() != 0; }

// Leaves the line idle for `milliseconds`, but not beyond a cancel.
void PauseUnlessCancelled(uint32_t milliseconds) {
    if (gPauseForTesting) return gPauseForTesting(milliseconds);
    const uint32_t start = TickCount();
    for (uint32_t passed = 0; passed < milliseconds && !CancelRequested(); passed = TickCount() - start)
        SleepMs(std::min<uint32_t>(milliseconds - passed, kCancelPollMs));
}

struct Download {
    Download(const std::string& filePath, DownloadProgressReceiver* progressReceiver, const TransferVariant& v, CURL* c,
             uint64_t limit)
        : path(filePath), receiver(progressReceiver), variant(v), curl(c), maxBytes(limit) {}

    const std::string& path;
    DownloadProgressReceiver* receiver;
    const TransferVariant& variant;
    CURL* curl;
    uint64_t maxBytes;
    FILE* file = nullptr;
    bool fileCreated = false, fileNotCreated = false, cancelled = false, shortWrite = false, tooLarge = false;
    DownloadProgress progress;
    uint32_t lastReport = 0;
    uint32_t pauseMark = TickCount();

    bool cancelRequested() {
        if (CancelRequested()) cancelled = true;
        return cancelled;
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
        PauseUnlessCancelled(busy);
        pauseMark = TickCount();
    }

    // At the end of the final response's headers: its length is the total.
    bool openFile() {
        if (fileCreated || fileNotCreated) return fileCreated;
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        progress.total = length > 0 ? static_cast<uint64_t>(length) : 0;
        file = std::fopen(path.c_str(), "wb");
        fileCreated = file != nullptr;
        fileNotCreated = !fileCreated;
        return fileCreated;
    }

    size_t onBody(const char* data, size_t length) {
        if (!openFile() || cancelRequested()) return 0;
        if (length == 0) return 0;
        if (PassesLimit(progress.received, length, maxBytes)) {
            tooLarge = true;
            return 0;
        }
        const size_t written = std::fwrite(data, 1, length, file);
        if (written < length) {
            shortWrite = true;
            return 0;
        }
        progress.received += length;
        reportIfDue();
        pace();
        return length;
    }

    static size_t OnBody(char* data, size_t, size_t length, void* self) {
        return static_cast<Download*>(self)->onBody(data, length);
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

void SetPauseForTesting(std::function<void(uint32_t)> pause) { gPauseForTesting = std::move(pause); }

std::string DownloadUserAgent() { return "Agent" + std::to_string(TickCount() / 1000); }

std::string FetchUserAgent(const TransferVariant& variant) {
    return variant.fetchAgentPrefix + std::to_string(static_cast<long>(TickCount()));
}

int DownloadToFile(const std::string& url, const std::string& path, const std::string& extraHeaders,
                   DownloadProgressReceiver* receiver, const TransferVariant& variant, const TransferLimits& limits) {
    if (Offline()) return kNotConnected;
    InitialiseCurlOnce();
    CurlPtr curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return kNotConnected;
    const HeaderList headers = RequestHeaders(extraHeaders);
    const std::string agent = DownloadUserAgent();
    Download d(path, receiver, variant, curl.get(), limits.maxBytes);
    ResponseHeaders responses{curl.get(), false, false, nullptr};
    responses.onFinal = [&d] {
        d.tooLarge = AnnouncedTooLarge(d.curl, d.maxBytes);
        return !d.tooLarge && d.openFile();
    };
    Configure(curl.get(), url, agent, headers.get(), kReadPiece, responses, limits);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Download::OnBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &d);
    const std::optional<CURLcode> code = Perform(curl.get(), [&d] { return d.cancelRequested(); });

    if (d.fileNotCreated) return kFileNotCreated;
    if (d.cancelled) {
        // Whatever the phase, the caller finds the file (empty if nothing arrived), as after a
        // cancel between reads.
        d.openFile();
        d.closeFile();
        return variant.cancelledResult;
    }
    const bool closed = d.closeFile();
    if (d.tooLarge) return kTooLarge; // what arrived stays, for the caller to delete
    if (d.shortWrite || !closed) return variant.shortWriteResult;
    if (*code != CURLE_OK) return FailureCode(curl.get(), *code, responses.finalReceived);
    if (!d.openFile()) return kFileNotCreated; // a response without a body still leaves its file
    d.closeFile();
    d.reportIfDue(); // the read that finds the end reports once more when the length was known
    return kDownloadComplete;
}

int FetchText(const std::string& url, std::string& body, const TransferVariant& variant, const TransferLimits& limits,
              const std::atomic<bool>* stop) {
    body.clear();
    const int notConnected = variant.fetchAnyFailureIs3 ? kReadFailed : kNotConnected;
    if (variant.fetchChecksOffline && Offline()) return notConnected;
    InitialiseCurlOnce();
    CurlPtr curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return notConnected;
    const HeaderList headers = RequestHeaders("");
    const std::string agent = FetchUserAgent(variant);
    ResponseHeaders responses{curl.get(), false, false, nullptr};
    struct Reply {
        std::string& body;
        uint64_t maxBytes;
        bool tooLarge = false;
    } reply{body, limits.maxBytes};
    responses.onFinal = [&] { return !(reply.tooLarge = AnnouncedTooLarge(curl.get(), limits.maxBytes)); };
    Configure(curl.get(), url, agent, headers.get(), kFetchPiece, responses, limits);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t length, void* out) {
        auto* r = static_cast<Reply*>(out);
        if (PassesLimit(r->body.size(), length, r->maxBytes)) {
            r->tooLarge = true;
            return size_t(0);
        }
        r->body.append(data, length);
        return length;
    });
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply);
    const std::optional<CURLcode> performed = Perform(curl.get(), [stop] { return stop && stop->load(); });
    if (reply.tooLarge) {
        body.clear();
        return kReadFailed;
    }
    if (!performed) return variant.fetchAnyFailureIs3 ? kReadFailed : kUrlNotOpened;
    const CURLcode code = *performed;
    if (code == CURLE_OK) return kDownloadComplete;
    if (variant.fetchAnyFailureIs3) return kReadFailed;
    return FailureCode(curl.get(), code, responses.finalReceived);
}

} // namespace pavoline

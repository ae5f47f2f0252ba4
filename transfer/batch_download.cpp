#include "batch_download.h"

#include "curl_request.h"
#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace pavoline {

using namespace curl_request;

namespace {

constexpr long kReadPiece = 32768;

bool CancelRequested() { return gDownloadCancel.load() != 0; }

// One connection's worth of work: the easy handle is kept from file to file, and the multi handle
// it runs in keeps the connection open for the next.
struct Slot {
    CurlPtr curl{curl_easy_init(), curl_easy_cleanup};
    ResponseHeaders responses{curl.get(), false, false, nullptr};
    std::string agent;
    size_t index = 0;
    std::string path;
    uint64_t maxBytes = 0;
    FILE* file = nullptr;
    uint64_t received = 0;
    bool fileCreated = false, fileNotCreated = false, tooLarge = false, shortWrite = false, cancelled = false;

    void reset(size_t file, std::string to, uint64_t limit) {
        index = file;
        path = std::move(to);
        maxBytes = limit;
        received = 0;
        fileCreated = fileNotCreated = tooLarge = shortWrite = cancelled = false;
        responses.location = responses.finalReceived = false;
    }

    // At the end of the final response's headers.
    bool openFile() {
        if (fileCreated || fileNotCreated) return fileCreated;
        file = std::fopen(path.c_str(), "wb");
        fileCreated = file != nullptr;
        fileNotCreated = !fileCreated;
        return fileCreated;
    }

    bool closeFile() {
        if (!file) return true;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return closed;
    }

    size_t onBody(const char* data, size_t length) {
        if (!openFile()) return 0;
        if (CancelRequested()) {
            cancelled = true;
            return 0;
        }
        if (PassesLimit(received, length, maxBytes)) {
            tooLarge = true;
            return 0;
        }
        if (std::fwrite(data, 1, length, file) < length) {
            shortWrite = true;
            return 0;
        }
        received += length;
        return length;
    }
    static size_t OnBody(char* data, size_t, size_t length, void* self) {
        return static_cast<Slot*>(self)->onBody(data, length);
    }

    // The same outcome DownloadToFile gives for one file.
    int result(CURLcode code) {
        const bool closed = closeFile();
        if (fileNotCreated) return kFileNotCreated;
        if (cancelled) return kLauncherCancelled;
        if (tooLarge) return kTooLarge;
        if (shortWrite || !closed) return kShortWrite;
        if (code != CURLE_OK) return FailureCode(curl.get(), code, responses.finalReceived);
        if (!openFile()) return kFileNotCreated; // a response without a body still leaves its file
        closeFile();
        return kDownloadComplete;
    }
};

class Batch {
public:
    Batch(const std::vector<std::string>& urls, BatchTarget& target, const BatchLimits& limits)
        : urls_(urls), target_(target), limits_(limits), headers_(RequestHeaders("")) {}

    void run() {
        if (!multi_) return;
        for (size_t i = 0; i < std::max<size_t>(1, limits_.connections); ++i) {
            auto slot = std::make_unique<Slot>();
            if (!slot->curl) return;
            idle_.push_back(slot.get());
            slots_.push_back(std::move(slot));
        }
        while (!CancelRequested()) {
            startWhileIdle();
            if (active_ == 0) break;
            int running = 0;
            if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) break;
            // A file that ended frees its connection for the next at once; otherwise wait for the
            // line, but never longer than the cancel may wait.
            if (collectEnded() == 0 && curl_multi_poll(multi_.get(), nullptr, 0, kCancelPollMs, nullptr) != CURLM_OK)
                break;
        }
        endAllUnderWay();
    }

private:
    // What is left of the batch's time; nothing when it has none.
    std::optional<uint32_t> timeLeft() const {
        if (limits_.allMs == 0) return std::nullopt;
        const uint32_t spent = TickCount() - start_;
        return spent < limits_.allMs ? limits_.allMs - spent : 0;
    }

    void startWhileIdle() {
        while (!idle_.empty() && next_ < urls_.size()) {
            const std::optional<uint32_t> left = timeLeft();
            if (left && *left == 0) return;
            const size_t index = next_++;
            std::string path = target_.begin(index);
            if (path.empty()) continue;
            Slot* slot = idle_.back();
            uint32_t time = limits_.each.timeLimitMs;
            if (left) time = time == 0 ? *left : std::min(time, *left);
            start(*slot, index, std::move(path), {limits_.each.maxBytes, time});
        }
    }

    void start(Slot& slot, size_t index, std::string path, const TransferLimits& limits) {
        slot.reset(index, std::move(path), limits.maxBytes);
        slot.agent = DownloadUserAgent();
        CURL* curl = slot.curl.get();
        slot.responses.onFinal = [&slot] {
            slot.tooLarge = AnnouncedTooLarge(slot.curl.get(), slot.maxBytes);
            return !slot.tooLarge && slot.openFile();
        };
        Configure(curl, urls_[index], slot.agent, headers_.get(), kReadPiece, slot.responses, limits);
        // The handle keeps its options from the file before: no time limit must also be said.
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.timeLimitMs));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Slot::OnBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &slot);
        curl_easy_setopt(curl, CURLOPT_PRIVATE, &slot);
        if (curl_multi_add_handle(multi_.get(), curl) != CURLM_OK) {
            target_.end(index, kNotConnected);
            return;
        }
        idle_.pop_back();
        ++active_;
    }

    void finish(Slot& slot, int result) {
        curl_multi_remove_handle(multi_.get(), slot.curl.get());
        --active_;
        idle_.push_back(&slot);
        target_.end(slot.index, result);
    }

    size_t collectEnded() {
        size_t ended = 0;
        int left = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            void* owner = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
            Slot& slot = *static_cast<Slot*>(owner);
            const CURLcode code = message->data.result; // the message is gone once the handle is removed
            finish(slot, slot.result(code));
            ++ended;
        }
        return ended;
    }

    // After a cancel (or a failure of the multi handle itself): what is under way ends as failed.
    void endAllUnderWay() {
        for (const auto& slot : slots_) {
            if (std::find(idle_.begin(), idle_.end(), slot.get()) != idle_.end()) continue;
            slot->closeFile();
            finish(*slot, CancelRequested() ? kLauncherCancelled : kReadFailed);
        }
    }

    const std::vector<std::string>& urls_;
    BatchTarget& target_;
    const BatchLimits& limits_;
    HeaderList headers_;
    std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi_{curl_multi_init(), curl_multi_cleanup};
    // Every easy handle has left the multi handle (endAllUnderWay) before either is destroyed.
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<Slot*> idle_;
    size_t active_ = 0;
    size_t next_ = 0;
    const uint32_t start_ = TickCount();
};

} // namespace

void DownloadBatch(const std::vector<std::string>& urls, BatchTarget& target, const BatchLimits& limits) {
    if (Offline() || urls.empty()) return;
    InitialiseCurlOnce();
    Batch(urls, target, limits).run();
}

} // namespace pavoline

#pragma once
// Blocking HTTP transfers on the calling thread: DownloadToFile writes a body to a file with
// progress reports, pacing and cancel; FetchText returns a short body. The launcher and the
// updater each have their variant of both; one implementation serves both.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace pavoline {

enum DownloadResult : int {
    kDownloadComplete = 0,
    kUrlNotOpened = 1,
    kFileNotCreated = 2,
    kReadFailed = 3,
    kNotConnected = 4,
    kShortWrite = 5,       // launcher; the updater's cancel is 5 as well
    kLauncherCancelled = 6,
    kTooLarge = 7,         // the body passed the size the caller allows (TransferLimits)
    kUpdaterShortWrite = 8, // the updater's, whose 5 is its cancel
};

// Bounds of one transfer, 0 for none: a body longer than maxBytes is cut off there and the
// transfer fails (kTooLarge for DownloadToFile, kReadFailed for FetchText); so does one that is
// not done within timeLimitMs, whatever it is waiting for (kReadFailed once connected). Every
// transfer the user cannot cancel has a time limit, since a byte a second never counts as silence.
struct TransferLimits {
    uint64_t maxBytes = 0;
    uint32_t timeLimitMs = 0;
};
// The version query's reply: no real one reaches the 2,047 bytes the suite reads of it.
constexpr TransferLimits kVersionReplyLimits{2047, 30000};

struct DownloadProgress {
    uint64_t total = 0;    // announced body length, 0 when unknown
    uint64_t received = 0;
};

// Gets each progress report synchronously on the downloading thread, with the variant's code.
class DownloadProgressReceiver {
public:
    virtual ~DownloadProgressReceiver() = default;
    virtual void onDownloadProgress(unsigned code, const DownloadProgress& progress) = 0;
};

struct TransferVariant {
    unsigned progressCode;   // 1 launcher, 1003 updater
    int cancelledResult;     // 6 launcher, 5 updater
    int shortWriteResult;    // a file not written whole (a full disk): 5 launcher, 8 updater
    bool fetchChecksOffline; // the updater's FetchText does not ask
    bool fetchAnyFailureIs3; // the updater's FetchText gives 0 or 3 only
    const char* fetchAgentPrefix; // "Tavix_Agent" launcher, "Agent" updater
};

extern const TransferVariant kLauncherTransfer;
extern const TransferVariant kUpdaterTransfer;

// Process-wide: set (under the mutex below) by the UI thread, read by downloads.
extern std::atomic<int> gDownloadCancel;
constexpr const char* kDownloadCancelMutex = "USER_CANCLE_OPENMUTEX";

// Sets the flag the way the UI does: under the mutex, so no progress report starts afterwards.
// A download sees it within a fraction of a second, whatever it is waiting for.
void SetDownloadCancel(bool cancel);

// The machine's connection state; tests can report it offline. Offline transfers make no
// network attempt at all.
void SetOfflineForTesting(bool offline);

// A transfer that receives no byte for this long gives up as a dropped connection (30 s; tests
// shorten it).
void SetStallSecondsForTesting(long seconds);

// Replaces the pause a download takes after each busy stretch of more than 50 ms (it is given the
// stretch's length); nullptr restores the real one.
void SetPauseForTesting(std::function<void(uint32_t milliseconds)> pause);

// Every transfer follows http:// and https:// addresses only, redirects included: another scheme
// (file://, ftp://, gopher://, ...) is never fetched and counts as an address that cannot be opened.

// extraHeaders: "Name: value" lines separated by CR LF; empty sends "Accept: */*".
int DownloadToFile(const std::string& url, const std::string& path, const std::string& extraHeaders,
                   DownloadProgressReceiver* receiver, const TransferVariant& variant = kLauncherTransfer,
                   const TransferLimits& limits = {});

// stop, when given, is asked all along; once it is set the transfer ends at once as failed.
int FetchText(const std::string& url, std::string& body, const TransferVariant& variant = kLauncherTransfer,
              const TransferLimits& limits = kVersionReplyLimits, const std::atomic<bool>* stop = nullptr);

// The User-Agent values sent: "Agent<seconds>" for downloads, "Tavix_Agent<ms>" for the launcher's
// version query and "Agent<ms>" for the updater's.
std::string DownloadUserAgent();
std::string FetchUserAgent(const TransferVariant& variant);

} // namespace pavoline

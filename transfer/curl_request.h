#pragma once
// What every transfer sets up the same way with libcurl, whether it runs alone or in a batch: the
// request's headers and options, the tracking of the final response, the size bounds and the
// launcher's failure codes. Internal to transfer/.

#include "download.h"

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <string>

namespace pavoline::curl_request {

// How long a transfer may go without looking at the cancel flag, whatever it waits for.
constexpr int kCancelPollMs = 50;

void InitialiseCurlOnce();
// The machine's connection state (SetOfflineForTesting).
bool Offline();

using CurlPtr = std::unique_ptr<CURL, void (*)(CURL*)>;
using HeaderList = std::unique_ptr<curl_slist, void (*)(curl_slist*)>;

// The request as the suite always sends it: its agent, Accept (or the caller's headers), and
// no-cache so a proxy never answers from its cache.
HeaderList RequestHeaders(const std::string& extraHeaders);

// Follows the header blocks as they arrive. The URL counts as opened at the end of the block
// whose body will be delivered: not an interim 1xx, nor a redirect that is about to be followed.
struct ResponseHeaders {
    CURL* curl;
    bool location = false;
    bool finalReceived = false;
    std::function<bool()> onFinal; // false stops the transfer

    bool onLine(const char* line, size_t length);
    static size_t OnHeader(char* line, size_t, size_t length, void* self);
};

// Everything but the body's destination. piece: the bytes asked for per read.
void Configure(CURL* curl, const std::string& url, const std::string& agent, curl_slist* headers, long piece,
               ResponseHeaders& responses, const TransferLimits& limits);

// A failed transfer, in the launcher's codes: 3 once the server has answered, or when a connected
// server goes silent (a dropped connection); otherwise 1, the URL could not be opened, which is
// also what endless redirects come to.
int FailureCode(CURL* curl, CURLcode code, bool answered);

// True when the announced length of the final response already passes the limit (0: none).
bool AnnouncedTooLarge(CURL* curl, uint64_t maxBytes);
// True when `more` bytes after `had` pass the limit (0: none).
bool PassesLimit(uint64_t had, size_t more, uint64_t maxBytes);

} // namespace pavoline::curl_request

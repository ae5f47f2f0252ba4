#pragma once
// Many files from one server, several at a time over connections kept open from one file to the
// next, as a page of pictures needs: fetched one after another, each would spend most of its time
// waiting for the line.

#include "download.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pavoline {

struct BatchLimits {
    TransferLimits each;      // every file's bounds; its time counts from its own start
    uint32_t allMs = 0;       // the whole batch, 0 for none: no file runs past it or starts after it
    size_t connections = 8;   // files under way at once
};

// Where a batch's files go; asked on the downloading thread.
class BatchTarget {
public:
    virtual ~BatchTarget() = default;
    // The file that file `index` is written to, asked as its transfer starts (so only the files
    // under way hold one); empty skips the file.
    virtual std::string begin(size_t index) = 0;
    // The file begun as `index` has ended: kDownloadComplete, or why not.
    virtual void end(size_t index, int result) = 0;
};

// Downloads each of urls with the launcher's request (its agent and headers, http:// and https://
// only, redirects included), in list order as connections come free. The process-wide download
// cancel ends every file under way (kLauncherCancelled) and starts no other; offline, nothing starts.
void DownloadBatch(const std::vector<std::string>& urls, BatchTarget& target, const BatchLimits& limits);

} // namespace pavoline

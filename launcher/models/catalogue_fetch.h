#pragma once
// The model manager's catalogue fetch, without windows: the server's catalogue is downloaded to a
// temporary file, its signature checked, and loaded as the offered list; a thumbnail of every
// offered model is cached in the temporary directory, and the installed models are flagged.

#include "batch_download.h"
#include "catalogue.h"
#include "download.h"

#include <cstdint>
#include <string>

namespace pavoline {

enum class FetchOutcome {
    kDownloadFailed,      // the catalogue could not be downloaded
    kCatalogueUnusable,   // it was downloaded but could not be loaded (the catalogue said why)
    kFetched,
    kCatalogueUnverified, // not signed by the publisher: not shown
};

// No real catalogue reaches 20,480,000 bytes, nor a thumbnail 4 MiB; neither may take for ever
// under the wait notice, which has no button. All thumbnails together get kThumbnailsTimeMs.
constexpr TransferLimits kCatalogueLimits{20480000, 120000};
constexpr TransferLimits kThumbnailLimits{4 * 1024 * 1024, 15000};
constexpr uint32_t kThumbnailsTimeMs = 60000;
// Thumbnails come several at a time over connections kept open, as a browser fetches a page's
// pictures: one after another, a line's latency would be paid once per picture.
constexpr size_t kThumbnailConnections = 8;
constexpr BatchLimits kThumbnailBatch{kThumbnailLimits, kThumbnailsTimeMs, kThumbnailConnections};
// A larger picture is not shown: decoding it would hold up the window.
constexpr uint32_t kMaxThumbnailSide = 1024;

// TempDir() + "~TAVIX_" + model + ".png": the thumbnail cache, kept across runs.
std::string ThumbnailCachePath(const std::string& model);

// Runs the whole fetch on the calling thread. On success every offered model's imageurl names its
// cached thumbnail (which may be missing when its download failed or the picture is too large).
FetchOutcome FetchCatalogue(ModelCatalogue& catalogue, const std::string& catalogueUrl,
                            const std::string& signatureUrl);

struct ThumbnailSource {
    std::string url, cachePath;
};

// A cached thumbnail is kept while it has content; a missing or empty one is downloaded again, to
// a temporary name, and put into the cache only when it is a PNG picture that may be shown. A
// thumbnail whose download fails (or is not begun within the batch's time) is left uncached.
void CacheThumbnails(const std::vector<ThumbnailSource>& thumbnails, const BatchLimits& limits = kThumbnailBatch);

// A PNG file of at most kThumbnailLimits.maxBytes whose header names at most 1024 x 1024 pixels.
bool IsShowableThumbnail(const std::string& path);
// The same test on a file's first bytes and its size.
bool IsShowableThumbnailHead(const uint8_t* head, size_t length, uint64_t fileSize);

} // namespace pavoline

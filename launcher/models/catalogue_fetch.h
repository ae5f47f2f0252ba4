#pragma once
// The model manager's catalogue fetch, without windows: the server's catalogue is downloaded to a
// temporary file and loaded as the offered list, a thumbnail of every offered model is cached in
// the temporary directory, and the installed models are flagged.

#include "catalogue.h"

#include <string>

namespace pavoline {

enum class FetchOutcome {
    kDownloadFailed,    // the catalogue could not be downloaded
    kCatalogueUnusable, // it was downloaded but could not be loaded (the catalogue said why)
    kFetched,
};

// TempDir() + "~TAVIX_" + model + ".png": the thumbnail cache, kept across runs.
std::string ThumbnailCachePath(const std::string& model);

// Runs the whole fetch on the calling thread. On success every offered model's imageurl names its
// cached thumbnail (which may be missing when its download failed).
FetchOutcome FetchCatalogue(ModelCatalogue& catalogue, const std::string& catalogueUrl);

// A cached thumbnail is kept while it has content; a missing or empty one is downloaded again, to
// a temporary name, and put into the cache only when the download is a whole PNG picture.
void CacheThumbnail(const std::string& url, const std::string& cachePath);

} // namespace pavoline

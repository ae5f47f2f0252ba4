#include "catalogue_fetch.h"

#include "download.h"
#include "platform.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace pavoline {
namespace {

constexpr char kPngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};

bool StartsLikeAPng(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char head[sizeof kPngSignature] = {};
    return file.read(head, sizeof head) && std::memcmp(head, kPngSignature, sizeof head) == 0;
}

// Missing, or there and empty: fetch it. A file that cannot be opened is left alone.
bool NeedsDownload(const std::string& path) {
    if (!PathExists(path)) return true;
    std::ifstream file(path, std::ios::binary);
    return file.is_open() && file.peek() == std::ifstream::traits_type::eof();
}

} // namespace

std::string ThumbnailCachePath(const std::string& model) { return TempDir() + "~TAVIX_" + model + ".png"; }

void CacheThumbnail(const std::string& url, const std::string& cachePath) {
    if (!NeedsDownload(cachePath)) return;
    const std::string partial = TempFileName("png");
    const bool whole = DownloadToFile(url, partial, "", nullptr) == kDownloadComplete && StartsLikeAPng(partial);
    if (!whole || std::rename(partial.c_str(), cachePath.c_str()) != 0) std::remove(partial.c_str());
}

FetchOutcome FetchCatalogue(ModelCatalogue& catalogue, const std::string& catalogueUrl) {
    const std::string file = TempFileName("xml");
    const bool downloaded = DownloadToFile(catalogueUrl, file, "", nullptr) == kDownloadComplete;
    OfferedList* offered = downloaded ? catalogue.LoadOfferedCatalogue(file) : nullptr;
    std::remove(file.c_str());
    if (!downloaded) return FetchOutcome::kDownloadFailed;
    if (!offered) return FetchOutcome::kCatalogueUnusable;
    for (COfferedModel& model : *offered) {
        const std::string cached = ThumbnailCachePath(model.model);
        CacheThumbnail(model.imageurl, cached);
        model.imageurl = cached;
    }
    catalogue.MergeInstalledFlags();
    return FetchOutcome::kFetched;
}

} // namespace pavoline

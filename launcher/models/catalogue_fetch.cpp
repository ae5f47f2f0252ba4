#include "catalogue_fetch.h"

#include "download.h"
#include "platform.h"
#include "signature.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace pavoline {
namespace {

constexpr char kPngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
// The signature, then the IHDR chunk's length (13), type and the width and height (big-endian).
constexpr size_t kPngHeadLength = 24;

uint32_t BigEndian32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
}

// Missing, or there and empty: fetch it. A file that cannot be opened is left alone.
bool NeedsDownload(const std::string& path) {
    if (!PathExists(path)) return true;
    std::ifstream file(path, std::ios::binary);
    return file.is_open() && file.peek() == std::ifstream::traits_type::eof();
}

// Each thumbnail is written to a name of its own and renamed into the cache only when whole.
struct ThumbnailCache : BatchTarget {
    std::vector<std::string> urls, cachePaths, partials;

    void add(const ThumbnailSource& thumbnail) {
        urls.push_back(thumbnail.url);
        cachePaths.push_back(thumbnail.cachePath);
        partials.emplace_back();
    }
    std::string begin(size_t index) override { return partials[index] = TempFileName("png"); }
    void end(size_t index, int result) override {
        const std::string& partial = partials[index];
        const bool whole = result == kDownloadComplete && IsShowableThumbnail(partial);
        if (!whole || std::rename(partial.c_str(), cachePaths[index].c_str()) != 0) std::remove(partial.c_str());
    }
};

std::optional<std::string> ReadCatalogueBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Nothing when it is not the publisher's: unsigned, or signed by another key.
std::optional<FetchOutcome> SignatureFault(const std::string& file, const std::string& signatureUrl) {
    if (!SignaturesRequired()) return std::nullopt;
    const std::optional<std::string> bytes = ReadCatalogueBytes(file);
    if (!bytes) return FetchOutcome::kDownloadFailed;
    switch (CheckPublisherSignature(signatureUrl, *bytes, kLauncherTransfer)) {
    case SignatureCheck::kVerified: return std::nullopt;
    case SignatureCheck::kUnavailable: return FetchOutcome::kDownloadFailed;
    case SignatureCheck::kRefused: return FetchOutcome::kCatalogueUnverified;
    }
    return FetchOutcome::kCatalogueUnverified;
}

} // namespace

std::string ThumbnailCachePath(const std::string& model) { return TempDir() + "~TAVIX_" + model + ".png"; }

bool IsShowableThumbnailHead(const uint8_t* head, size_t length, uint64_t fileSize) {
    if (length < kPngHeadLength || fileSize > kThumbnailLimits.maxBytes) return false;
    if (std::memcmp(head, kPngSignature, sizeof kPngSignature) != 0 || BigEndian32(head + 8) != 13 ||
        std::memcmp(head + 12, "IHDR", 4) != 0)
        return false;
    const uint32_t width = BigEndian32(head + 16), height = BigEndian32(head + 20);
    return width >= 1 && height >= 1 && width <= kMaxThumbnailSide && height <= kMaxThumbnailSide;
}

bool IsShowableThumbnail(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    uint8_t head[kPngHeadLength] = {};
    if (!file.read(reinterpret_cast<char*>(head), sizeof head)) return false;
    return IsShowableThumbnailHead(head, sizeof head, FileSize(path).value_or(UINT64_MAX));
}

void CacheThumbnails(const std::vector<ThumbnailSource>& thumbnails, const BatchLimits& limits) {
    ThumbnailCache cache;
    std::unordered_set<std::string> asked; // a model listed twice is fetched once
    for (const ThumbnailSource& t : thumbnails)
        if (asked.insert(t.cachePath).second && NeedsDownload(t.cachePath)) cache.add(t);
    DownloadBatch(cache.urls, cache, limits);
}

FetchOutcome FetchCatalogue(ModelCatalogue& catalogue, const std::string& catalogueUrl, const std::string& signatureUrl) {
    const std::string file = TempFileName("xml");
    const bool downloaded = DownloadToFile(catalogueUrl, file, "", nullptr, kLauncherTransfer, kCatalogueLimits) == kDownloadComplete;
    const std::optional<FetchOutcome> fault = downloaded ? SignatureFault(file, signatureUrl) : FetchOutcome::kDownloadFailed;
    OfferedList* offered = fault ? nullptr : catalogue.LoadOfferedCatalogue(file);
    std::remove(file.c_str());
    if (fault) return *fault;
    if (!offered) return FetchOutcome::kCatalogueUnusable;
    std::vector<ThumbnailSource> thumbnails;
    thumbnails.reserve(offered->size());
    for (const COfferedModel& model : *offered) thumbnails.push_back({model.imageurl, ThumbnailCachePath(model.model)});
    CacheThumbnails(thumbnails);
    for (COfferedModel& model : *offered) {
        const std::string cached = ThumbnailCachePath(model.model);
        // One cached before the bounds existed is dropped, so the page never decodes it.
        if (std::ifstream(cached).is_open() && !IsShowableThumbnail(cached)) std::remove(cached.c_str());
        model.imageurl = cached;
    }
    catalogue.MergeInstalledFlags();
    return FetchOutcome::kFetched;
}

} // namespace pavoline

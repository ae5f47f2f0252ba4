// Catalogue and installed-file text through the XML file object: every read, and an edit that
// cannot be saved (the document must come back as it was).
#include "catalogue_fetch.h"
#include "install_run.h"
#include "model_xml_file.h"
#include "notifier.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    static const bool quiet = [] {
        SetMessageSink([](const UserMessage&) {});
        return true;
    }();
    (void)quiet;
    // The bytes as the head of a thumbnail: shown only within its bounds.
    if (IsShowableThumbnailHead(data, size, size) && (size < 24 || size > kThumbnailLimits.maxBytes)) __builtin_trap();
    CModelXmlFile file;
    if (file.LoadText(std::string(reinterpret_cast<const char*>(data), size)) != 0) return 0;
    // Each offer's signed size and digest, as the install reads them.
    for (const COfferedModel& offer : file.ReadOfferedModels("/nonexistent/"))
        if (const auto signedFile = SignedPackageOf(offer))
            if (signedFile->sha256.size() != 64 || PackageDownloadLimits(offer).maxBytes == 0) __builtin_trap();
    file.ReadPhoneImageSize();
    const size_t before = file.ReadInstalledModels().size();
    CInstalledModel m;
    m.model = "fuzz";
    file.AddInstalledModels({m}); // no path: the save fails
    if (file.ReadInstalledModels().size() != before) __builtin_trap();
    return 0;
}

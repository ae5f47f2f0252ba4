// BMP bytes through the encoder's reader in both modes, then through both writers.
#include "bmp_source.h"
#include "encoders.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    if (size > kMaxSourceFileSize) return 0;
    for (SourceMode mode : {SourceMode::ColourKey, SourceMode::Alpha}) {
        const std::optional<Canvas> picture = ParseBmpSource(data, size, mode);
        if (!picture) continue;
        const std::optional<PictureAnalysis> analysis = AnalysePicture(*picture);
        if (!analysis) continue;
        EncodeAb2(*analysis, picture->width, picture->height);
        EncodeAbm(*analysis, picture->width, picture->height);
    }
    return 0;
}

// PNG bytes through libspng into the encoder, and the AB2 result back through its decoder.
#include "ab2.h"
#include "encoders.h"
#include "png_source.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    const PngSource png = DecodePngSource(data, size);
    if (png.status != PngSource::Status::Decoded) return 0;
    const std::optional<PictureAnalysis> analysis = AnalysePicture(png.picture);
    if (!analysis) return 0;
    const std::optional<std::vector<uint8_t>> ab2 = EncodeAb2(*analysis, png.picture.width, png.picture.height);
    if (ab2) {
        Canvas canvas(png.picture.width, png.picture.height);
        if (DecodeAb2(canvas, 0, 0, ab2->data(), ab2->size()) == DecodeStatus::Malformed) __builtin_trap();
    }
    EncodeAbm(*analysis, png.picture.width, png.picture.height);
    return 0;
}

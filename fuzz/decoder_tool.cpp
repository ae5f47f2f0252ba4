// Picture bytes through a decoder as its program runs it: size check, then decode on a W x H
// canvas. Built once per decoder, with FUZZ_DECODER_TOOL naming its table.
#include "decoder_shell.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline;
    if (size > kDecoderInputLimit) return 0;
    const std::optional<ImageSize> imageSize = FUZZ_DECODER_TOOL.checkedSize(data, size);
    if (!imageSize) return 0;
    Canvas canvas(imageSize->width, imageSize->height);
    FUZZ_DECODER_TOOL.decode(data, size, canvas);
    return 0;
}

#pragma once
// The one shape of the decoder programs: check the command line and the input's extension, read
// the input, draw it into a canvas and write the canvas as a 32-bit BMP or TGA.

#include "canvas.h"
#include "decode_status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pavoline {

struct ImageSize {
    int width = 0;
    int height = 0;
};

struct DecoderTool {
    const char* usage;
    const char* extension;
    const char* wrongExtensionMessage;
    // Size from the header, or nothing when the decoder's size check fails.
    std::optional<ImageSize> (*checkedSize)(const uint8_t* bytes, size_t size);
    DecodeStatus (*decode)(const uint8_t* bytes, size_t size, Canvas& canvas);
};

constexpr size_t kDecoderInputLimit = 1048576;
constexpr int kMaxDecodedSide = 1024;

extern const DecoderTool kAbmDecoderTool; // TULSE
extern const DecoderTool kAb2DecoderTool; // morin

// Messages go to out exactly as the program prints them; failures beyond those go to err.
int RunDecoderShell(const DecoderTool& tool, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err);

} // namespace pavoline

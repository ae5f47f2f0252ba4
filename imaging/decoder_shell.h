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
    // How a file of this kind is told from other bytes: a header the encoder could have written,
    // whose palette lies inside the fileSize bytes of the file. Looks at the first 12 bytes only.
    bool (*plausible)(const uint8_t* bytes, size_t size, uint64_t fileSize);
};

constexpr size_t kDecoderInputLimit = 1048576;
constexpr int kMaxDecodedSide = 1024;

extern const DecoderTool kAbmDecoderTool; // TULSE
extern const DecoderTool kAb2DecoderTool; // morin

// The picture the program writes for these bytes (its input, already cut to kDecoderInputLimit), or
// nothing where it reports "ERROR INPUT FILE".
std::optional<Canvas> DecodeLikeTool(const DecoderTool& tool, const uint8_t* bytes, size_t size);

// Messages go to out exactly as the program prints them; failures beyond those go to err.
int RunDecoderShell(const DecoderTool& tool, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err);

} // namespace pavoline

#include "decoder_shell.h"

#include "ab2.h"
#include "abm.h"
#include "file_io.h"
#include "picture_writers.h"

namespace pavoline {
namespace {

constexpr const char* kErrorInputFile = "ERROR INPUT FILE\n";

bool WantsTga(const std::string& output) {
    return output.size() >= 5 && EqualsIgnoreCase(output.substr(output.size() - 4), ".tga");
}

std::optional<ImageSize> AbmCheckedSize(const uint8_t* bytes, size_t size) {
    const std::optional<AbmHeader> h = ReadAbmHeader(bytes, size);
    if (!h || h->width > kMaxDecodedSide || h->height() > kMaxDecodedSide) return std::nullopt;
    return ImageSize{h->width, h->height()};
}

std::optional<ImageSize> Ab2CheckedSize(const uint8_t* bytes, size_t size) {
    const std::optional<Ab2Header> h = ReadAb2Header(bytes, size);
    if (!h || h->width > kMaxDecodedSide || h->height > kMaxDecodedSide) return std::nullopt;
    return ImageSize{h->width, h->height};
}

// A coded area of at least one pixel, as the encoder always leaves.
bool LeavesCodedArea(int width, int height, int left, int top, int right, int bottom) {
    return width >= 1 && height >= 1 && left + right < width && top + bottom < height;
}

bool AbmPlausible(const uint8_t* bytes, size_t size, uint64_t fileSize) {
    const std::optional<ImageSize> checked = AbmCheckedSize(bytes, size);
    if (!checked) return false;
    const AbmHeader h = *ReadAbmHeader(bytes, size);
    return LeavesCodedArea(checked->width, checked->height, h.left, h.top, h.right, h.bottom) &&
           AbmSectionsFit(h, fileSize);
}

bool Ab2Plausible(const uint8_t* bytes, size_t size, uint64_t fileSize) {
    const std::optional<ImageSize> checked = Ab2CheckedSize(bytes, size);
    if (!checked) return false;
    const Ab2Header h = *ReadAb2Header(bytes, size);
    constexpr uint8_t kReservedBit = 0x80;
    return (bytes[7] & kReservedBit) == 0 && h.coding == kAb2PacketCoding &&
           LeavesCodedArea(checked->width, checked->height, h.left, h.top, h.right, h.bottom) &&
           Ab2SectionsFit(h, bytes, size, fileSize);
}

DecodeStatus DecodeAbmOnCanvas(const uint8_t* bytes, size_t size, Canvas& canvas) {
    // Index 0 keeps what the canvas holds, so the canvas is its own background.
    return DecodeAbm(0, 0, bytes, size, canvas, canvas);
}

DecodeStatus DecodeAb2OnCanvas(const uint8_t* bytes, size_t size, Canvas& canvas) {
    return DecodeAb2(canvas, 0, 0, bytes, size);
}

} // namespace

const DecoderTool kAbmDecoderTool{
    "ABM Decoder v0.32\nUsage: TULSE [input filename .ABM] [output 32-bit BMP or TGA file]\n", "ABM",
    "ONLY SUPPORT ABM FILES!\n", AbmCheckedSize, DecodeAbmOnCanvas, AbmPlausible};

const DecoderTool kAb2DecoderTool{
    "AB2 Decoder v0.10\nUsage:\n\tmorin [input filename .AB2] [output 32-bit BMP or TGA file]\n", "AB2",
    "ONLY SUPPORT AB2 FILES!\n", Ab2CheckedSize, DecodeAb2OnCanvas, Ab2Plausible};

std::optional<Canvas> DecodeLikeTool(const DecoderTool& tool, const uint8_t* bytes, size_t size) {
    const std::optional<ImageSize> checked = size < 12 ? std::nullopt : tool.checkedSize(bytes, size);
    if (!checked) return std::nullopt;
    Canvas canvas(checked->width, checked->height);
    if (tool.decode(bytes, size, canvas) == DecodeStatus::Malformed) return std::nullopt;
    return canvas;
}

int RunDecoderShell(const DecoderTool& tool, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err) {
    if (args.size() != 2) {
        out << tool.usage;
        return 1;
    }
    const std::string& input = args[0];
    const std::string& output = args[1];
    const std::string extension = ThreeLetterExtension(input);
    if (extension.empty() || !EqualsIgnoreCase(extension, tool.extension)) {
        out << tool.wrongExtensionMessage;
        return 1;
    }
    out << Format("INPUT FILE %s SIZE %lld\n", input.c_str(), static_cast<long long>(FileLength(input)));

    std::vector<uint8_t> bytes;
    if (!ReadFilePrefix(input, kDecoderInputLimit, bytes)) {
        out << Format("Cannot open the file %s!\n", input.c_str());
        return 1;
    }
    const std::optional<Canvas> canvas = DecodeLikeTool(tool, bytes.data(), bytes.size());
    if (!canvas) {
        out << kErrorInputFile;
        return 1;
    }
    const bool written = WantsTga(output) ? WriteTga32(output, *canvas) : WriteBmp32(output, *canvas);
    if (!written) {
        err << Format("Cannot write the output file %s\n", output.c_str());
        return 1;
    }
    return 0;
}

} // namespace pavoline

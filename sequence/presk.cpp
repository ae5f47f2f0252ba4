#include "presk.h"

#include "abm.h"
#include "bytes.h"
#include "file_io.h"
#include "frame_copy.h"
#include "sequence_format.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace pavoline {
namespace {

constexpr const char* kUsage = "Make Sequence 0.1\nUsage: presk [image type: ABM, PNG] [frame delay] [repeat count] "
                               "[output filename] [input filenames]\n";
constexpr size_t kTableBufferSize = 4096; // header and table together

// PNG signature followed by the length (13) and name of the IHDR chunk.
constexpr uint8_t kPngStart[16] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,
                                   0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52};

// Like the C library's atoi, without its undefined behaviour on overflow.
int32_t ParseInteger(const std::string& text) {
    return static_cast<int32_t>(std::strtoll(text.c_str(), nullptr, 10));
}

// -1 when the file cannot be opened or is not a plain file.
int64_t InputLength(const std::string& path) {
    const FilePtr file = OpenFile(path, "rb");
    return file ? OpenFileLength(file.get()) : -1;
}

struct FrameSize {
    unsigned width = 0, height = 0;
};

bool FitsSequence(const FrameSize& size) { return size.width <= kMaxFrameSide && size.height <= kMaxFrameSide; }

std::optional<FrameSize> AbmFrameSize(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadFilePrefix(path, kAbmHeaderSize, bytes)) return std::nullopt;
    bytes.resize(kAbmHeaderSize, 0); // missing bytes count as 0
    const AbmHeader h = *ReadAbmHeader(bytes.data(), bytes.size());
    return FrameSize{h.width, static_cast<unsigned>(h.height())};
}

std::optional<FrameSize> PngFrameSize(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadFilePrefix(path, sizeof kPngStart + 8, bytes) || bytes.size() < sizeof kPngStart + 8) return std::nullopt;
    if (!std::equal(std::begin(kPngStart), std::end(kPngStart), bytes.begin())) return std::nullopt;
    return FrameSize{Be32(bytes.data() + 16), Be32(bytes.data() + 20)};
}

// Offsets and sizes are 32-bit; nothing may wrap.
bool TableFits(const std::vector<int64_t>& lengths) {
    uint64_t end = kSequenceHeaderSize;
    for (int64_t length : lengths) {
        end += static_cast<uint64_t>(length);
        if (end > UINT32_MAX) return false;
    }
    return true;
}

std::vector<uint8_t> BuildTable(uint8_t type, int32_t delay, int32_t repeat, const FrameSize& size,
                                const std::vector<int64_t>& lengths) {
    SequenceHeader header;
    header.imageType = type;
    header.frameCount = static_cast<uint8_t>(lengths.size());
    header.repeatCount = static_cast<uint8_t>(repeat);
    header.frameWidth = size.width;
    header.frameHeight = size.height;
    std::vector<uint8_t> table;
    AppendSequenceHeader(header, table);
    uint32_t offset = kSequenceHeaderSize;
    for (int64_t length : lengths) {
        AppendSequenceEntry({offset, static_cast<uint32_t>(length), delay}, table);
        offset += static_cast<uint32_t>(length);
    }
    return table;
}

} // namespace

int RunPresk(const std::vector<std::string>& args, std::ostream& out) {
    if (args.size() < 5) {
        out << kUsage;
        return 1;
    }
    const std::string& type = args[0];
    if (type != "ABM" && type != "PNG") {
        out << "Not supported image type!\n";
        return 1;
    }
    const bool abm = type == "ABM";
    const int32_t delay = ParseInteger(args[1]);
    const int32_t repeat = ParseInteger(args[2]);
    const std::string& outputPath = args[3];
    const std::vector<std::string> inputs(args.begin() + 4, args.end());

    FilePtr output = OpenFile(outputPath, "wb");
    if (!output) {
        out << Format("Error to write the output file %s\n", outputPath.c_str());
        return 1;
    }
    // The count is one byte, and the table shares a 4096-byte buffer with the header.
    if (kSequenceHeaderSize + kSequenceEntrySize * inputs.size() > kTableBufferSize ||
        inputs.size() > kMaxSequenceFrames) {
        out << "too many input files";
        return 1;
    }
    std::vector<int64_t> lengths;
    for (const std::string& input : inputs) lengths.push_back(InputLength(input));

    const std::optional<FrameSize> size = abm ? AbmFrameSize(inputs[0]) : PngFrameSize(inputs[0]);
    if (!size || !FitsSequence(*size)) {
        out << Format("Error getting %s file %s dimension!\n", type.c_str(), inputs[0].c_str());
        return 1;
    }
    out << Format("N%d W%u H%u\n", static_cast<int>(inputs.size()), size->width, size->height);

    // Every input must be readable before the table is written, so the table never lies.
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (lengths[i] < 0) {
            out << Format("Error when accessing file %s!\n", inputs[i].c_str());
            return 1;
        }
    }
    if (!TableFits(lengths)) {
        out << Format("Error when accessing file %s!\n", inputs.back().c_str());
        return 1;
    }
    const std::vector<uint8_t> table =
        BuildTable(abm ? kSequenceTypeAbm : kSequenceTypePng, delay, repeat, *size, lengths);
    bool writeFailed = std::fwrite(table.data(), 1, table.size(), output.get()) != table.size();
    for (size_t i = 0; i < inputs.size() && !writeFailed; ++i) {
        FilePtr input = OpenFile(inputs[i], "rb");
        const CopyResult copied = input ? CopyFileBytes(input.get(), output.get(), static_cast<uint64_t>(lengths[i]))
                                        : CopyResult::ReadShort;
        if (copied == CopyResult::ReadShort) {
            out << Format("Error when accessing file %s!\n", inputs[i].c_str());
            return 1;
        }
        writeFailed = copied == CopyResult::WriteFailed;
    }
    if (writeFailed || std::fclose(output.release()) != 0) {
        out << Format("Error to write the output file %s\n", outputPath.c_str());
        return 1;
    }
    return 0;
}

} // namespace pavoline

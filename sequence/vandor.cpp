#include "vandor.h"

#include "file_io.h"
#include "frame_copy.h"
#include "sequence_format.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace pavoline {
namespace {

constexpr const char* kUsage = "Extract Sequence 0.1\nUsage: vandor [input sequence filename] [output info filename]";

const char* FrameExtension(uint8_t type) {
    const std::optional<FrameKind> kind = FrameKindOf(type);
    if (!kind) return nullptr;
    return *kind == FrameKind::Abm ? "ABM" : "PNG";
}

std::optional<SequenceEntry> ReadEntryAt(FILE* sequence, unsigned index) {
    uint8_t bytes[kSequenceEntrySize];
    if (std::fseek(sequence, static_cast<long>(kSequenceHeaderSize + kSequenceEntrySize * index), SEEK_SET) != 0 ||
        std::fread(bytes, 1, sizeof bytes, sequence) != sizeof bytes)
        return std::nullopt;
    return ReadSequenceEntry(bytes, sizeof bytes);
}

enum class FrameResult { Written, SequenceShort, FrameNotWritten };

// The frame file is removed again unless it was written whole.
FrameResult ExtractFrame(FILE* sequence, uint64_t sequenceLength, const SequenceEntry& entry, unsigned frameCount,
                         const std::string& framePath) {
    const uint64_t start = FramePosition(entry, frameCount);
    if (start > sequenceLength || entry.size > sequenceLength - start) return FrameResult::SequenceShort;
    if (fseeko(sequence, static_cast<off_t>(start), SEEK_SET) != 0) return FrameResult::SequenceShort;
    FILE* frame = std::fopen(framePath.c_str(), "wb");
    if (!frame) return FrameResult::FrameNotWritten;
    const CopyResult copied = CopyFileBytes(sequence, frame, entry.size);
    const bool closed = std::fclose(frame) == 0;
    if (copied == CopyResult::Copied && closed) return FrameResult::Written;
    RemoveIfRegularFile(framePath);
    return copied == CopyResult::ReadShort ? FrameResult::SequenceShort : FrameResult::FrameNotWritten;
}

bool WriteInfoFile(const std::string& path, unsigned frameCount) {
    FILE* info = std::fopen(path.c_str(), "w");
    if (!info) return false;
    const bool written = std::fprintf(info, "%u", frameCount) > 0;
    return std::fclose(info) == 0 && written;
}

} // namespace

int RunVandor(const std::vector<std::string>& args, std::ostream& out, const std::string& frameDir) {
    if (args.size() != 2) {
        out << kUsage;
        return 1;
    }
    const std::string& sequencePath = args[0];
    const std::string& infoPath = args[1];
    const std::string readError = Format("Error to read the file %s\n", sequencePath.c_str());
    FilePtr sequence = OpenFile(sequencePath, "rb");
    if (!sequence) {
        out << readError;
        return 1;
    }
    uint8_t headerBytes[kSequenceHeaderSize];
    if (std::fread(headerBytes, 1, sizeof headerBytes, sequence.get()) != sizeof headerBytes) return 1;
    const SequenceHeader header = *ReadSequenceHeader(headerBytes, sizeof headerBytes);
    const char* extension = FrameExtension(header.imageType);
    if (!extension) {
        out << "Wrong sequence file\n";
        return 1;
    }
    const uint64_t sequenceLength = static_cast<uint64_t>(std::max<int64_t>(0, OpenFileLength(sequence.get())));
    for (unsigned i = 0; i < header.frameCount; ++i) {
        const std::optional<SequenceEntry> entry = ReadEntryAt(sequence.get(), i);
        if (!entry) {
            out << readError;
            return 1;
        }
        const std::string name = Format("%u.%s", i, extension);
        const std::string path = frameDir.empty() ? name : frameDir + "/" + name;
        switch (ExtractFrame(sequence.get(), sequenceLength, *entry, header.frameCount, path)) {
        case FrameResult::Written:
            break;
        case FrameResult::SequenceShort:
            out << readError;
            return 1;
        case FrameResult::FrameNotWritten:
            out << Format("Error writing the output file %s!\n", name.c_str());
            return 1;
        }
    }
    out << Format("FC%u\n", static_cast<unsigned>(header.frameCount));
    sequence.reset();
    if (!WriteInfoFile(infoPath, header.frameCount)) {
        out << Format("Error writing the output file %s!\n", infoPath.c_str());
        return 1;
    }
    return 0;
}

} // namespace pavoline

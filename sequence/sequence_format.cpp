#include "sequence_format.h"

#include "bytes.h"

namespace pavoline {

void AppendSequenceHeader(const SequenceHeader& header, std::vector<uint8_t>& out) {
    const uint32_t frameSize = (header.frameHeight & 0xFFF) | (header.frameWidth & 0xFFF) << 12;
    out.push_back(header.imageType);
    out.push_back(header.frameCount);
    out.push_back(header.repeatCount);
    out.push_back(0);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(frameSize));
    out.push_back(static_cast<uint8_t>(frameSize >> 8));
    out.push_back(static_cast<uint8_t>(frameSize >> 16));
}

void AppendSequenceEntry(const SequenceEntry& entry, std::vector<uint8_t>& out) {
    PutLe32(out, entry.offset);
    PutLe32(out, entry.size);
    PutLe32(out, static_cast<uint32_t>(entry.delay));
}

std::optional<SequenceHeader> ReadSequenceHeader(const uint8_t* bytes, size_t size) {
    if (size < kSequenceHeaderSize) return std::nullopt;
    const uint32_t frameSize = bytes[5] | bytes[6] << 8 | bytes[7] << 16;
    SequenceHeader header;
    header.imageType = bytes[0];
    header.frameCount = bytes[1];
    header.repeatCount = bytes[2];
    header.frameHeight = frameSize & 0xFFF;
    header.frameWidth = frameSize >> 12;
    return header;
}

std::optional<SequenceEntry> ReadSequenceEntry(const uint8_t* bytes, size_t size) {
    if (size < kSequenceEntrySize) return std::nullopt;
    SequenceEntry entry;
    entry.offset = Le32(bytes);
    entry.size = Le32(bytes + 4);
    entry.delay = static_cast<int32_t>(Le32(bytes + 8));
    return entry;
}

} // namespace pavoline

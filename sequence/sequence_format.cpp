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

std::optional<FrameKind> FrameKindOf(uint8_t imageType) {
    if (imageType == kSequenceTypeAbm) return FrameKind::Abm;
    if (imageType == kSequenceTypePng || imageType == kSequenceTypePngAlternate) return FrameKind::Png;
    return std::nullopt;
}

std::optional<SequenceTable> ReadSequenceTable(const uint8_t* bytes, size_t size, uint64_t fileSize) {
    const std::optional<SequenceHeader> header = ReadSequenceHeader(bytes, size);
    if (!header || !FrameKindOf(header->imageType) || bytes[3] != 0 || bytes[4] != 0) return std::nullopt;
    if (header->frameCount == 0 || header->frameWidth == 0 || header->frameHeight == 0) return std::nullopt;
    const size_t tableEnd = kSequenceHeaderSize + kSequenceEntrySize * header->frameCount;
    if (tableEnd > size) return std::nullopt;
    SequenceTable table{*header, {}};
    for (unsigned i = 0; i < header->frameCount; ++i) {
        const SequenceEntry entry = *ReadSequenceEntry(bytes + kSequenceHeaderSize + kSequenceEntrySize * i, kSequenceEntrySize);
        const uint64_t start = FramePosition(entry, header->frameCount);
        if (entry.size == 0 || start < tableEnd || start > fileSize || entry.size > fileSize - start) return std::nullopt;
        table.entries.push_back(entry);
    }
    return table;
}

} // namespace pavoline

#include "sequence_handler.h"

#include "decoder_shell.h"
#include "device_bytes.h"
#include "picture_handler.h"

#include <QImage>
#include <QVariant>

#include <algorithm>

namespace pavoline {
namespace {

constexpr qint64 kLongestTable = kSequenceHeaderSize + kSequenceEntrySize * kMaxSequenceFrames;
// A PNG frame is read whole; a larger one is refused rather than held in memory.
constexpr uint32_t kMaxPngFrameBytes = 16u << 20;

std::optional<SequenceTable> PeekTable(QIODevice* device) {
    const QByteArray head = PeekBytes(device, kLongestTable);
    return ReadSequenceTable(Bytes(head), static_cast<size_t>(head.size()), BytesLeft(device));
}

QImage DecodePng(const QByteArray& bytes) {
    const QImage image = QImage::fromData(bytes, "PNG");
    if (image.isNull() || image.width() > static_cast<int>(kMaxFrameSide) || image.height() > static_cast<int>(kMaxFrameSide))
        return {};
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage DecodeAbm(const QByteArray& bytes) {
    const std::optional<Canvas> canvas = DecodeLikeTool(kAbmDecoderTool, Bytes(bytes), static_cast<size_t>(bytes.size()));
    return canvas ? ImageOfCanvas(*canvas) : QImage();
}

} // namespace

SequenceHandler::SequenceHandler() { setFormat("seq"); }

bool SequenceHandler::canRead(QIODevice* device) { return PeekTable(device).has_value(); }

bool SequenceHandler::canRead() const {
    if (!tableRead_) return canRead(device());
    return table_ && current_ < static_cast<int>(table_->entries.size());
}

const SequenceTable* SequenceHandler::table() const {
    if (!tableRead_ && device()) {
        tableRead_ = true;
        start_ = device()->pos();
        table_ = PeekTable(device());
    }
    return table_ ? &*table_ : nullptr;
}

QImage SequenceHandler::decodeFrame(const SequenceEntry& entry) const {
    const FrameKind kind = *FrameKindOf(table_->header.imageType);
    // An ABM frame is cut where TULSE would cut it, so it shows as TULSE shows it.
    const uint32_t limit = kind == FrameKind::Abm ? static_cast<uint32_t>(kDecoderInputLimit) : kMaxPngFrameBytes;
    if (kind == FrameKind::Png && entry.size > limit) return {};
    if (!device()->seek(start_ + static_cast<qint64>(FramePosition(entry, table_->header.frameCount)))) return {};
    const QByteArray bytes = device()->read(std::min(entry.size, limit));
    if (bytes.size() != static_cast<qint64>(std::min(entry.size, limit))) return {};
    return kind == FrameKind::Abm ? DecodeAbm(bytes) : DecodePng(bytes);
}

bool SequenceHandler::read(QImage* image) {
    const SequenceTable* sequence = table();
    if (!sequence || current_ >= static_cast<int>(sequence->entries.size())) return false;
    QImage frame = decodeFrame(sequence->entries[static_cast<size_t>(current_)]);
    if (frame.isNull()) return false;
    *image = std::move(frame);
    ++current_;
    return true;
}

QVariant SequenceHandler::option(ImageOption option) const {
    if (option == ImageFormat) return QImage::Format_ARGB32;
    if (option == Animation) return true;
    if (option != Size) return {};
    // The frame size the header names (the first frame's), without decoding a frame.
    const std::optional<SequenceTable> peeked = tableRead_ ? table_ : PeekTable(device());
    if (!peeked) return {};
    return QSize(static_cast<int>(peeked->header.frameWidth), static_cast<int>(peeked->header.frameHeight));
}

bool SequenceHandler::supportsOption(ImageOption option) const {
    return option == Size || option == ImageFormat || option == Animation;
}

int SequenceHandler::imageCount() const {
    const SequenceTable* sequence = table();
    return sequence ? static_cast<int>(sequence->entries.size()) : 0;
}

int SequenceHandler::loopCount() const {
    const SequenceTable* sequence = table();
    return sequence ? sequence->header.repeatCount : 0;
}

int SequenceHandler::nextImageDelay() const {
    const SequenceTable* sequence = table();
    if (!sequence) return 0;
    // After a read, the delay of the frame just read: how long it stays before the next.
    const size_t shown = static_cast<size_t>(std::max(0, current_ - 1));
    return std::max(0, sequence->entries[std::min(shown, sequence->entries.size() - 1)].delay);
}

int SequenceHandler::currentImageNumber() const { return current_; }

bool SequenceHandler::jumpToNextImage() { return jumpToImage(current_ + 1); }

bool SequenceHandler::jumpToImage(int imageNumber) {
    if (imageNumber < 0 || imageNumber >= imageCount()) return false;
    current_ = imageNumber;
    return true;
}

} // namespace pavoline

#include "picture_handler.h"

#include "device_bytes.h"
#include "encoders.h"

#include <QVariant>

#include <cstring>

namespace pavoline {
namespace {

constexpr qint64 kHeaderPeek = 12;

const char* FormatName(PictureKind kind) { return kind == PictureKind::Abm ? "abm" : "ab2"; }

} // namespace

const DecoderTool& DecoderOf(PictureKind kind) { return kind == PictureKind::Abm ? kAbmDecoderTool : kAb2DecoderTool; }

QImage ImageOfCanvas(const Canvas& canvas) {
    QImage image(canvas.width, canvas.height, QImage::Format_ARGB32);
    if (image.isNull()) return image;
    for (int y = 0; y < canvas.height; ++y)
        std::memcpy(image.scanLine(y), canvas.row(y), sizeof(uint32_t) * static_cast<size_t>(canvas.width));
    return image;
}

Canvas CanvasOfImage(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    Canvas canvas(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y)
        std::memcpy(canvas.row(y), argb.constScanLine(y), sizeof(uint32_t) * static_cast<size_t>(argb.width()));
    return canvas;
}

PictureHandler::PictureHandler(PictureKind kind) : kind_(kind) { setFormat(FormatName(kind)); }

bool PictureHandler::canRead(QIODevice* device, PictureKind kind) {
    const QByteArray head = PeekBytes(device, kHeaderPeek);
    return head.size() == kHeaderPeek && DecoderOf(kind).plausible(Bytes(head), head.size(), BytesLeft(device));
}

bool PictureHandler::canRead() const { return canRead(device(), kind_); }

bool PictureHandler::read(QImage* image) {
    if (!device() || !device()->isReadable()) return false;
    // The programs read no more than this either, so the picture is theirs pixel for pixel.
    const QByteArray bytes = device()->read(static_cast<qint64>(kDecoderInputLimit));
    const std::optional<Canvas> canvas = DecodeLikeTool(DecoderOf(kind_), Bytes(bytes), static_cast<size_t>(bytes.size()));
    if (!canvas) return false;
    QImage decoded = ImageOfCanvas(*canvas);
    if (decoded.isNull()) return false;
    *image = std::move(decoded);
    return true;
}

bool PictureHandler::write(const QImage& image) {
    if (image.isNull() || image.width() > kMaxDecodedSide || image.height() > kMaxDecodedSide || !device()) return false;
    const Canvas picture = CanvasOfImage(image);
    const std::optional<PictureAnalysis> analysis = AnalysePicture(picture);
    if (!analysis) return false;
    const std::optional<std::vector<uint8_t>> encoded = kind_ == PictureKind::Abm
                                                            ? EncodeAbm(*analysis, picture.width, picture.height)
                                                            : EncodeAb2(*analysis, picture.width, picture.height);
    if (!encoded) return false;
    const auto size = static_cast<qint64>(encoded->size());
    return device()->write(reinterpret_cast<const char*>(encoded->data()), size) == size;
}

QVariant PictureHandler::option(ImageOption option) const {
    if (option == ImageFormat) return QImage::Format_ARGB32;
    if (option != Size) return {};
    const QByteArray head = PeekBytes(device(), kHeaderPeek);
    const std::optional<ImageSize> size =
        head.size() < kHeaderPeek ? std::nullopt : DecoderOf(kind_).checkedSize(Bytes(head), head.size());
    return size ? QVariant(QSize(size->width, size->height)) : QVariant();
}

bool PictureHandler::supportsOption(ImageOption option) const { return option == Size || option == ImageFormat; }

} // namespace pavoline

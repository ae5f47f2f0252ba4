#pragma once
// ABM and AB2 pictures for Qt: read exactly as TULSE and morin decode them, written through the
// encoder as kelpa writes them.

#include "canvas.h"
#include "decoder_shell.h"

#include <QImage>
#include <QImageIOHandler>

namespace pavoline {

enum class PictureKind { Abm, Ab2 };

class PictureHandler : public QImageIOHandler {
public:
    explicit PictureHandler(PictureKind kind);

    static bool canRead(QIODevice* device, PictureKind kind);
    bool canRead() const override;
    bool read(QImage* image) override;
    bool write(const QImage& image) override;
    QVariant option(ImageOption option) const override;
    bool supportsOption(ImageOption option) const override;

private:
    PictureKind kind_;
};

const DecoderTool& DecoderOf(PictureKind kind);

// Canvas pixels are 0xAARRGGBB words, as QImage::Format_ARGB32 holds them.
QImage ImageOfCanvas(const Canvas& canvas);
Canvas CanvasOfImage(const QImage& image);

} // namespace pavoline

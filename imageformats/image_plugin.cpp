#include "image_plugin.h"

#include "picture_handler.h"
#include "sequence_handler.h"

namespace pavoline {
namespace {

enum class Kind { None, Abm, Ab2, Sequence };

Kind KindOfFormat(const QByteArray& format) {
    const QByteArray name = format.toLower();
    if (name == "abm") return Kind::Abm;
    if (name == "ab2") return Kind::Ab2;
    if (name == "seq") return Kind::Sequence;
    return Kind::None;
}

// Told by content alone. The sequence's table is the most particular of the three headers, the
// ABM's the least, so they are tried in that order.
Kind KindOfContent(QIODevice* device) {
    if (!device || !device->isReadable()) return Kind::None;
    if (SequenceHandler::canRead(device)) return Kind::Sequence;
    if (PictureHandler::canRead(device, PictureKind::Ab2)) return Kind::Ab2;
    if (PictureHandler::canRead(device, PictureKind::Abm)) return Kind::Abm;
    return Kind::None;
}

} // namespace

QImageIOPlugin::Capabilities PavolineImagePlugin::capabilities(QIODevice* device, const QByteArray& format) const {
    switch (format.isEmpty() ? KindOfContent(device) : KindOfFormat(format)) {
    case Kind::Abm:
    case Kind::Ab2:
        return format.isEmpty() ? CanRead : Capabilities(CanRead | CanWrite);
    case Kind::Sequence:
        return CanRead;
    case Kind::None:
        break;
    }
    return {};
}

QImageIOHandler* PavolineImagePlugin::create(QIODevice* device, const QByteArray& format) const {
    // What the bytes are comes first: Qt asks the plug-in of a file's extension once only, so an
    // AB2 file named .abm is read here as what it is. A device open for writing takes the format.
    const bool writing = device && (device->openMode() & QIODevice::WriteOnly);
    Kind kind = writing ? Kind::None : KindOfContent(device);
    if (kind == Kind::None) kind = KindOfFormat(format);
    QImageIOHandler* handler = nullptr;
    switch (kind) {
    case Kind::Abm:
        handler = new PictureHandler(PictureKind::Abm);
        break;
    case Kind::Ab2:
        handler = new PictureHandler(PictureKind::Ab2);
        break;
    case Kind::Sequence:
        handler = new SequenceHandler;
        break;
    case Kind::None:
        return nullptr;
    }
    handler->setDevice(device);
    return handler;
}

} // namespace pavoline

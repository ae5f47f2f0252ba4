// Any bytes through QImageReader with the image plug-in linked in: first as the reader tells their
// format by content, then as each of the plug-in's formats named outright, reading its first frames and
// asking every option a viewer asks.
#include <QBuffer>
#include <QImageReader>
#include <QtPlugin>

#include <cstddef>
#include <cstdint>

Q_IMPORT_PLUGIN(PavolineImagePlugin)

namespace {

// Frames past the first few take the same paths; reading them all only slows the search.
constexpr int kMostFrames = 4;

void ReadAll(const QByteArray& bytes, const QByteArray& format) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // Qt's own formats are not what is fuzzed here.
    if (format.isEmpty() && !QByteArrayList{"abm", "ab2", "seq"}.contains(reader.format())) return;
    (void)reader.size();
    (void)reader.imageFormat();
    (void)reader.imageCount();
    (void)reader.loopCount();
    for (int i = 0; i < kMostFrames && reader.canRead(); ++i) {
        if (reader.read().isNull()) break;
        (void)reader.nextImageDelay();
    }
    reader.jumpToImage(0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = [] {
        // Only the plug-in linked in: no system plug-in of another format is loaded.
        QCoreApplication::setLibraryPaths({});
        return true;
    }();
    (void)once;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& format : {QByteArray(), QByteArray("abm"), QByteArray("ab2"), QByteArray("seq")}) ReadAll(bytes, format);
    return 0;
}

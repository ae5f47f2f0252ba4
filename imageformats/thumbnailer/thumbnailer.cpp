#include "thumbnailer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QUrl>

#include <optional>

namespace pavoline {
namespace {

constexpr int kLargestThumbnail = 4096;
constexpr const char* kUsage = "Usage: pavoline-thumbnailer -s SIZE INPUT OUTPUT.png\n"
                               "  INPUT is a path or a file:// URI; the thumbnail is written as PNG.\n";

struct Request {
    int size = 0;
    QString path; // the local file
    QString uri;  // as the thumbnail names it
    QString output;
};

std::optional<Request> ParseArguments(const QStringList& arguments) {
    if (arguments.size() != 4 || arguments[0] != "-s") return std::nullopt;
    bool number = false;
    Request request;
    request.size = arguments[1].toInt(&number);
    if (!number || request.size < 1 || request.size > kLargestThumbnail) return std::nullopt;
    const QUrl given(arguments[2]);
    if (given.scheme() == "file") {
        request.path = given.toLocalFile();
        request.uri = QString::fromLatin1(given.toEncoded());
    } else {
        request.path = arguments[2];
        request.uri = QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(arguments[2]).absoluteFilePath()).toEncoded());
    }
    request.output = arguments[3];
    return request;
}

// Smaller pictures keep their size: a thumbnail is never scaled up.
QImage Shrunk(const QImage& picture, int size) {
    if (picture.width() <= size && picture.height() <= size) return picture;
    return picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

int RunThumbnailer(const QStringList& arguments, std::ostream& err) {
    const std::optional<Request> request = ParseArguments(arguments);
    if (!request) {
        err << kUsage;
        return 1;
    }
    QImageReader reader(request->path);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        err << "pavoline-thumbnailer: cannot read " << request->path.toStdString() << ": "
            << reader.errorString().toStdString() << "\n";
        return 1;
    }
    QImage thumbnail = Shrunk(picture, request->size);
    const QFileInfo original(request->path);
    thumbnail.setText("Thumb::URI", request->uri);
    thumbnail.setText("Thumb::MTime", QString::number(original.lastModified().toSecsSinceEpoch()));
    thumbnail.setText("Thumb::Size", QString::number(original.size()));
    thumbnail.setText("Thumb::Image::Width", QString::number(picture.width()));
    thumbnail.setText("Thumb::Image::Height", QString::number(picture.height()));
    thumbnail.setText("Software", "pavoline-thumbnailer");
    // The name the file manager gives may have no extension, so the format is named.
    QImageWriter writer(request->output, "png");
    if (!writer.write(thumbnail)) {
        err << "pavoline-thumbnailer: cannot write " << request->output.toStdString() << ": "
            << writer.errorString().toStdString() << "\n";
        QFile::remove(request->output);
        return 1;
    }
    return 0;
}

} // namespace pavoline

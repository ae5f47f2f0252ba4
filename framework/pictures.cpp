#include "pictures.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

namespace pavoline {

QString PictureFileFor(const QString& path, qreal devicePixelRatio) {
    if (devicePixelRatio <= 1.0 || path.isEmpty()) return path;
    const int dot = path.lastIndexOf('.');
    const int slash = path.lastIndexOf('/');
    const QString dense = dot > slash ? path.left(dot) + "@2x" + path.mid(dot) : path + "@2x";
    return QFileInfo::exists(dense) ? dense : path;
}

QPixmap LoadPicture(const QString& path) {
    const QString file = PictureFileFor(path, qApp ? qApp->devicePixelRatio() : 1.0);
    // Read directly, not through the pixmap cache: a list of a thousand thumbnails would only churn it.
    QImage image(file);
    if (file != path) image.setDevicePixelRatio(2.0);
    return QPixmap::fromImage(image);
}

QSize LogicalSize(const QPixmap& picture) { return (QSizeF(picture.size()) / picture.devicePixelRatio()).toSize(); }

} // namespace pavoline

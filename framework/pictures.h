#pragma once
// Pictures drawn sharp on dense screens: beside "name.png" a skin or the updater may carry
// "name@2x.png" (as Qt names them), drawn in its place at the plain picture's size wherever a
// screen has two device pixels or more to a pixel.

#include <QPixmap>
#include <QString>

namespace pavoline {

// The file to read for a screen of that density: the @2x one where it exists and is wanted.
QString PictureFileFor(const QString& path, qreal devicePixelRatio);
// The picture for the application's densest screen, marked with its own pixel ratio; a null
// picture when the file cannot be read.
QPixmap LoadPicture(const QString& path);
// Its size in pixels of the layout (device pixels divided by its ratio).
QSize LogicalSize(const QPixmap& picture);

} // namespace pavoline

#pragma once

#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QString>

// The square images of an icon file by size, as 32-bit ARGB. Where the file holds one size at
// several colour depths the deepest is kept: it is the one drawn for today's screens. Empty,
// with `error` set, when the file cannot be read or holds an image that is not square.
inline QMap<int, QImage> iconImagesBySize(const QString& file, QString* error) {
    QImageReader reader(file);
    QMap<int, QImage> images;
    QMap<int, int> depths;
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        int depth = 0;
        QImage image;
        if (reader.jumpToImage(i)) {
            depth = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
            image = reader.read();
        }
        if (image.isNull() || image.width() != image.height()) {
            *error = file + QStringLiteral(": image %1: ").arg(i) +
                     (image.isNull() ? reader.errorString() : QStringLiteral("not square"));
            return {};
        }
        const int size = image.width();
        if (images.contains(size) && depths[size] > depth) continue;
        images[size] = image.convertToFormat(QImage::Format_ARGB32);
        depths[size] = depth;
    }
    if (images.isEmpty()) *error = file + QStringLiteral(": ") + reader.errorString();
    return images;
}

#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

namespace vantrel::test {

// PNG bytes of an image, as a fake tool or server would send them.
inline QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// PNG bytes of a plain image of one colour.
inline QByteArray pngBytes(int width, int height, QColor color = QColor(30, 120, 200))
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return pngBytes(image);
}

} // namespace vantrel::test

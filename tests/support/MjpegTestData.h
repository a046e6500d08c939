#pragma once

#include "support/TestImages.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSize>

namespace vantrel::test {

// A JPEG of the given size: a solid colour with a darker band, so that decoding is real work.
inline QByteArray jpegFrame(QSize size, QColor color, int quality = 75)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QPainter(&image).fillRect(0, size.height() / 3, size.width(), size.height() / 3, color.darker(160));
    return imageBytes(image, "jpeg", false, quality);
}

// One part of a multipart/x-mixed-replace MJPEG response, as WebDriverAgent's screen server
// sends it: boundary, part headers, the JPEG, a line break.
inline QByteArray mjpegPart(const QByteArray &jpeg)
{
    return QByteArrayLiteral("--BoundaryString\r\nContent-type: image/jpeg\r\nContent-Length: ")
        + QByteArray::number(jpeg.size()) + QByteArrayLiteral("\r\n\r\n") + jpeg + QByteArrayLiteral("\r\n");
}

} // namespace vantrel::test

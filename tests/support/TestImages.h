#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include <libdeflate.h>

namespace vantrel::test {

// The bytes of an image in a format Qt writes (empty when it cannot), at `quality` (-1: Qt's default).
inline QByteArray imageBytes(const QImage &image, const char *format, bool progressive = false, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

// PNG bytes of an image, as a fake tool or server would send them.
inline QByteArray pngBytes(const QImage &image)
{
    return imageBytes(image, "png");
}

// PNG bytes of a plain image of one colour.
inline QByteArray pngBytes(int width, int height, QColor color = QColor(30, 120, 200))
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return pngBytes(image);
}

inline QByteArray bigEndian(quint32 v)
{
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

// A PNG chunk: length, type, data and CRC.
inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type) + data;
    const auto crc = quint32(libdeflate_crc32(0, body.constData(), std::size_t(body.size())));
    return bigEndian(quint32(data.size())) + body + bigEndian(crc);
}

// A valid PNG whose header claims width × height pixels (the pixel data stays 1 × 1), to try the
// size limits without decoding a huge image.
inline QByteArray pngClaiming(quint32 width, quint32 height)
{
    const QByteArray png = pngBytes(1, 1); // signature, header chunk (bytes 8 to 32), the rest
    return png.left(8) + pngChunk("IHDR", bigEndian(width) + bigEndian(height) + png.mid(24, 5)) + png.mid(33);
}

} // namespace vantrel::test

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

// A valid PNG whose header claims width × height pixels (the pixel data stays 1 × 1), to try the
// size limits without decoding a huge image.
inline QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = pngBytes(1, 1);
    auto put = [&](int offset, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = char((value >> (24 - 8 * i)) & 0xFF);
    };
    put(16, width);
    put(20, height);
    quint32 crc = 0xFFFFFFFFu; // CRC-32 of the IHDR chunk's type and data
    for (int i = 12; i < 29; ++i) {
        crc ^= quint8(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    put(29, ~crc);
    return bytes;
}

} // namespace vantrel::test

#pragma once

#include <QImage>
#include <QString>

#include <stdexcept>

namespace vantrel {

// The message shown for any image that does not decode.
inline const QString kUnsupportedImageMessage = QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP");

class ImageReadError : public std::runtime_error {
public:
    enum class Reason { missingFile, unsupported, tooLarge };
    ImageReadError(Reason reason, const QString &message)
        : std::runtime_error(message.toStdString()), reason(reason), message(message) {}
    Reason reason;
    QString message;
};

// The one way outside image bytes become an image. Only PNG, JPEG and WebP are read, recognised
// by their content whatever the file is called; data that is cut off is refused; the size the
// header declares is checked before any pixel is decoded and the decoded size again after.
// Ordinary 8-bit PNGs go through PngDecoder, every other image through Qt's decoder of its format.
class ImageFileReader {
public:
    // A phone screen (1440 × 3200 is 4.6 million pixels) or a long design frame fits; the image
    // API of Figma scales its renderings below 32 million pixels. 128 MiB of 32-bit pixels.
    static constexpr qint64 kMaxPixels = qint64(1) << 25;
    static constexpr int kMaxSide = 32767;
    // An encoded file larger than this holds more than any image within the pixel limit needs.
    static constexpr qint64 kMaxFileBytes = qint64(256) << 20;

    static QImage readFile(const QString &path);
    static QImage readBytes(const QByteArray &bytes);
    // readBytes for a stream of frames: a null image for anything readBytes refuses.
    static QImage readBytesOrNull(const QByteArray &bytes) noexcept;
};

} // namespace vantrel

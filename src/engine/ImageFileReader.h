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

// Decodes PNG, JPEG and WebP files and bytes. The pixel size is checked before any pixel is
// decoded, so a huge or hostile image fails with a clear message instead of exhausting memory.
// Ordinary 8-bit PNGs go through PngDecoder, every other image through Qt's decoders.
class ImageFileReader {
public:
    static constexpr qint64 kMaxPixels = 100'000'000; // 400 MB of RGBA

    static QImage readFile(const QString &path);
    static QImage readBytes(const QByteArray &bytes);
};

} // namespace vantrel

#include "engine/ImageFileReader.h"

#include "engine/PngDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace vantrel {

namespace {

// Whole files are read for the PNG decoder only up to this size; a larger one is streamed by Qt.
constexpr qint64 kMaxPngFileBytes = qint64(512) << 20;

void checkSize(const QSize &size, const QString &what)
{
    if (size.isValid() && qint64(size.width()) * size.height() > ImageFileReader::kMaxPixels)
        throw ImageReadError(ImageReadError::Reason::tooLarge,
                             QStringLiteral("图片尺寸过大（%1 × %2 像素），无法安全读取：%3")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(what));
}

// The PNG decoder's verdict, or a null image when the bytes are for Qt's decoder.
QImage decodePng(QByteArrayView bytes, const QString &what)
{
    const PngDecoder::Result png = PngDecoder::decode(bytes, ImageFileReader::kMaxPixels);
    switch (png.outcome) {
    case PngDecoder::Outcome::decoded:
        return png.image;
    case PngDecoder::Outcome::tooLarge:
        checkSize(png.size, what);
        break;
    case PngDecoder::Outcome::unreadable:
        throw ImageReadError(ImageReadError::Reason::unsupported, kUnsupportedImageMessage);
    case PngDecoder::Outcome::notHandled:
        break;
    }
    return QImage();
}

QImage readFrom(QImageReader &reader, const QString &what)
{
    checkSize(reader.size(), what);
    // The reader's own limit (128 MB in Qt 6.4) would refuse images our limit admits.
    reader.setAllocationLimit(int(ImageFileReader::kMaxPixels * 4 / (1024 * 1024)) + 1);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        throw ImageReadError(ImageReadError::Reason::unsupported, kUnsupportedImageMessage);
    return image;
}

} // namespace

QImage ImageFileReader::readFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw ImageReadError(ImageReadError::Reason::missingFile, QStringLiteral("文件不存在：") + path);
    if (info.size() <= kMaxPngFileBytes) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && PngDecoder::hasSignature(file.peek(8))) {
            if (QImage image = decodePng(file.readAll(), path); !image.isNull())
                return image;
        }
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return readFrom(reader, path);
}

QImage ImageFileReader::readBytes(const QByteArray &bytes)
{
    const QString what = QStringLiteral("下载的图片");
    if (QImage image = decodePng(bytes, what); !image.isNull())
        return image;
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return readFrom(reader, what);
}

} // namespace vantrel

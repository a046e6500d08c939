#include "engine/ImageFileReader.h"

#include "engine/ImageContent.h"
#include "engine/PngDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace vantrel {

namespace {

ImageReadError unsupported()
{
    return ImageReadError(ImageReadError::Reason::unsupported, kUnsupportedImageMessage);
}

void checkSize(const QSize &size, const QString &what)
{
    if (size.width() <= ImageFileReader::kMaxSide && size.height() <= ImageFileReader::kMaxSide
        && qint64(size.width()) * size.height() <= ImageFileReader::kMaxPixels)
        return;
    throw ImageReadError(ImageReadError::Reason::tooLarge, QStringLiteral("图片尺寸过大（%1 × %2 像素），无法安全读取：%3")
                                                               .arg(size.width())
                                                               .arg(size.height())
                                                               .arg(what));
}

QImage decode(const QByteArray &bytes, const QString &what)
{
    const ImageFormat format = ImageContent::formatOf(bytes);
    if (!ImageContent::isComplete(format, bytes))
        throw unsupported();

    QByteArray shared = bytes;
    QBuffer buffer(&shared);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, ImageContent::readerFormat(format));
    reader.setAutoDetectImageFormat(false); // that format's decoder or none
    const QSize declared = reader.size();
    if (!declared.isValid())
        throw unsupported();
    checkSize(declared, what);

    QImage image;
    if (format == ImageFormat::png) {
        const PngDecoder::Result png = PngDecoder::decode(bytes, ImageFileReader::kMaxPixels);
        if (png.outcome == PngDecoder::Outcome::unreadable || png.outcome == PngDecoder::Outcome::tooLarge)
            throw unsupported();
        image = png.image;
    }
    if (image.isNull()) {
        // The reader's own limit would be 128 MB in Qt 6.4; this one matches the pixel limit.
        reader.setAllocationLimit(int(ImageFileReader::kMaxPixels * 4 / (1024 * 1024)) + 1);
        reader.setAutoTransform(true);
        image = reader.read();
    }
    if (image.isNull())
        throw unsupported();
    checkSize(image.size(), what);
    return image;
}

} // namespace

QImage ImageFileReader::readFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw ImageReadError(ImageReadError::Reason::missingFile, QStringLiteral("文件不存在：") + path);
    if (info.size() > kMaxFileBytes)
        throw ImageReadError(ImageReadError::Reason::tooLarge,
                             QStringLiteral("图片文件过大（%1 MB），无法安全读取：%2").arg(info.size() >> 20).arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw unsupported();
    return decode(file.read(kMaxFileBytes), path);
}

QImage ImageFileReader::readBytes(const QByteArray &bytes)
{
    return decode(bytes, QStringLiteral("下载的图片"));
}

QImage ImageFileReader::readBytesOrNull(const QByteArray &bytes) noexcept
{
    try {
        return readBytes(bytes);
    } catch (...) {
        return QImage();
    }
}

} // namespace vantrel

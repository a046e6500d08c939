#include "engine/ImageFileReader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace vantrel {

namespace {

QImage readFrom(QImageReader &reader, const QString &what)
{
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > ImageFileReader::kMaxPixels)
        throw ImageReadError(ImageReadError::Reason::tooLarge,
                             QStringLiteral("图片尺寸过大（%1 × %2 像素），无法安全读取：%3")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(what));
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
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return readFrom(reader, path);
}

QImage ImageFileReader::readBytes(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return readFrom(reader, QStringLiteral("下载的图片"));
}

} // namespace vantrel

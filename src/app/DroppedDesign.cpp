#include "app/DroppedDesign.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace vantrel {

const QString DroppedDesign::kUnnamedImage = QStringLiteral("拖入的图片");

namespace {

bool isWebLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// The links a drop carries: its URL list, else a single link or path given as text.
QList<QUrl> offeredLinks(const QMimeData &data)
{
    if (data.hasUrls())
        return data.urls();
    const QString text = data.text().trimmed();
    if (text.isEmpty() || text.contains(u'\n'))
        return {};
    if (QFileInfo(text).isAbsolute())
        return {QUrl::fromLocalFile(text)};
    const QUrl url(text);
    return url.isValid() && (url.isLocalFile() || isWebLink(url)) ? QList<QUrl>{url} : QList<QUrl>{};
}

// The bytes of the first image format offered (PNG, JPEG, WebP, whatever a browser puts first).
std::optional<QByteArray> offeredImageBytes(const QMimeData &data)
{
    for (const QString &format : data.formats()) {
        if (!format.startsWith(QLatin1String("image/")))
            continue;
        QByteArray bytes = data.data(format);
        if (!bytes.isEmpty() && bytes.size() <= DroppedDesign::kMaxImageBytes)
            return bytes;
    }
    return std::nullopt;
}

} // namespace

std::optional<DroppedDesign> DroppedDesign::from(const QMimeData *data)
{
    if (!data)
        return std::nullopt;
    const QList<QUrl> links = offeredLinks(*data);
    for (const QUrl &link : links) {
        if (link.isLocalFile() && QFileInfo(link.toLocalFile()).isFile())
            return DroppedDesign{Kind::file, link.toLocalFile(), {}};
    }
    std::optional<QUrl> webLink;
    for (const QUrl &link : links) {
        if (isWebLink(link)) {
            webLink = link;
            break;
        }
    }
    if (auto bytes = offeredImageBytes(*data)) {
        const QString name = webLink ? webLink->toString() : kUnnamedImage;
        return DroppedDesign{Kind::imageData, name, *bytes};
    }
    if (webLink)
        return DroppedDesign{Kind::link, webLink->toString(), {}};
    return std::nullopt;
}

} // namespace vantrel

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace vantrel {

// Recent Figma responses on disk, one file per request link: the SHA-256 of the link's absolute
// text as the name, the body exactly as received as the content. An entry is fresh for 300
// seconds after it was written. Nothing here ever fails: problems read as "no entry".
class FigmaCache {
public:
    static constexpr qint64 kFreshSeconds = 300;

    // GenericCacheLocation/com.halvenro.Vantrel/FigmaAPI
    static QString directory();
    static QString figmaCacheURL(const QUrl &url);
    static std::optional<QJsonObject> readFigmaCache(const QUrl &url);
    static void writeFigmaCache(const QByteArray &body, const QUrl &url);
};

} // namespace vantrel

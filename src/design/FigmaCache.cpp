#include "design/FigmaCache.h"

#include "engine/FileWriter.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

namespace vantrel {

QString FigmaCache::directory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/com.halvenro.Vantrel/FigmaAPI");
}

QString FigmaCache::figmaCacheURL(const QUrl &url)
{
    const QByteArray digest =
        QCryptographicHash::hash(url.toString(QUrl::FullyEncoded).toUtf8(), QCryptographicHash::Sha256).toHex();
    return directory() + QLatin1Char('/') + QString::fromLatin1(digest) + QStringLiteral(".json");
}

std::optional<QJsonObject> FigmaCache::readFigmaCache(const QUrl &url)
{
    const QString path = figmaCacheURL(url);
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    const QDateTime modified = info.lastModified();
    if (!modified.isValid() || modified.secsTo(QDateTime::currentDateTime()) > kFreshSeconds)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

void FigmaCache::writeFigmaCache(const QByteArray &body, const QUrl &url)
{
    try {
        FileWriter::makeDirectory(directory());
        FileWriter::writeAtomically(figmaCacheURL(url), body);
    } catch (const std::exception &) {
        // A cache that cannot be written only costs a later request.
    }
}

} // namespace vantrel

#include "design/FigmaEndpoints.h"

#include <QUrlQuery>

namespace vantrel {

const QString FigmaEndpoints::kDefaultApiBase = QStringLiteral("https://api.figma.com");
const QString FigmaEndpoints::kDefaultWebBase = QStringLiteral("https://www.figma.com");

namespace {

QString withoutTrailingSlash(QString text)
{
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

// Percent-encodes what a URL query may not hold literally; ":" and "-" stay as they are.
QString queryValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value, ":@/?!$'()*,;=-._~", "&+#"));
}

// A file key as one path segment (a key never holds "/", "?" or "#" literally).
QString pathSegment(const QString &segment)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(segment));
}

} // namespace

FigmaEndpoints::FigmaEndpoints(QUrl apiBase, QUrl webBase)
    : m_apiBase(std::move(apiBase))
    , m_webBase(std::move(webBase))
{
}

FigmaEndpoints FigmaEndpoints::fromEnvironment()
{
    FigmaEndpoints endpoints;
    const QString api = qEnvironmentVariable("VANTREL_FIGMA_API_BASE");
    const QString web = qEnvironmentVariable("VANTREL_FIGMA_WEB_BASE");
    if (!api.isEmpty())
        endpoints.m_apiBase = QUrl(api);
    if (!web.isEmpty())
        endpoints.m_webBase = QUrl(web);
    return endpoints;
}

QString FigmaEndpoints::webDomain() const
{
    QString host = m_webBase.host().toLower();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    return host;
}

std::optional<FigmaReference> FigmaEndpoints::parseFigmaReference(const QUrl &link) const
{
    const QString host = link.host();
    const QString domain = webDomain();
    if (host.isEmpty() || domain.isEmpty() || !host.contains(domain, Qt::CaseInsensitive))
        return std::nullopt;

    const QStringList components = link.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    static const QStringList markers{QStringLiteral("file"), QStringLiteral("design"), QStringLiteral("proto"),
                                     QStringLiteral("board")};
    qsizetype marker = -1;
    for (qsizetype i = 0; i < components.size(); ++i) {
        if (markers.contains(components[i].toLower())) {
            marker = i;
            break;
        }
    }
    if (marker < 0 || marker + 1 >= components.size() || components[marker + 1].isEmpty())
        return std::nullopt;

    FigmaReference reference{components[marker + 1], std::nullopt};
    if (link.hasQuery()) {
        const QUrlQuery query(link);
        for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
            if (name != QLatin1String("node-id"))
                continue;
            if (!value.isEmpty())
                reference.nodeID = QString(value).replace(QLatin1Char('-'), QLatin1Char(':'));
            break;
        }
    }
    return reference;
}

QUrl FigmaEndpoints::api(const QString &path, const QString &encodedQuery) const
{
    QUrl url(withoutTrailingSlash(m_apiBase.toString()) + path);
    url.setQuery(encodedQuery, QUrl::StrictMode);
    return url;
}

QUrl FigmaEndpoints::fileURL(const QString &fileKey) const
{
    return api(QStringLiteral("/v1/files/") + pathSegment(fileKey), QStringLiteral("depth=3"));
}

QUrl FigmaEndpoints::nodesURL(const QString &fileKey, const QString &nodeID) const
{
    return api(QStringLiteral("/v1/files/") + pathSegment(fileKey) + QStringLiteral("/nodes"), QStringLiteral("ids=") + queryValue(nodeID));
}

QUrl FigmaEndpoints::imagesURL(const QString &fileKey, const QString &nodeID) const
{
    return api(QStringLiteral("/v1/images/") + pathSegment(fileKey),
               QStringLiteral("ids=") + queryValue(nodeID) + QStringLiteral("&format=png&scale=2"));
}

QString FigmaEndpoints::designLink(const QString &fileKey, const QString &nodeID) const
{
    return withoutTrailingSlash(m_webBase.toString()) + QStringLiteral("/design/") + pathSegment(fileKey)
        + QStringLiteral("?node-id=") + queryValue(QString(nodeID).replace(QLatin1Char(':'), QLatin1Char('-')));
}

} // namespace vantrel

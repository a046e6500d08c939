#include "Scenario.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace vantrel::fake {

Scenario::Scenario(QString path)
    : m_path(std::move(path))
{
}

QString Scenario::refresh()
{
    const QFileInfo info(m_path);
    const QDateTime modified = info.lastModified();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read scenario %1").arg(m_path);
    const QByteArray content = file.readAll();
    if (modified == m_modified && content == m_content)
        return {};

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (!document.isObject())
        return QStringLiteral("malformed scenario %1: %2").arg(m_path, error.errorString());

    QList<Route> routes;
    for (const QJsonValue &value : document.object().value(QStringLiteral("routes")).toArray()) {
        const QJsonObject object = value.toObject();
        Route route;
        route.method = object.value(QStringLiteral("method")).toString().toUpper();
        route.path = object.value(QStringLiteral("path")).toString();
        route.match = object.value(QStringLiteral("match")).toString(QStringLiteral("exact"));
        route.responses = object.value(QStringLiteral("responses")).toArray();
        routes.append(route);
    }
    m_routes = routes;
    m_modified = modified;
    m_content = content;
    return {};
}

bool Scenario::matches(const Route &route, const QByteArray &method, const QString &target) const
{
    if (route.method != QString::fromLatin1(method).toUpper())
        return false;
    if (route.match == QLatin1String("prefix"))
        return target.startsWith(route.path);
    // Exact: the path without its query, unless the route itself names a query.
    if (route.path.contains(QLatin1Char('?')))
        return target == route.path;
    return target.section(QLatin1Char('?'), 0, 0) == route.path;
}

QJsonObject Scenario::nextResponse(const QByteArray &method, const QString &target)
{
    for (Route &route : m_routes) {
        if (!matches(route, method, target))
            continue;
        if (route.responses.isEmpty())
            return QJsonObject{{QStringLiteral("status"), 200}};
        const qsizetype index = std::min(route.served, route.responses.size() - 1);
        ++route.served;
        QJsonObject response = route.responses.at(index).toObject();
        if (response.isEmpty())
            response.insert(QStringLiteral("status"), 200);
        return response;
    }
    return {};
}

} // namespace vantrel::fake

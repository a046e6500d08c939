#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace vantrel::fake {

// The scripted behaviour of the fake server, read from a JSON file:
//   {"routes":[{"method":"GET","path":"/v1/files/KEY","match":"exact"|"prefix",
//               "responses":[R, R, ...]}]}
// A route's responses are served in sequence; the last one repeats. The file is re-read whenever
// its modification time or its content changes, and the sequences then start again.
class Scenario {
public:
    explicit Scenario(QString path);

    // Re-reads the file when it changed. Returns an error text when the file is unreadable or
    // malformed (the previous routes then stay in force); empty on success.
    QString refresh();

    // The response object for a request, advancing the route's sequence. A null object when no
    // route matches. `target` is the path with its query, as sent in the request line.
    QJsonObject nextResponse(const QByteArray &method, const QString &target);

private:
    struct Route {
        QString method;
        QString path;
        QString match;
        QJsonArray responses;
        qsizetype served = 0;
    };

    bool matches(const Route &route, const QByteArray &method, const QString &target) const;

    QString m_path;
    QDateTime m_modified;
    QByteArray m_content;
    QList<Route> m_routes;
};

} // namespace vantrel::fake

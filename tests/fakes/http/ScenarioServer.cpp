#include "ScenarioServer.h"

#include "HttpConnection.h"

#include <QJsonDocument>
#include <QTcpSocket>

#include <cstdio>

namespace vantrel::fake {

ScenarioServer::ScenarioServer(const QString &scenarioPath, const QString &logPath, QObject *parent)
    : QObject(parent)
    , m_scenario(scenarioPath)
    , m_log(logPath)
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &ScenarioServer::acceptConnections);
}

bool ScenarioServer::listen(QString *error)
{
    const QString problem = m_scenario.refresh();
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot open request log %1").arg(m_log.fileName());
        return false;
    }
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        *error = m_server.errorString();
        return false;
    }
    return true;
}

void ScenarioServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        new HttpConnection(socket, [this](const HttpRequest &request) { return handle(request); }, socket);
    }
}

void ScenarioServer::log(const HttpRequest &request)
{
    QJsonObject headers;
    for (const auto &[name, value] : request.headers)
        headers.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    const QJsonObject line{
        {QStringLiteral("method"), QString::fromLatin1(request.method)},
        {QStringLiteral("path"), request.target},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("body"), QString::fromUtf8(request.body)},
        {QStringLiteral("time"), static_cast<double>(m_clock.elapsed())},
    };
    m_log.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    m_log.flush();
}

QJsonObject ScenarioServer::handle(const HttpRequest &request)
{
    const QString problem = m_scenario.refresh();
    if (!problem.isEmpty())
        std::fprintf(stderr, "fake-http-server: %s\n", qPrintable(problem));
    log(request);
    QJsonObject response = m_scenario.nextResponse(request.method, request.target);
    if (response.isEmpty()) {
        const QJsonObject body{{QStringLiteral("error"), QStringLiteral("no route")},
                               {QStringLiteral("method"), QString::fromLatin1(request.method)},
                               {QStringLiteral("path"), request.target}};
        response = QJsonObject{
            {QStringLiteral("status"), 404},
            {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"), QStringLiteral("application/json")}}},
            {QStringLiteral("body"), QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))},
        };
    }
    return response;
}

} // namespace vantrel::fake

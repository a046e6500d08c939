#pragma once

#include "HttpRequest.h"
#include "Scenario.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QTcpServer>

namespace vantrel::fake {

// Listens on 127.0.0.1, logs every request as one JSON line and answers from the scenario.
class ScenarioServer : public QObject {
    Q_OBJECT
public:
    ScenarioServer(const QString &scenarioPath, const QString &logPath, QObject *parent = nullptr);

    // Binds to a port chosen by the system. Returns false with a message on failure.
    bool listen(QString *error);
    quint16 port() const { return m_server.serverPort(); }

private:
    void acceptConnections();
    QJsonObject handle(const HttpRequest &request);
    void log(const HttpRequest &request);

    QTcpServer m_server;
    Scenario m_scenario;
    QFile m_log;
    QElapsedTimer m_clock;
};

} // namespace vantrel::fake

#include "support/FakeAppium.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace vantrel::test {

namespace {
const char *const kVariables[] = {"VANTREL_APPIUM", "FAKE_APPIUM_UPSTREAM", "FAKE_APPIUM_RECORD",
                                  "FAKE_APPIUM_DRIVERS", "FAKE_APPIUM_FAIL", "FAKE_APPIUM_DELAY_MS"};
}

FakeAppium::FakeAppium(const QJsonObject &scenario)
    : m_http(std::make_unique<FakeHttpServer>(scenario))
{
    for (const char *name : kVariables)
        m_saved.append({name, qgetenv(name)});
    qputenv("VANTREL_APPIUM", programPath().toUtf8());
    qputenv("FAKE_APPIUM_UPSTREAM", QByteArray::number(m_http->port()));
    qputenv("FAKE_APPIUM_RECORD", m_dir.filePath(QStringLiteral("starts.jsonl")).toUtf8());
}

FakeAppium::~FakeAppium()
{
    if (m_leftover.state() != QProcess::NotRunning) {
        m_leftover.kill();
        m_leftover.waitForFinished(5000);
    }
    for (const auto &[name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
}

QString FakeAppium::programPath()
{
    return QStringLiteral(VANTREL_BINARY_DIR "/tests/fakes/appium/appium");
}

int FakeAppium::freePort()
{
    return freeLocalPort();
}

QList<QJsonObject> FakeAppium::serverStarts() const
{
    QList<QJsonObject> starts;
    QFile file(m_dir.filePath(QStringLiteral("starts.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return starts;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            starts.append(QJsonDocument::fromJson(line).object());
    }
    return starts;
}

bool FakeAppium::startLeftoverServer(int port)
{
    m_leftover.setProgram(programPath());
    m_leftover.setArguments({QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                             QString::number(port)});
    m_leftover.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_leftover.start();
    if (!m_leftover.waitForStarted(5000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

QJsonObject FakeAppium::statusRoute(int status)
{
    return FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/status"),
                                 {FakeHttpServer::json(status, QJsonObject{{QStringLiteral("value"),
                                                                            QJsonObject{{QStringLiteral("ready"), true}}}})});
}

QJsonObject FakeAppium::sessionRoute(const QJsonObject &reply, int status)
{
    return FakeHttpServer::route(QStringLiteral("POST"), QStringLiteral("/session"), {FakeHttpServer::json(status, reply)});
}

QJsonObject FakeAppium::sourceRoute(const QString &sessionID, const QJsonObject &reply, int status, int delayMs)
{
    QJsonObject response = FakeHttpServer::json(status, reply);
    if (delayMs > 0)
        response.insert(QStringLiteral("delayMs"), delayMs);
    return FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/session/") + sessionID + QStringLiteral("/source"),
                                 {response});
}

QJsonObject FakeAppium::deleteRoute(const QString &sessionID)
{
    return FakeHttpServer::route(QStringLiteral("DELETE"), QStringLiteral("/session/") + sessionID,
                                 {FakeHttpServer::json(200, QJsonObject{{QStringLiteral("value"), QJsonValue::Null}})});
}

} // namespace vantrel::test

#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QSaveFile>

namespace vantrel::test {

namespace {
constexpr int kStartTimeoutMs = 30000;

bool writeScenario(const QString &path, const QJsonObject &scenario)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(scenario).toJson(QJsonDocument::Indented));
    return file.commit();
}
} // namespace

QString FakeHttpServer::programPath()
{
    const QString fromEnv = qEnvironmentVariable("VANTREL_FAKE_HTTP_SERVER");
    return fromEnv.isEmpty() ? QStringLiteral(VANTREL_FAKES_DIR "/http/fake_http_server.py") : fromEnv;
}

FakeHttpServer::FakeHttpServer(const QJsonObject &scenario)
{
    if (!m_dir.isValid() || !writeScenario(scenarioPath(), scenario)) {
        m_error = QStringLiteral("cannot write the scenario in a temporary folder");
        return;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(programPath(), QStringList{scenarioPath(), logPath()});
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
        m_process.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.startsWith("PORT ") ? static_cast<quint16>(line.mid(5).toUInt()) : 0;
    if (m_port == 0)
        m_error = QStringLiteral("%1 did not report its port: %2 %3").arg(programPath(), QString::fromUtf8(line), m_process.errorString());
}

FakeHttpServer::~FakeHttpServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QUrl FakeHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QUrl FakeHttpServer::url(const QString &path) const
{
    return QUrl(baseUrl().toString() + path);
}

QString FakeHttpServer::scenarioPath() const
{
    return m_dir.filePath(QStringLiteral("scenario.json"));
}

QString FakeHttpServer::logPath() const
{
    return m_dir.filePath(QStringLiteral("requests.jsonl"));
}

void FakeHttpServer::setScenario(const QJsonObject &scenario)
{
    writeScenario(scenarioPath(), scenario);
}

QList<QJsonObject> FakeHttpServer::requests() const
{
    return readJsonLines(logPath());
}

QList<QJsonObject> FakeHttpServer::requests(const QString &prefix) const
{
    QList<QJsonObject> result;
    for (const QJsonObject &request : requests()) {
        if (request.value(QStringLiteral("path")).toString().startsWith(prefix))
            result.append(request);
    }
    return result;
}

qsizetype FakeHttpServer::count(const QString &method, const QString &path) const
{
    const QList<QJsonObject> all = requests();
    return std::count_if(all.cbegin(), all.cend(), [&](const QJsonObject &request) {
        return request.value(QStringLiteral("method")).toString() == method && request.value(QStringLiteral("path")).toString() == path;
    });
}

QJsonObject FakeHttpServer::route(const QString &method, const QString &path, const QJsonArray &responses,
                                  const QString &match)
{
    return QJsonObject{{QStringLiteral("method"), method},
                       {QStringLiteral("path"), path},
                       {QStringLiteral("match"), match},
                       {QStringLiteral("responses"), responses}};
}

QJsonObject FakeHttpServer::scenario(const QJsonArray &routes)
{
    return QJsonObject{{QStringLiteral("routes"), routes}};
}

QJsonObject FakeHttpServer::text(int status, const QString &body, const QString &contentType)
{
    return QJsonObject{{QStringLiteral("status"), status},
                       {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"), contentType}}},
                       {QStringLiteral("body"), body}};
}

QJsonObject FakeHttpServer::json(int status, const QJsonValue &body)
{
    const QByteArray encoded = body.isArray() ? QJsonDocument(body.toArray()).toJson(QJsonDocument::Compact)
                                              : QJsonDocument(body.toObject()).toJson(QJsonDocument::Compact);
    return text(status, QString::fromUtf8(encoded), QStringLiteral("application/json"));
}

QJsonObject FakeHttpServer::bytes(int status, const QByteArray &body, const QString &contentType)
{
    return QJsonObject{{QStringLiteral("status"), status},
                       {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"), contentType}}},
                       {QStringLiteral("bodyBase64"), QString::fromLatin1(body.toBase64())}};
}

QJsonObject FakeHttpServer::closeConnection()
{
    return QJsonObject{{QStringLiteral("close"), true}};
}

} // namespace vantrel::test

#include "support/FakeHttpServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
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
    const QByteArray fromEnv = qgetenv("VANTREL_FAKE_HTTP_SERVER");
    if (!fromEnv.isEmpty())
        return QString::fromLocal8Bit(fromEnv);
    return QStringLiteral(VANTREL_BINARY_DIR "/tests/fakes/http/fake-http-server");
}

FakeHttpServer::FakeHttpServer(const QJsonObject &scenario)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder");
        return;
    }
    if (!writeScenario(scenarioPath(), scenario)) {
        m_error = QStringLiteral("cannot write %1").arg(scenarioPath());
        return;
    }
    if (!QFileInfo(programPath()).isExecutable()) {
        m_error = QStringLiteral("%1 is not built").arg(programPath());
        return;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(programPath(), QStringList{scenarioPath(), logPath()});
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(programPath(), m_process.errorString());
        return;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    QByteArray output;
    while (!output.contains('\n') && !deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            break;
        m_process.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        output += m_process.readAllStandardOutput();
    }
    const QByteArray line = output.left(output.indexOf('\n')).trimmed();
    if (!line.startsWith("PORT ")) {
        m_error = QStringLiteral("fake-http-server did not report its port (output: %1)").arg(QString::fromUtf8(output));
        return;
    }
    m_port = static_cast<quint16>(line.mid(5).toUInt());
    if (m_port == 0)
        m_error = QStringLiteral("fake-http-server reported a bad port: %1").arg(QString::fromUtf8(line));
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
    QList<QJsonObject> result;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            result.append(document.object());
    }
    return result;
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

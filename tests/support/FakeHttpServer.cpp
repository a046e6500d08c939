#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QSaveFile>

namespace vantrel::test {

FakeHttpServer::FakeHttpServer(const QJsonObject &scenario)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder for the scenario");
        return;
    }
    setScenario(scenario);
    if (!m_error.isEmpty())
        return;
    const QString program = QStringLiteral(VANTREL_FAKES_DIR "/http/fake_http_server.py");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, {m_dir.filePath(QStringLiteral("scenario.json")), m_dir.filePath(QStringLiteral("requests.jsonl"))});
    const QDeadlineTimer deadline(30000);
    while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
        m_process.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.startsWith("PORT ") ? static_cast<quint16>(line.mid(5).toUInt()) : 0;
    if (m_port == 0)
        m_error = QStringLiteral("%1 did not report its port: %2 %3").arg(program, QString::fromUtf8(line), m_process.errorString());
}

FakeHttpServer::~FakeHttpServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void FakeHttpServer::setScenario(const QJsonObject &scenario)
{
    QSaveFile file(m_dir.filePath(QStringLiteral("scenario.json"))); // whole, as the server may read it any time
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(scenario).toJson()) < 0 || !file.commit())
        m_error = QStringLiteral("cannot write the scenario");
}

QList<QJsonObject> FakeHttpServer::requests(const QString &prefix) const
{
    QList<QJsonObject> all = readJsonLines(m_dir.filePath(QStringLiteral("requests.jsonl")));
    all.removeIf([&](const QJsonObject &request) { return !request.value(QStringLiteral("path")).toString().startsWith(prefix); });
    return all;
}

qsizetype FakeHttpServer::count(const QString &method, const QString &path) const
{
    const QList<QJsonObject> all = requests(path);
    return std::count_if(all.cbegin(), all.cend(), [&](const QJsonObject &request) {
        return request.value(QStringLiteral("method")).toString() == method && request.value(QStringLiteral("path")).toString() == path;
    });
}

QJsonObject FakeHttpServer::json(int status, const QJsonValue &body)
{
    const QJsonDocument document = body.isArray() ? QJsonDocument(body.toArray()) : QJsonDocument(body.toObject());
    return text(status, QString::fromUtf8(document.toJson(QJsonDocument::Compact)), QStringLiteral("application/json"));
}

} // namespace vantrel::test

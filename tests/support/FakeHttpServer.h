#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace vantrel::test {

// The fake HTTP server (tests/fakes/http) on loopback, serving a scenario for one test; killed with
// the object. Check isRunning() (and show errorString()) before use.
class FakeHttpServer {
public:
    explicit FakeHttpServer(const QJsonObject &scenario = {});
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer &) = delete;
    FakeHttpServer &operator=(const FakeHttpServer &) = delete;

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT", and that followed by `path` (which may carry a query).
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QUrl url(const QString &path) const { return QUrl(baseUrl().toString() + path); }

    // Replaces the scenario; the server picks it up on its next request and restarts the sequences.
    void setScenario(const QJsonObject &scenario);
    // Every request so far, oldest first: {"method","path","headers","body","time"}; or those whose
    // path (with query) starts with `prefix`.
    QList<QJsonObject> requests(const QString &prefix = {}) const;
    // How many requests had this method and exactly this path (with query).
    qsizetype count(const QString &method, const QString &path) const;

    // Scenario builders.
    static QJsonObject route(const QString &method, const QString &path, const QJsonArray &responses, const QString &match = QStringLiteral("exact"))
    {
        return QJsonObject{{"method", method}, {"path", path}, {"match", match}, {"responses", responses}};
    }
    static QJsonObject scenario(const QJsonArray &routes) { return QJsonObject{{"routes", routes}}; }
    static QJsonObject text(int status, const QString &body, const QString &contentType = QStringLiteral("text/plain; charset=utf-8"))
    {
        return QJsonObject{{"status", status}, {"headers", QJsonObject{{"Content-Type", contentType}}}, {"body", body}};
    }
    static QJsonObject json(int status, const QJsonValue &body);
    static QJsonObject bytes(int status, const QByteArray &body, const QString &contentType)
    {
        return QJsonObject{{"status", status}, {"headers", QJsonObject{{"Content-Type", contentType}}}, {"bodyBase64", QString::fromLatin1(body.toBase64())}};
    }
    // Drops the connection without any response.
    static QJsonObject closeConnection() { return QJsonObject{{"close", true}}; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace vantrel::test

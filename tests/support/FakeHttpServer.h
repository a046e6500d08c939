#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

namespace vantrel::test {

// Starts the fake-http-server program on loopback with a scenario, for one test.
//
//   FakeHttpServer server({{"routes", QJsonArray{FakeHttpServer::route("GET", "/x", {FakeHttpServer::text(200, "hi")})}}});
//   QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
//   ... request server.url("/x") ...
//   QCOMPARE(server.requests().size(), 1);
//
// The process is killed when the object is destroyed.
class FakeHttpServer {
public:
    explicit FakeHttpServer(const QJsonObject &scenario = {});
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer &) = delete;
    FakeHttpServer &operator=(const FakeHttpServer &) = delete;

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    quint16 port() const { return m_port; }

    // "http://127.0.0.1:PORT"
    QUrl baseUrl() const;
    // The base address followed by `path` (which may carry a query).
    QUrl url(const QString &path) const;

    // Replaces the scenario; the server picks it up on its next request and restarts the sequences.
    void setScenario(const QJsonObject &scenario);
    // Every request so far, oldest first: {"method","path","headers","body","time"}.
    QList<QJsonObject> requests() const;
    // Requests whose path (with query) starts with `prefix`.
    QList<QJsonObject> requests(const QString &prefix) const;
    // How many requests had this method and exactly this path (with query).
    qsizetype count(const QString &method, const QString &path) const;

    QString scenarioPath() const;
    QString logPath() const;

    // Scenario builders.
    static QJsonObject route(const QString &method, const QString &path, const QJsonArray &responses,
                             const QString &match = QStringLiteral("exact"));
    static QJsonObject scenario(const QJsonArray &routes);
    static QJsonObject text(int status, const QString &body,
                            const QString &contentType = QStringLiteral("text/plain; charset=utf-8"));
    static QJsonObject json(int status, const QJsonValue &body);
    static QJsonObject bytes(int status, const QByteArray &body, const QString &contentType);
    // Drops the connection without any response.
    static QJsonObject closeConnection();

    // Path of the fake-http-server program.
    static QString programPath();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace vantrel::test

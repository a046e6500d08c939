// The shared fake HTTP server: sequences, matching, delays, streams, drops, keep-alive, the log.
#include "support/FakeHttpServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

using vantrel::test::FakeHttpServer;

namespace {

struct Fetched {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray contentLength;
    QByteArray retryAfter;
    qint64 elapsedMs = 0;
};

Fetched fetch(QNetworkAccessManager &manager, const QUrl &url, const QByteArray &method = "GET",
              const QByteArray &body = {})
{
    QNetworkRequest request(url);
    request.setRawHeader("X-Test", "yes");
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    QElapsedTimer clock;
    clock.start();
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    Fetched result;
    result.elapsedMs = clock.elapsed();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.error = reply->error();
    result.contentLength = reply->rawHeader("Content-Length");
    result.retryAfter = reply->rawHeader("Retry-After");
    reply->deleteLater();
    return result;
}

QJsonObject withHeader(QJsonObject response, const QString &name, const QJsonValue &value)
{
    QJsonObject headers = response.value(QStringLiteral("headers")).toObject();
    headers.insert(name, value);
    response.insert(QStringLiteral("headers"), headers);
    return response;
}

} // namespace

class FakeHttpServerTest : public QObject {
    Q_OBJECT
private slots:
    void servesSequenceAndRepeatsTheLast();
    void logsEveryRequest();
    void matchesExactPrefixAndRegexRoutes();
    void answersUnknownRoutesWith404Json();
    void delaysTheResponseHead();
    void streamsChunksAndDropsConnections();
    void endlessStreamKeepsSending();
    void keepsConnectionsAlive();
    void picksUpANewScenario();
};

void FakeHttpServerTest::servesSequenceAndRepeatsTheLast()
{
    FakeHttpServer server(FakeHttpServer::scenario(
        {FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/seq"),
                               {FakeHttpServer::text(200, QStringLiteral("one")),
                                withHeader(FakeHttpServer::text(429, QStringLiteral("two")), QStringLiteral("Retry-After"), 3),
                                FakeHttpServer::bytes(200, QByteArray("\x89PNG\0\1", 6), QStringLiteral("image/png"))})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;

    const Fetched first = fetch(manager, server.url(QStringLiteral("/seq")));
    QCOMPARE(first.status, 200);
    QCOMPARE(first.body, QByteArray("one"));
    QCOMPARE(first.contentLength, QByteArray("3"));
    const Fetched second = fetch(manager, server.url(QStringLiteral("/seq?x=1")));
    QCOMPARE(second.status, 429);
    QCOMPARE(second.body, QByteArray("two"));
    QCOMPARE(second.retryAfter, QByteArray("3"));
    for (int i = 0; i < 2; ++i) {
        const Fetched last = fetch(manager, server.url(QStringLiteral("/seq")));
        QCOMPARE(last.status, 200);
        QCOMPARE(last.body, QByteArray("\x89PNG\0\1", 6));
    }
}

void FakeHttpServerTest::logsEveryRequest()
{
    FakeHttpServer server(FakeHttpServer::scenario(
        {FakeHttpServer::route(QStringLiteral("*"), QStringLiteral("/log"), {FakeHttpServer::text(200, QStringLiteral("ok"))},
                               QStringLiteral("prefix"))}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/log/a?ids=1%3A2"))).status, 200);
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/log/b")), "POST", "payload \xe4\xb8\xad").status, 200);

    const QList<QJsonObject> requests = server.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].value("method").toString(), QStringLiteral("GET"));
    QCOMPARE(requests[0].value("path").toString(), QStringLiteral("/log/a?ids=1%3A2"));
    QCOMPARE(requests[0].value("headers").toObject().value("x-test").toString(), QStringLiteral("yes"));
    QCOMPARE(requests[1].value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(requests[1].value("body").toString(), QStringLiteral("payload \u4e2d"));
    QVERIFY(requests[1].value("time").toDouble() >= requests[0].value("time").toDouble());
    QCOMPARE(server.requests(QStringLiteral("/log/b")).size(), 1);
}

void FakeHttpServerTest::matchesExactPrefixAndRegexRoutes()
{
    FakeHttpServer server(FakeHttpServer::scenario({
        FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/exact"), {FakeHttpServer::text(200, QStringLiteral("exact"))}),
        FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/q?a=1"), {FakeHttpServer::text(200, QStringLiteral("query"))}),
        FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/pre"), {FakeHttpServer::text(200, QStringLiteral("prefix"))}, QStringLiteral("prefix")),
        FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("^/files/[0-9]+$"), {FakeHttpServer::text(200, QStringLiteral("regex"))}, QStringLiteral("regex")),
        FakeHttpServer::route(QStringLiteral("POST"), QStringLiteral("/only-post"), {FakeHttpServer::text(201, QStringLiteral("posted"))}),
    }));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/exact?z=9"))).body, QByteArray("exact"));
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/exact/more"))).status, 404);
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/q?a=1"))).body, QByteArray("query"));
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/q?a=2"))).status, 404);
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/prefix/deep?x"))).body, QByteArray("prefix"));
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/files/123"))).body, QByteArray("regex"));
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/files/12a"))).status, 404);
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/only-post"))).status, 404);
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/only-post")), "POST", "x").status, 201);
}

void FakeHttpServerTest::answersUnknownRoutesWith404Json()
{
    FakeHttpServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    const Fetched missing = fetch(manager, server.url(QStringLiteral("/nothing")));
    QCOMPARE(missing.status, 404);
    const QJsonObject body = QJsonDocument::fromJson(missing.body).object();
    QCOMPARE(body.value("path").toString(), QStringLiteral("/nothing"));
    QCOMPARE(server.requests().size(), 1);
}

void FakeHttpServerTest::delaysTheResponseHead()
{
    QJsonObject slow = FakeHttpServer::text(200, QStringLiteral("late"));
    slow.insert(QStringLiteral("delayMs"), 400);
    FakeHttpServer server(FakeHttpServer::scenario({FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/slow"), {slow})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    const Fetched result = fetch(manager, server.url(QStringLiteral("/slow")));
    QCOMPARE(result.body, QByteArray("late"));
    QVERIFY2(result.elapsedMs >= 380, qPrintable(QString::number(result.elapsedMs)));
}

void FakeHttpServerTest::streamsChunksAndDropsConnections()
{
    const QJsonObject streamed{
        {QStringLiteral("status"), 200},
        {QStringLiteral("chunks"), QJsonArray{QJsonObject{{QStringLiteral("data"), QStringLiteral("ab")}},
                                              QJsonObject{{QStringLiteral("base64"), QString::fromLatin1(QByteArray("cd").toBase64())},
                                                          {QStringLiteral("delayMs"), 50}},
                                              QJsonObject{{QStringLiteral("data"), QStringLiteral("ef")}}}},
    };
    FakeHttpServer server(FakeHttpServer::scenario({
        FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/stream"), {streamed}),
        FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/drop"), {FakeHttpServer::closeConnection()}),
    }));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    const Fetched stream = fetch(manager, server.url(QStringLiteral("/stream")));
    QCOMPARE(stream.status, 200);
    QCOMPARE(stream.body, QByteArray("abcdef"));
    QVERIFY(stream.contentLength.isEmpty());

    const Fetched dropped = fetch(manager, server.url(QStringLiteral("/drop")));
    QCOMPARE(dropped.status, 0);
    QVERIFY(dropped.error != QNetworkReply::NoError);
    QVERIFY(server.requests(QStringLiteral("/drop")).size() >= 1);
}

void FakeHttpServerTest::endlessStreamKeepsSending()
{
    const QJsonObject endless{
        {QStringLiteral("status"), 200},
        {QStringLiteral("headers"), QJsonObject{{QStringLiteral("Content-Type"), QStringLiteral("multipart/x-mixed-replace; boundary=b")}}},
        {QStringLiteral("chunks"), QJsonArray{QJsonObject{{QStringLiteral("data"), QStringLiteral("0123456789")}, {QStringLiteral("delayMs"), 5}}}},
        {QStringLiteral("repeatChunks"), true},
    };
    FakeHttpServer server(FakeHttpServer::scenario({FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/mjpeg"), {endless})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(server.url(QStringLiteral("/mjpeg"))));
    QByteArray received;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] { received += reply->readAll(); });
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 100, 20000);
    QVERIFY(!reply->isFinished());
    QVERIFY(received.startsWith("0123456789012345"));
    reply->abort();
    reply->deleteLater();
}

void FakeHttpServerTest::keepsConnectionsAlive()
{
    FakeHttpServer server(FakeHttpServer::scenario(
        {FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/k"), {FakeHttpServer::text(200, QStringLiteral("first")),
                                                                             FakeHttpServer::text(200, QStringLiteral("second"))})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(10000));
    // Two pipelined requests on one connection, both answered in order.
    socket.write("GET /k HTTP/1.1\r\nHost: x\r\n\r\nGET /k HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (!received.contains("second") && clock.elapsed() < 20000) {
        socket.waitForReadyRead(1000);
        received += socket.readAll();
    }
    QVERIFY2(received.contains("\r\n\r\nfirst"), received.constData());
    QVERIFY2(received.contains("\r\n\r\nsecond"), received.constData());
    QVERIFY(received.indexOf("first") < received.indexOf("second"));
    QCOMPARE(received.count("HTTP/1.1 200 OK"), 2);
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);

    // A scripted "Connection: close" ends the connection after its response.
    server.setScenario(FakeHttpServer::scenario({FakeHttpServer::route(
        QStringLiteral("GET"), QStringLiteral("/c"),
        {withHeader(FakeHttpServer::text(200, QStringLiteral("bye")), QStringLiteral("Connection"), QStringLiteral("close"))})}));
    socket.write("GET /c HTTP/1.1\r\nHost: x\r\n\r\n");
    received.clear();
    clock.restart();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 20000) {
        socket.waitForReadyRead(500);
        received += socket.readAll();
    }
    received += socket.readAll();
    QVERIFY2(received.endsWith("\r\n\r\nbye"), received.constData());
    QCOMPARE(received.count("Connection:"), 1);
    QVERIFY(received.contains("Content-Length: 3"));
    QVERIFY(socket.state() != QAbstractSocket::ConnectedState);
}

void FakeHttpServerTest::picksUpANewScenario()
{
    FakeHttpServer server(FakeHttpServer::scenario(
        {FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/v"), {FakeHttpServer::text(200, QStringLiteral("old"))})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    QNetworkAccessManager manager;
    QCOMPARE(fetch(manager, server.url(QStringLiteral("/v"))).body, QByteArray("old"));
    server.setScenario(FakeHttpServer::scenario(
        {FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/v"), {FakeHttpServer::json(503, QJsonObject{{"state", "new"}})})}));
    const Fetched changed = fetch(manager, server.url(QStringLiteral("/v")));
    QCOMPARE(changed.status, 503);
    QCOMPARE(QJsonDocument::fromJson(changed.body).object().value("state").toString(), QStringLiteral("new"));
}

QTEST_GUILESS_MAIN(FakeHttpServerTest)
#include "tst_FakeHttpServer.moc"

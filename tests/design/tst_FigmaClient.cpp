// Figma requests against the fake server: headers, cache, rate-limit retries and their cap,
// long refusals, statuses, unparsable bodies, transport retries sharing one counter.
#include "DesignTestSupport.h"

#include "design/FigmaCache.h"
#include "design/FigmaClient.h"
#include "engine/FileWriter.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

const QString kToken = QStringLiteral("figd_secret-token-123");

QJsonObject refusal(int retryAfter, const QJsonObject &extra = {})
{
    QJsonObject headers{{"Retry-After", QString::number(retryAfter)}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        headers.insert(it.key(), it.value());
    return withHeaders(FakeHttpServer::json(429, QJsonObject{{"status", 429}, {"err", "Rate limit exceeded"}}), headers);
}

// A response cut off after its head: a lost connection the network stack does not resend itself
// (it may resend a request whose connection closed before any byte came back).
QJsonObject lostMidway()
{
    return QJsonObject{{"status", 200},
                       {"headers", QJsonObject{{"Content-Type", "application/json"}, {"Content-Length", "1000"}}},
                       {"chunks", QJsonArray{QJsonObject{{"data", "{\"partial\": "}}}}};
}

QJsonObject fileBody()
{
    return QJsonObject{{"name", "File"}, {"document", QJsonObject{{"id", "0:0"}, {"type", "DOCUMENT"}}}};
}

struct Fixture {
    TemporaryHome home;
    FakeHttpServer server;
    QNetworkAccessManager network;
    FigmaClient client;
    QStringList progress;

    explicit Fixture(const QJsonArray &responses, DesignImportTimings timings = fastTimings())
        : server(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/v1/files/K", responses)}))
        , client(&network, FigmaEndpoints(server.baseUrl(), QUrl(FigmaEndpoints::kDefaultWebBase)), timings)
    {
    }

    TaskOutcome<QJsonObject> request(const QString &key = QStringLiteral("K"))
    {
        return awaitTask(client.figmaJSON(client.endpoints().fileURL(key), kToken,
                                          [this](const QString &text) { progress << text; }),
                         std::chrono::seconds(60));
    }
};

} // namespace

class FigmaClientTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanupTestCase() { FigmaRequestThrottle::shared().reset(); }

    void sendsTokenHeaderAndCachesTheBody();
    void staleCacheEntriesAreIgnored();
    void retriesRefusalsWithProgress();
    void capsRefusalsAtFiveRequests();
    void longRefusalFailsAtOnceAndHoldsLaterRequests();
    void failures_data();
    void failures();
    void transportRetriesShareOneCounter();
    void timeoutsAndRefusedConnections();
};

void FigmaClientTest::sendsTokenHeaderAndCachesTheBody()
{
    Fixture f({FakeHttpServer::json(200, fileBody())});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const TaskOutcome<QJsonObject> first = f.request();
    QVERIFY2(first.succeeded(), qPrintable(first.error.value_or("timed out")));
    QCOMPARE(first.value->value("name").toString(), QStringLiteral("File"));

    const QList<QJsonObject> requests = f.server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].value("path").toString(), QStringLiteral("/v1/files/K?depth=3"));
    const QJsonObject headers = requests[0].value("headers").toObject();
    QCOMPARE(headers.value("x-figma-token").toString(), kToken);
    QCOMPARE(headers.value("accept").toString(), QStringLiteral("application/json"));

    // One file per link, named by the SHA-256 of the link, holding the body as received.
    const QString link = f.server.baseUrl().toString() + QStringLiteral("/v1/files/K?depth=3");
    const QString expectedName =
        QString::fromLatin1(QCryptographicHash::hash(link.toUtf8(), QCryptographicHash::Sha256).toHex()) + ".json";
    const QString cachePath = f.home.path() + "/.cache/com.halvenro.Vantrel/FigmaAPI/" + expectedName;
    QCOMPARE(FigmaCache::figmaCacheURL(f.client.endpoints().fileURL("K")), cachePath);
    QFile cached(cachePath);
    QVERIFY(cached.open(QIODevice::ReadOnly));
    const QByteArray stored = cached.readAll();
    QCOMPARE(QJsonDocument::fromJson(stored).object(), fileBody());
    QVERIFY(!stored.contains(kToken.toUtf8()));

    const TaskOutcome<QJsonObject> second = f.request();
    QVERIFY(second.succeeded());
    QCOMPARE(*second.value, *first.value);
    QCOMPARE(f.server.requests().size(), 1);
    QCOMPARE(f.progress, QStringList{QStringLiteral("正在使用最近获取的 Figma 数据…")});
}

void FigmaClientTest::staleCacheEntriesAreIgnored()
{
    Fixture f({FakeHttpServer::json(200, QJsonObject{{"v", 1}}), FakeHttpServer::json(200, QJsonObject{{"v", 2}})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QCOMPARE(f.request().value->value("v").toInt(), 1);
    const QString path = FigmaCache::figmaCacheURL(f.client.endpoints().fileURL("K"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-301), QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(f.request().value->value("v").toInt(), 2);
    QCOMPARE(f.server.requests().size(), 2);

    // A corrupt entry is no entry.
    FileWriter::writeAtomically(path, "{not json");
    QCOMPARE(f.request().value->value("v").toInt(), 2);
    QCOMPARE(f.server.requests().size(), 3);
}

void FigmaClientTest::retriesRefusalsWithProgress()
{
    resetThrottle(FigmaRequestThrottle::kMinimumInterval);
    Fixture f({refusal(1), refusal(1), refusal(1), FakeHttpServer::json(200, fileBody())});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QElapsedTimer clock;
    clock.start();
    const TaskOutcome<QJsonObject> outcome = f.request();
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(f.progress, (QStringList{QStringLiteral("Figma 请求受限，1 秒后自动重试（1/4）…"),
                                      QStringLiteral("Figma 请求受限，1 秒后自动重试（2/4）…"),
                                      QStringLiteral("Figma 请求受限，1 秒后自动重试（3/4）…")}));
    const QList<QJsonObject> requests = f.server.requests();
    QCOMPARE(requests.size(), 4);
    // Each retry waits for the announced second and the throttle's spacing.
    for (int i = 1; i < requests.size(); ++i) {
        const double gap = requests[i].value("time").toDouble() - requests[i - 1].value("time").toDouble();
        QVERIFY2(gap >= 950, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
    }
    QVERIFY(clock.elapsed() >= 2900);
}

void FigmaClientTest::capsRefusalsAtFiveRequests()
{
    Fixture f({refusal(1, {{"X-Figma-Plan-Tier", "starter"}})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const TaskOutcome<QJsonObject> outcome = f.request();
    const std::optional<DesignImportError> error = importErrorOf(outcome);
    QVERIFY2(error, qPrintable(outcome.error.value_or("no error")));
    QCOMPARE(error->kind(), DesignImportError::Kind::figmaRateLimited);
    QCOMPARE(error->seconds(), std::optional<qint64>(1));
    QCOMPARE(error->planTier(), std::optional<QString>("starter"));
    QCOMPARE(error->errorDescription(), QStringLiteral("Figma API 请求过于频繁，请等待约 1 秒 后重试"));
    QCOMPARE(f.server.requests().size(), 5);
    QCOMPARE(f.progress.size(), 4);
    QCOMPARE(f.progress.last(), QStringLiteral("Figma 请求受限，1 秒后自动重试（4/4）…"));
}

void FigmaClientTest::longRefusalFailsAtOnceAndHoldsLaterRequests()
{
    Fixture f({refusal(600, {{"X-Figma-Plan-Tier", "professional"}, {"X-Figma-Rate-Limit-Type", "low"}}),
               FakeHttpServer::json(200, fileBody())});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QElapsedTimer clock;
    clock.start();
    const std::optional<DesignImportError> first = importErrorOf(f.request());
    QVERIFY(first);
    QCOMPARE(first->kind(), DesignImportError::Kind::figmaRateLimited);
    QCOMPARE(first->seconds(), std::optional<qint64>(600));
    QCOMPARE(first->errorDescription(),
             QStringLiteral("Figma Professional 套餐的 API low额度已耗尽，预计 10 分钟 后恢复。"
                            "可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。"));
    QVERIFY(f.progress.isEmpty());

    // A later request within the refusal fails at once with the remaining time, sending nothing.
    const std::optional<DesignImportError> later = importErrorOf(f.request(QStringLiteral("OTHER")));
    QVERIFY(later);
    QCOMPARE(later->kind(), DesignImportError::Kind::figmaRateLimited);
    QVERIFY2(*later->seconds() > 540 && *later->seconds() <= 600, qPrintable(QString::number(*later->seconds())));
    QCOMPARE(later->planTier(), std::optional<QString>("professional"));
    QCOMPARE(f.server.requests().size(), 1);
    QVERIFY(clock.elapsed() < 30000);
}

void FigmaClientTest::failures_data()
{
    QTest::addColumn<QJsonObject>("response");
    QTest::addColumn<QString>("message");
    const QString token = QStringLiteral("设计稿响应无法解析：Figma Token 无权访问该文件，请检查 file_content:read 权限和文件共享权限");
    const QString notObject = QStringLiteral("设计稿响应无法解析：Figma 返回内容不是 JSON 对象");
    const QByteArray broken = QByteArray("{\"a\": ") + QByteArray(294, 'z');
    QTest::newRow("403") << FakeHttpServer::json(403, QJsonObject{{"status", 403}}) << token;
    QTest::newRow("401") << FakeHttpServer::text(401, "nope") << token;
    QTest::newRow("500") << FakeHttpServer::text(500, "nope") << "下载失败，HTTP 状态码 500";
    QTest::newRow("302") << FakeHttpServer::text(302, "nope") << "下载失败，HTTP 状态码 302";
    QTest::newRow("broken JSON") << FakeHttpServer::text(200, QString::fromLatin1(broken), "application/json")
                                 << QStringLiteral("设计稿响应无法解析：Figma JSON 解析失败：") + QString::fromLatin1(broken.left(240));
    QTest::newRow("array") << FakeHttpServer::text(200, "[1,2]", "application/json") << notObject;
    QTest::newRow("null") << FakeHttpServer::text(200, "null", "application/json") << notObject;
}

void FigmaClientTest::failures()
{
    QFETCH(QJsonObject, response);
    QFETCH(QString, message);
    Fixture f({response});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const std::optional<DesignImportError> error = importErrorOf(f.request());
    QVERIFY(error);
    QCOMPARE(error->errorDescription(), message);
    QCOMPARE(f.server.requests().size(), 1); // none of these is retried
    QVERIFY(!QFile::exists(FigmaCache::figmaCacheURL(f.client.endpoints().fileURL("K"))));
}

void FigmaClientTest::transportRetriesShareOneCounter()
{
    Fixture f({lostMidway(), lostMidway(), FakeHttpServer::json(200, fileBody())});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const TaskOutcome<QJsonObject> recovered = f.request();
    QVERIFY2(recovered.succeeded(), qPrintable(recovered.error.value_or("timed out")));
    QCOMPARE(f.server.requests().size(), 3);

    // Three lost connections in a row: two retries, then the failure.
    f.server.setScenario(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/v1/files/L", {lostMidway()})}));
    const TaskOutcome<QJsonObject> lost = f.request(QStringLiteral("L"));
    std::optional<DesignImportError> error = importErrorOf(lost);
    QVERIFY2(error, qPrintable(lost.error.value_or(lost.timedOut ? "timed out" : "succeeded")));
    QCOMPARE(error->kind(), DesignImportError::Kind::network);
    QCOMPARE(error->errorDescription(), QStringLiteral("网络请求失败：网络连接已中断。"));
    QCOMPARE(f.server.requests("/v1/files/L").size(), 3);

    // A connection dropped before any answer is a lost connection too.
    f.server.setScenario(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/v1/files/D", {FakeHttpServer::closeConnection()})}));
    error = importErrorOf(f.request(QStringLiteral("D")));
    QVERIFY(error);
    QCOMPARE(error->errorDescription(), QStringLiteral("网络请求失败：网络连接已中断。"));

    // A refusal takes one step of the same counter: one lost connection is retried, the second
    // ends the request although a success would follow.
    f.server.setScenario(FakeHttpServer::scenario({FakeHttpServer::route(
        "GET", "/v1/files/M", {refusal(1), lostMidway(), lostMidway(), FakeHttpServer::json(200, fileBody())})}));
    error = importErrorOf(f.request(QStringLiteral("M")));
    QVERIFY(error);
    QCOMPARE(error->kind(), DesignImportError::Kind::network);
    QCOMPARE(f.progress.last(), QStringLiteral("Figma 请求受限，1 秒后自动重试（1/4）…"));
    QCOMPARE(f.server.requests("/v1/files/M").size(), 3);
    QVERIFY(!QFile::exists(FigmaCache::figmaCacheURL(f.client.endpoints().fileURL("M"))));
}

void FigmaClientTest::timeoutsAndRefusedConnections()
{
    DesignImportTimings timings = fastTimings();
    timings.figmaRequestTimeout = std::chrono::milliseconds(600);
    Fixture f({delayed(FakeHttpServer::json(200, fileBody()), 20000), FakeHttpServer::json(200, fileBody())}, timings);
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QElapsedTimer clock;
    clock.start();
    const TaskOutcome<QJsonObject> recovered = f.request();
    QVERIFY2(recovered.succeeded(), qPrintable(recovered.error.value_or("timed out")));
    // Qt's transfer time-out runs on a coarse timer and may fire a little early.
    QVERIFY2(clock.elapsed() >= (600 + 150) * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(f.server.requests().size(), 2);

    // A refusal, then two time-outs: the shared counter allows no third try.
    const QJsonObject slow = delayed(FakeHttpServer::json(200, fileBody()), 20000);
    f.server.setScenario(FakeHttpServer::scenario(
        {FakeHttpServer::route("GET", "/v1/files/T", {refusal(1), slow, slow, FakeHttpServer::json(200, fileBody())})}));
    const std::optional<DesignImportError> timedOut = importErrorOf(f.request(QStringLiteral("T")));
    QVERIFY(timedOut);
    QCOMPARE(timedOut->errorDescription(), QStringLiteral("网络请求失败：请求超时。"));
    QCOMPARE(f.server.requests("/v1/files/T").size(), 3);

    // Nothing listens on the port: refused three times, with pauses of 1 and 2 units between.
    const quint16 closedPort = freeLocalPort();
    QNetworkAccessManager network;
    FigmaClient client(&network, FigmaEndpoints(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort)),
                                                 QUrl(FigmaEndpoints::kDefaultWebBase)), timings);
    clock.restart();
    const TaskOutcome<QJsonObject> refused = awaitTask(client.figmaJSON(client.endpoints().fileURL("K"), kToken));
    const std::optional<DesignImportError> error = importErrorOf(refused);
    QVERIFY2(error, qPrintable(refused.error.value_or("timed out")));
    QCOMPARE(error->errorDescription(), QStringLiteral("网络请求失败：未能连接到服务器。"));
    QVERIFY2(clock.elapsed() >= 3 * 150, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(FigmaClientTest)
#include "tst_FigmaClient.moc"

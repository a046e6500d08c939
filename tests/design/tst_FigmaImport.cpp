// Figma against the fake API: one request with its retries, refusals, failures and cache; the
// process-wide spacing of requests; and whole imports (target, frame list, node tree, rendering).
#include "DesignTestSupport.h"

#include "design/DesignImporter.h"
#include "design/FigmaCache.h"
#include "design/FigmaClient.h"
#include "engine/FileWriter.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QtTest>

#include <qcoro/qcorotimer.h>

#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

const QString kToken = QStringLiteral("figd_secret-token-123");
const QString kLost = QStringLiteral("网络请求失败：网络连接已中断。");

QJsonObject refusal(int retryAfter)
{
    return withHeaders(FakeHttpServer::json(429, QJsonObject{{"status", 429}}), {{"Retry-After", QString::number(retryAfter)}});
}

QJsonObject textNode(const QString &id, double x, double y)
{
    QJsonObject node = figmaNode(id, "TEXT", box(x, y, 80, 24));
    node.insert("characters", "欢迎");
    return node;
}

// The file's frame list: page 1 holds A (with a nested component) then B; page 2 holds C.
QJsonObject fileResponse()
{
    const QJsonObject nested{{"id", "A:1"}, {"name", "卡片"}, {"type", "COMPONENT"}, {"absoluteBoundingBox", box(10, 10, 100, 60)}};
    const auto canvas = [](const QJsonArray &frames) { return QJsonObject{{"id", "0:1"}, {"type", "CANVAS"}, {"children", frames}}; };
    return QJsonObject{{"name", "App"}, {"document", QJsonObject{{"id", "0:0"}, {"type", "DOCUMENT"}, {"children", QJsonArray{
        canvas({figmaNode("A", "FRAME", box(0, 0, 375, 812), {nested}, "首页"), figmaNode("B", "FRAME", box(400, 0, 390, 844), {}, "详情")}),
        canvas({figmaNode("C", "FRAME", box(0, 0, 10, 10), {}, "设置")})}}}}};
}

QStringList nodeBoxes(const ImportedDesign &design)
{
    QStringList boxes;
    for (const DesignNode &node : design.nodes)
        boxes << QStringLiteral("%1@%2,%3").arg(node.id).arg(node.rect.x).arg(node.rect.y);
    return boxes;
}

QStringList paths(const QList<QJsonObject> &requests)
{
    QStringList list;
    for (const QJsonObject &request : requests)
        list << request.value("path").toString();
    return list;
}

struct Fixture {
    TemporaryHome home;
    FakeHttpServer server;
    QNetworkAccessManager network;
    FigmaClient client;
    DesignImporter importer;
    QStringList progress;

    explicit Fixture(DesignImportTimings timings = fastTimings())
        : client(&network, endpoints(), timings)
        , importer(endpoints(), timings)
    {
    }
    FigmaEndpoints endpoints() const { return FigmaEndpoints(server.baseUrl(), QUrl(FigmaEndpoints::kDefaultWebBase)); }
    QString cachePath(const QString &key = QStringLiteral("K")) const { return FigmaCache::figmaCacheURL(client.endpoints().fileURL(key)); }

    TaskOutcome<QJsonObject> request(const QString &key = QStringLiteral("K"))
    {
        return awaitTask(client.figmaJSON(client.endpoints().fileURL(key), kToken, [this](const QString &t) { progress << t; }));
    }

    // Scripts the three API answers (the file's frames, the node, the rendering's link) and the rendering.
    void script(const QString &id, const QJsonObject &document, const QJsonValue &renderLink = QStringLiteral("{base}/render.png"),
                const QJsonObject &rendering = png(750, 1624), const QJsonObject &file = fileResponse())
    {
        QDir(FigmaCache::directory()).removeRecursively();
        serve(server, {FakeHttpServer::route("GET", "/v1/files/KEY", {FakeHttpServer::json(200, file)}),
                       FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {nodeAnswer(id, document)}),
                       FakeHttpServer::route("GET", "/v1/images/KEY", {renderingAnswer(id, renderLink)}),
                       FakeHttpServer::route("GET", "/render.png", {rendering})});
    }
    TaskOutcome<ImportedDesign> importURL(const QString &link)
    {
        return awaitTask(importer.importURL(link, kToken, std::nullopt, [this](const QString &t) { progress << t; }));
    }
};

// Waits for a turn and reports when it came, in ms after `clock` started.
QCoro::Task<qint64> turnAt(const QElapsedTimer *clock, std::chrono::milliseconds startAfter = 0ms)
{
    if (startAfter > 0ms)
        co_await QCoro::sleepFor(startAfter);
    co_await FigmaRequestThrottle::shared().waitForTurn();
    co_return clock->elapsed();
}

QCoro::Task<QList<qint64>> turnsTogether(const QElapsedTimer *clock, QList<std::chrono::milliseconds> starts)
{
    std::vector<QCoro::Task<qint64>> tasks;
    for (const auto start : starts)
        tasks.push_back(turnAt(clock, start));
    QList<qint64> times;
    for (auto &task : tasks)
        times.append(co_await std::move(task));
    co_return times;
}

} // namespace

class FigmaImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanupTestCase() { FigmaRequestThrottle::shared().reset(); }

    void requests_data()
    {
        QTest::addColumn<QJsonArray>("responses");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("requests"); // -1: any number
        QTest::addColumn<QStringList>("progress");
        QTest::addColumn<int>("gapMs"); // the least pause between two requests
        const QString refused = QStringLiteral("设计稿响应无法解析：Figma Token 无权访问该文件，请检查 file_content:read 权限和文件共享权限");
        const QString notObject = QStringLiteral("设计稿响应无法解析：Figma 返回内容不是 JSON 对象");
        const QByteArray broken = QByteArray("{\"a\": ") + QByteArray(294, 'z');
        const QJsonObject answer = FakeHttpServer::json(200, QJsonObject{{"name", "File"}});
        const QJsonObject lost = cutOff("application/json", "{\"partial\": ");
        const QJsonObject slow = delayed(answer, 20000); // time-out 600 ms, retry unit 150 ms
        const auto waits = [](int count) {
            QStringList texts;
            for (int i = 1; i <= count; ++i)
                texts << QStringLiteral("Figma 请求受限，1 秒后自动重试（%1/4）…").arg(i);
            return texts;
        };
        QTest::newRow("answer") << QJsonArray{answer} << "(succeeded)" << 1 << QStringList() << 0;
        QTest::newRow("refused for ever") << QJsonArray{refusal(1)} << "Figma API 请求过于频繁，请等待约 1 秒 后重试" << 5 << waits(4) << 950;
        QTest::newRow("403") << QJsonArray{FakeHttpServer::json(403, QJsonObject{{"status", 403}})} << refused << 1 << QStringList() << 0;
        QTest::newRow("401") << QJsonArray{FakeHttpServer::text(401, "nope")} << refused << 1 << QStringList() << 0;
        // The token stays with Figma: a redirect to another origin is not followed.
        QTest::newRow("redirect") << QJsonArray{withHeaders(FakeHttpServer::text(302, ""), {{"Location", "http://127.0.0.1:1/v1/files/K"}})}
                                  << "网络请求失败：重定向过多或不安全。" << 1 << QStringList() << 0;
        QTest::newRow("500") << QJsonArray{FakeHttpServer::text(500, "nope")} << "下载失败，HTTP 状态码 500" << 1 << QStringList() << 0;
        QTest::newRow("broken JSON") << QJsonArray{FakeHttpServer::text(200, QString::fromLatin1(broken), "application/json")}
                                     << QStringLiteral("设计稿响应无法解析：Figma JSON 解析失败：") + QString::fromLatin1(broken.left(240)) << 1
                                     << QStringList() << 0;
        QTest::newRow("array") << QJsonArray{FakeHttpServer::text(200, "[1,2]", "application/json")} << notObject << 1 << QStringList() << 0;
        QTest::newRow("null") << QJsonArray{FakeHttpServer::text(200, "null", "application/json")} << notObject << 1 << QStringList() << 0;
        QTest::newRow("lost twice") << QJsonArray{lost, lost, answer} << "(succeeded)" << 3 << QStringList() << 140;
        QTest::newRow("lost for ever") << QJsonArray{lost} << kLost << 3 << QStringList() << 140;
        // The network stack itself may resend a request whose connection closed before any answer.
        QTest::newRow("dropped before any answer") << QJsonArray{FakeHttpServer::closeConnection()} << kLost << -1 << QStringList() << 0;
        // Refusals and brief failures count on one counter.
        QTest::newRow("refused, then lost") << QJsonArray{refusal(1), lost, lost, answer} << kLost << 3 << waits(1) << 140;
        QTest::newRow("timed out once") << QJsonArray{slow, answer} << "(succeeded)" << 2 << QStringList() << (600 + 150) * 9 / 10;
        QTest::newRow("refused, then timed out") << QJsonArray{refusal(1), slow, slow, answer} << "网络请求失败：请求超时。" << 3 << waits(1) << 140;
    }

    void requests()
    {
        QFETCH(QJsonArray, responses);
        QFETCH(int, gapMs);
        DesignImportTimings timings = fastTimings();
        timings.figmaRequestTimeout = 600ms;
        Fixture f(timings);
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        serve(f.server, {FakeHttpServer::route("GET", "/v1/files/K", responses)});
        const TaskOutcome<QJsonObject> outcome = f.request();
        QTEST(outcomeText(outcome), "expected");
        const QList<QJsonObject> sent = f.server.requests();
        QFETCH(int, requests);
        if (requests >= 0)
            QCOMPARE(int(sent.size()), requests);
        QTEST(f.progress, "progress");
        for (qsizetype i = 1; i < sent.size(); ++i) {
            const double gap = sent[i]["time"].toDouble() - sent[i - 1]["time"].toDouble();
            QVERIFY2(gap >= gapMs, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
        }
        QCOMPARE(QFile::exists(f.cachePath()), outcome.succeeded()); // only answers are kept
    }

    void answersAreCachedForFiveMinutes()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        serve(f.server, {FakeHttpServer::route("GET", "/v1/files/K", {FakeHttpServer::json(200, QJsonObject{{"v", 1}}),
                                                                       FakeHttpServer::json(200, QJsonObject{{"v", 2}})})});
        QCOMPARE(f.request().value->value("v").toInt(), 1);
        QCOMPARE(f.request().value->value("v").toInt(), 1);
        QCOMPARE(f.progress, QStringList{QStringLiteral("正在使用最近获取的 Figma 数据…")});
        const QList<QJsonObject> requests = f.server.requests();
        QCOMPARE(paths(requests), QStringList{QStringLiteral("/v1/files/K?depth=3")});
        QCOMPARE(requests[0]["headers"].toObject()["x-figma-token"].toString(), kToken);
        QCOMPARE(requests[0]["headers"].toObject()["accept"].toString(), QStringLiteral("application/json"));
        // One file per link, named by the SHA-256 of the link; the token is not in it.
        const QByteArray link = f.server.url(QStringLiteral("/v1/files/K?depth=3")).toString().toUtf8();
        QCOMPARE(f.cachePath(), f.home.path() + QStringLiteral("/.cache/com.halvenro.Vantrel/FigmaAPI/") +
                                    QCryptographicHash::hash(link, QCryptographicHash::Sha256).toHex() + QStringLiteral(".json"));
        QFile file(f.cachePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(!file.readAll().contains(kToken.toUtf8()));
        // An entry older than five minutes, or corrupt, is no entry.
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-301), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(f.request().value->value("v").toInt(), 2);
        FileWriter::writeAtomically(f.cachePath(), "{not json");
        QCOMPARE(f.request().value->value("v").toInt(), 2);
        QCOMPARE(f.server.requests().size(), 3);
    }

    void longRefusalFailsAtOnceAndHoldsLaterRequests()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        serve(f.server, {FakeHttpServer::route("GET", "/v1/files/K", {withHeaders(refusal(600), {{"X-Figma-Plan-Tier", "professional"},
                                                                                                  {"X-Figma-Rate-Limit-Type", "low"}})})});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(outcomeText(f.request()), QStringLiteral("Figma Professional 套餐的 API low额度已耗尽，预计 10 分钟 后恢复。"
                                                          "可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。"));
        QVERIFY(f.progress.isEmpty());
        // A later request within the refusal fails at once with the remaining time, sending nothing.
        const std::optional<DesignImportError> later = importErrorOf(f.request(QStringLiteral("OTHER")));
        QVERIFY(later);
        QVERIFY2(*later->seconds() > 540 && *later->seconds() <= 600, qPrintable(QString::number(*later->seconds())));
        QCOMPARE(later->planTier(), std::optional<QString>("professional"));
        QCOMPARE(f.server.requests().size(), 1);
        QVERIFY(clock.elapsed() < 30000);
        // A refusal just over the longest wait fails at once too.
        resetThrottle();
        FigmaRequestThrottle::shared().postpone(QDateTime::currentDateTimeUtc().addSecs(121), std::nullopt, std::nullopt);
        const std::optional<DesignImportError> held = importErrorOf(f.request());
        QVERIFY(held);
        QCOMPARE(held->seconds(), std::optional<qint64>(121));
    }

    void refusedConnectionsAreRetried()
    {
        TemporaryHome home;
        QNetworkAccessManager network;
        const QUrl closed(QStringLiteral("http://127.0.0.1:%1").arg(freeLocalPort()));
        FigmaClient client(&network, FigmaEndpoints(closed, QUrl(FigmaEndpoints::kDefaultWebBase)), fastTimings());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(outcomeText(awaitTask(client.figmaJSON(client.endpoints().fileURL("K"), kToken))),
                 QStringLiteral("网络请求失败：未能连接到服务器。"));
        QVERIFY2(clock.elapsed() >= 3 * 150, qPrintable(QString::number(clock.elapsed()))); // pauses of one and two units
    }

    void throttleSpacesRequestsWithoutQueueing()
    {
        resetThrottle(300ms);
        QElapsedTimer clock;
        clock.start();
        // The first goes at once; the next two arrive during the spacing and wake together, instead of
        // one after the other; never early.
        const QList<qint64> times = awaitTask(turnsTogether(&clock, {0ms, 50ms, 100ms})).value.value();
        const QString text = QStringLiteral("%1 %2 %3").arg(times[0]).arg(times[1]).arg(times[2]);
        QVERIFY2(times[0] < 250 && times[1] - times[0] >= 300 && times[2] - times[0] >= 300, qPrintable(text));
        QVERIFY2(std::abs(times[2] - times[1]) < 200, qPrintable(text));
    }

    void throttleHoldsTheLatestRefusal()
    {
        FigmaRequestThrottle &throttle = FigmaRequestThrottle::shared();
        QElapsedTimer clock;
        clock.start();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        throttle.postpone(now.addMSecs(700), QStringLiteral("pro"), std::nullopt);
        throttle.postpone(now.addMSecs(200), std::nullopt, std::nullopt);
        qint64 turn = awaitTask(turnAt(&clock)).value.value();
        QVERIFY2(turn >= 650, qPrintable(QString::number(turn)));
        // A refusal that comes while a caller sleeps out the spacing holds that caller too.
        resetThrottle(300ms);
        awaitTask(turnAt(&clock));
        clock.restart();
        QTimer::singleShot(100, [&throttle] { throttle.postpone(QDateTime::currentDateTimeUtc().addMSecs(1000), std::nullopt, std::nullopt); });
        turn = awaitTask(turnAt(&clock)).value.value();
        QVERIFY2(turn >= 1000, qPrintable(QString::number(turn)));
    }

    void linkWithNode()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        f.script("1:2", figmaNode("1:2", "FRAME", box(100, 300, 375, 812), {textNode("1:3", 120, 340)}, "登录"));
        const TaskOutcome<ImportedDesign> outcome = f.importURL("https://www.figma.com/design/KEY/App?node-id=1-2&t=abc");
        QCOMPARE(outcomeText(outcome), QStringLiteral("登录 Figma 750x1624 https://www.figma.com/design/KEY?node-id=1-2"));
        const ImportedDesign &design = *outcome.value;
        QCOMPARE(design.selectedFrameID, std::optional<QString>("1:2"));
        QVERIFY(design.availableFrames.isEmpty() && !design.isVisualOnly);
        QCOMPARE(design.canvasSize, (SizeValue{375, 812}));
        QCOMPARE(nodeBoxes(design), (QStringList{"1:2@0,0", "1:3@20,40"})); // from the frame's origin
        QCOMPARE(design.nodes[1].text, std::optional<QString>("欢迎"));

        const QList<QJsonObject> requests = f.server.requests();
        QCOMPARE(paths(requests), (QStringList{"/v1/files/KEY/nodes?ids=1:2", "/v1/images/KEY?ids=1:2&format=png&scale=2", "/render.png"}));
        // The token goes to the API only, never to the image host.
        QCOMPARE(requests[1]["headers"].toObject()["x-figma-token"].toString(), kToken);
        QVERIFY(!requests[2]["headers"].toObject().contains("x-figma-token"));
        QCOMPARE(requests[2]["headers"].toObject()["accept"].toString(), QStringLiteral("image/*,*/*;q=0.8"));
        QVERIFY(f.progress.isEmpty());
    }

    void linkWithoutNodeTakesTheFirstFrameAndReimportsFromTheCache()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        // The node response lacks the frame's box: the size comes from the frame list and positions stay absolute.
        f.script("A", figmaNode("A", "FRAME", QJsonObject{}, {textNode("A:7", 120, 340)}, "首页（节点）"));
        const TaskOutcome<ImportedDesign> outcome = f.importURL("https://figma.com/file/KEY");
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
        const ImportedDesign &design = *outcome.value;
        QCOMPARE(design.selectedFrameID, std::optional<QString>("A"));
        QCOMPARE(design.name, QStringLiteral("首页"));
        QCOMPARE(design.availableFrames.size(), 4);
        QCOMPARE(design.availableFrames[0], (DesignFrameOption{"A", "首页", SizeValue{375, 812}}));
        QCOMPARE(design.canvasSize, (SizeValue{375, 812}));
        QCOMPARE(nodeBoxes(design), QStringList{"A:7@120,340"});
        QCOMPARE(paths(f.server.requests()).mid(0, 2), (QStringList{"/v1/files/KEY?depth=3", "/v1/files/KEY/nodes?ids=A"}));

        // Again: only the rendering is fetched; the three API answers come from the cache.
        const TaskOutcome<ImportedDesign> second = f.importURL("https://figma.com/file/KEY");
        QCOMPARE(outcomeText(second), outcomeText(outcome));
        QCOMPARE(paths(f.server.requests()).mid(4), QStringList{"/render.png"});
        QCOMPARE(f.progress, QStringList(3, QStringLiteral("正在使用最近获取的 Figma 数据…")));
        QCOMPARE(second.value->availableFrames, design.availableFrames);
    }

    void frameSwitch()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        // A chosen frame lists no frames and does not ask for the file.
        f.script("B", figmaNode("B", "FRAME", box(400, 0, 390, 844), {}, "详情节点"), "{base}/render.png", png(780, 1688));
        TaskOutcome<ImportedDesign> outcome = awaitTask(f.importer.importFigma(FigmaReference{"KEY", std::nullopt}, kToken, QStringLiteral("B")));
        QCOMPARE(outcomeText(outcome), QStringLiteral("详情节点 Figma 780x1688 https://www.figma.com/design/KEY?node-id=B"));
        QVERIFY(outcome.value->availableFrames.isEmpty());
        QCOMPARE(outcome.value->canvasSize, (SizeValue{390, 844}));
        QCOMPARE(f.server.requests("/v1/files/KEY?").size(), 0);

        // Neither a box nor a listed frame: the canvas is the rendering's size; no name: the default.
        f.script("Z", QJsonObject{{"id", "Z"}, {"type", "FRAME"}}, "{base}/render.png", png(30, 20));
        outcome = awaitTask(f.importer.importFigma(FigmaReference{"KEY", QStringLiteral("Z")}, kToken));
        QCOMPARE(outcomeText(outcome), QStringLiteral("Figma 画板 Figma 30x20 https://www.figma.com/design/KEY?node-id=Z"));
        QCOMPARE(outcome.value->canvasSize, (SizeValue{30, 20}));
    }

    void importFailures()
    {
        Fixture f;
        QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
        const QJsonObject frame = figmaNode("1:2", "FRAME", box(0, 0, 10, 10), {}, "登录");
        const QString withNode = QStringLiteral("https://www.figma.com/design/KEY?node-id=1-2");
        const QString noFrame = QStringLiteral("Figma 链接中未找到可导出的画板");
        const QString noRendering = QStringLiteral("设计稿响应无法解析：Figma 未返回画板图片");
        const auto failure = [&](const QString &link) { return outcomeText(f.importURL(link)); };

        f.script("1:2", frame, "{base}/render.png", png(2, 2), QJsonObject{{"document", QJsonObject{{"id", "0:0"}, {"children", QJsonArray{}}}}});
        QCOMPARE(failure("https://www.figma.com/design/KEY"), noFrame);
        QCOMPARE(f.server.requests("/v1/files/KEY/nodes").size(), 0);
        f.script("1:2", frame, "{base}/render.png", png(2, 2), QJsonObject{{"name", "x"}});
        QCOMPARE(failure("https://www.figma.com/design/KEY"), QStringLiteral("设计稿响应无法解析：缺少 document"));
        f.script("9:9", frame);
        QCOMPARE(failure(withNode), noFrame);
        f.script("1:2", frame, QJsonValue::Null);
        QCOMPARE(failure(withNode), noRendering);
        f.script("1:2", frame, 42);
        QCOMPARE(failure(withNode), noRendering);
        f.script("1:2", frame, "{base}/render.png", FakeHttpServer::bytes(200, "<html>", "image/png"));
        QCOMPARE(failure(withNode), QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP"));
        f.script("1:2", frame, "{base}/render.png", FakeHttpServer::text(403, "expired"));
        QCOMPARE(failure(withNode), QStringLiteral("下载失败，HTTP 状态码 403"));
    }
};

QTEST_GUILESS_MAIN(FigmaImportTest)
#include "tst_FigmaImport.moc"

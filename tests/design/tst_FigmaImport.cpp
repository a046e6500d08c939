// Figma against the fake API: one request with its retries, refusals, failures and cache; the
// process-wide spacing of requests; and whole imports (target, frame list, node tree, rendering).
#include "DesignTestSupport.h"

#include "design/DesignImporter.h"
#include "design/FigmaCache.h"
#include "design/FigmaClient.h"
#include "engine/FileWriter.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

const QString kToken = QStringLiteral("figd_secret-token-123");

QJsonObject refusal(int retryAfter, const QJsonObject &headers = {})
{
    return withHeaders(withHeaders(FakeHttpServer::json(429, QJsonObject{{"status", 429}}), {{"Retry-After", QString::number(retryAfter)}}), headers);
}

QJsonObject textNode(const QString &id, double x, double y)
{
    QJsonObject node = figmaNode(id, "TEXT", box(x, y, 80, 24));
    node.insert("characters", "欢迎");
    return node;
}

// A design in a few lines: the outcome, the chosen frame and canvas, the frames offered, the nodes.
QStringList designLines(const TaskOutcome<ImportedDesign> &outcome)
{
    QStringList lines{outcomeText(outcome)};
    if (!outcome.value)
        return lines;
    const ImportedDesign &d = *outcome.value;
    lines << QStringLiteral("  frame %1, canvas %2x%3, visual only %4")
                 .arg(d.selectedFrameID.value_or("-")).arg(d.canvasSize.width).arg(d.canvasSize.height).arg(d.isVisualOnly);
    for (const DesignFrameOption &frame : d.availableFrames)
        lines << QStringLiteral("  offers %1 %2 %3x%4").arg(frame.id, frame.name).arg(frame.size.width).arg(frame.size.height);
    for (const DesignNode &node : d.nodes)
        lines << QStringLiteral("  node %1@%2,%3 %4").arg(node.id).arg(node.rect.x).arg(node.rect.y).arg(node.text.value_or("-"));
    return lines;
}

struct Fixture {
    TemporaryHome home;
    FakeHttpServer server;
    QNetworkAccessManager network;
    FigmaClient client;
    DesignImporter importer;
    QStringList progress; // as the transcripts show it: "  progress <text>"
    const std::function<void(const QString &)> tell = [this](const QString &t) { progress << "  progress " + t; };

    explicit Fixture(DesignImportTimings timings = fastTimings())
        : client(&network, endpoints(), timings)
        , importer(endpoints(), timings)
    {
    }
    FigmaEndpoints endpoints() const { return FigmaEndpoints(server.baseUrl(), QUrl(FigmaEndpoints::kDefaultWebBase)); }
    QString cachePath(const QString &key = QStringLiteral("K")) const { return FigmaCache::figmaCacheURL(client.endpoints().fileURL(key)); }

    TaskOutcome<QJsonObject> request(const QString &key = QStringLiteral("K"))
    {
        return awaitTask(client.figmaJSON(client.endpoints().fileURL(key), kToken, tell));
    }

    // Scripts the three API answers (the file's frames, the node, the rendering's link) and the rendering.
    // The file's frames: page 1 holds A (with a nested component and a text), B and N without a box;
    // page 2 holds C, an unnamed section and an instance.
    void script(const QString &id, const QJsonObject &document, const QJsonValue &renderLink = QStringLiteral("{base}/render.png"),
                const QJsonObject &rendering = png(750, 1624), const QJsonObject &file = designData("figma-file.json"))
    {
        QDir(FigmaCache::directory()).removeRecursively();
        serve(server, {FakeHttpServer::route("GET", "/v1/files/KEY", {FakeHttpServer::json(200, file)}),
                       FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {nodeAnswer(id, document)}),
                       FakeHttpServer::route("GET", "/v1/images/KEY", {renderingAnswer(id, renderLink)}),
                       FakeHttpServer::route("GET", "/render.png", {rendering})});
    }
};

} // namespace

class FigmaImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanupTestCase() { FigmaRequestThrottle::shared().reset(); }

    // One API request through each sequence of answers: its outcome, whether the answer was kept,
    // what was sent (in the golden text) and the least pause between two attempts (here).
    void requests()
    {
        const QByteArray broken = QByteArray("{\"a\": ") + QByteArray(294, 'z');
        const QJsonObject answer = FakeHttpServer::json(200, QJsonObject{{"name", "File"}});
        const QJsonObject lost = cutOff("application/json", "{\"partial\": ");
        const QJsonObject slow = delayed(answer, 20000); // time-out 600 ms, retry unit 150 ms
        struct Row {
            const char *name;
            QJsonArray responses;
            int gapMs = 0;
            bool logged = true; // false: the network stack itself may resend
        };
        const QList<Row> rows{
            {"answer", {answer}},
            {"refused for ever", {refusal(1)}, 950},
            {"403", {FakeHttpServer::json(403, QJsonObject{{"status", 403}})}},
            {"401", {FakeHttpServer::text(401, "nope")}},
            // The token stays with Figma: a redirect to another origin is not followed.
            {"redirect", {QJsonObject{{"status", 302}, {"headers", QJsonObject{{"Location", "http://127.0.0.1:1/v1/files/K"}}}}}},
            {"500", {FakeHttpServer::text(500, "nope")}},
            {"broken JSON", {FakeHttpServer::text(200, QString::fromLatin1(broken), "application/json")}},
            {"array", {FakeHttpServer::text(200, "[1,2]", "application/json")}},
            {"null", {FakeHttpServer::text(200, "null", "application/json")}},
            {"lost twice", {lost, lost, answer}, 140},
            {"lost for ever", {lost}, 140},
            {"dropped before any answer", {FakeHttpServer::closeConnection()}, 0, false},
            // Refusals and brief failures count on one counter.
            {"refused, then lost", {refusal(1), lost, lost, answer}, 140},
            {"timed out once", {slow, answer}, (600 + 150) * 9 / 10},
            {"refused, then timed out", {refusal(1), slow, slow, answer}, 140},
        };
        DesignImportTimings timings = fastTimings();
        timings.figmaRequestTimeout = 600ms;
        QStringList log;
        for (const Row &row : rows) {
            resetThrottle();
            Fixture f(timings);
                serve(f.server, {FakeHttpServer::route("GET", "/v1/files/K", row.responses)});
            const TaskOutcome<QJsonObject> outcome = f.request();
            log << QStringLiteral("# %1: %2, kept %3").arg(row.name, outcomeText(outcome)).arg(QFile::exists(f.cachePath()));
            log << (row.logged ? requestLines(f.server) : QStringList()) << f.progress;
            const QList<QJsonObject> sent = f.server.requests();
            for (qsizetype i = 1; i < sent.size(); ++i) {
                const double gap = sent[i]["time"].toDouble() - sent[i - 1]["time"].toDouble();
                QVERIFY2(gap >= row.gapMs, qPrintable(QStringLiteral("%1: gap %2 ms").arg(row.name).arg(gap)));
            }
        }
        QVERIFY(compareWithGolden("design-figma-requests.txt", log.join(u'\n') + u'\n'));
    }

    // The cache of answers, a long refusal and a server that refuses connections, one after another.
    void cacheAndFailuresWithoutRetry()
    {
        Fixture f;
        serve(f.server, {FakeHttpServer::route("GET", "/v1/files/K", {FakeHttpServer::json(200, QJsonObject{{"v", 1}}),
                                                                       FakeHttpServer::json(200, QJsonObject{{"v", 2}})})});
        // A fresh answer is reused (the imports' transcript shows it). One file per link, named by the
        // SHA-256 of the link (the command line's test finds no token in it).
        QCOMPARE(f.request().value.value_or(QJsonObject()).value("v").toInt(), 1);
        const QByteArray link = f.server.url(QStringLiteral("/v1/files/K?depth=3")).toString().toUtf8();
        QCOMPARE(f.cachePath(), f.home.path() + QStringLiteral("/.cache/com.halvenro.Vantrel/FigmaAPI/") +
                                    QCryptographicHash::hash(link, QCryptographicHash::Sha256).toHex() + QStringLiteral(".json"));
        // An entry older than five minutes, or corrupt, is no entry.
        QFile file(f.cachePath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(QDateTime::currentDateTime().addSecs(-301), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(f.request().value.value_or(QJsonObject()).value("v").toInt(), 2);
        FileWriter::writeAtomically(f.cachePath(), "{not json");
        QCOMPARE(f.request().value.value_or(QJsonObject()).value("v").toInt(), 2);
        QCOMPARE(f.server.requests().size(), 3);

        // A refusal longer than the longest wait fails at once, and holds later requests, which send nothing.
        serve(f.server, {FakeHttpServer::route("GET", "/v1/files/L", {refusal(600, {{"X-Figma-Plan-Tier", "professional"}, {"X-Figma-Rate-Limit-Type", "low"}})})});
        f.progress.clear();
        QCOMPARE(outcomeText(f.request("L")), QStringLiteral("Figma Professional 套餐的 API low额度已耗尽，预计 10 分钟 后恢复。"
                                                             "可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。"));
        QVERIFY(f.progress.isEmpty());
        const QString later = outcomeText(f.request(QStringLiteral("OTHER")));
        QVERIFY2(later.startsWith(QStringLiteral("Figma Professional 套餐")) && (later.contains("预计 9 分钟") || later.contains("预计 10 分钟")),
                 qPrintable(later));
        QCOMPARE(f.server.requests().size(), 4);
        resetThrottle();
        FigmaRequestThrottle::shared().postpone(QDateTime::currentDateTimeUtc().addSecs(121), std::nullopt, std::nullopt);
        QCOMPARE(outcomeText(f.request("L")), QStringLiteral("Figma API 请求过于频繁，请等待约 2 分钟 后重试"));

        // A refused connection is retried after pauses of one and two units.
        resetThrottle();
        FigmaClient closed(&f.network, FigmaEndpoints(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(freeLocalPort())), QUrl()), fastTimings());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(outcomeText(awaitTask(closed.figmaJSON(closed.endpoints().fileURL("K"), kToken))), QStringLiteral("网络请求失败：未能连接到服务器。"));
        QCOMPARE_GE(clock.elapsed(), 3 * 150);
    }

    void throttle()
    {
        FigmaRequestThrottle &throttle = FigmaRequestThrottle::shared();
        QElapsedTimer clock;
        const auto turn = [&] { return awaitTask(throttle.waitForTurn()).succeeded() ? clock.elapsed() : -1; };
        // The first goes at once; the next two arrive during the spacing and wake together, instead of
        // one after the other; never early.
        resetThrottle(300ms);
        clock.start();
        QList<qint64> times;
        for (const auto start : {0ms, 50ms, 100ms})
            QTimer::singleShot(start, [&] { throttle.waitForTurn().then([&] { times << clock.elapsed(); }); });
        QTRY_COMPARE_WITH_TIMEOUT(times.size(), 3, 10000);
        const QString text = QStringLiteral("%1 %2 %3").arg(times[0]).arg(times[1]).arg(times[2]);
        QVERIFY2(times[0] < 250 && times[1] - times[0] >= 300 && times[2] - times[0] >= 300, qPrintable(text));
        QVERIFY2(std::abs(times[2] - times[1]) < 200, qPrintable(text));

        // Of two refusals the later end holds.
        resetThrottle();
        clock.restart();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        throttle.postpone(now.addMSecs(700), QStringLiteral("pro"), std::nullopt);
        throttle.postpone(now.addMSecs(200), std::nullopt, std::nullopt);
        QCOMPARE_GE(turn(), 650);
        // A refusal that comes while a caller sleeps out the spacing holds that caller too.
        resetThrottle(300ms);
        turn();
        clock.restart();
        QTimer::singleShot(100, [&throttle] { throttle.postpone(QDateTime::currentDateTimeUtc().addMSecs(1000), std::nullopt, std::nullopt); });
        QCOMPARE_GE(turn(), 1000);
    }

    // Whole imports against the scripted API, one after another: what each gives, what it asks for
    // (the token goes to the API only, never to the image host) and the progress it tells.
    void imports()
    {
        Fixture f;
        QStringList log;
        qsizetype seen = 0;
        const auto record = [&](const QString &title, const TaskOutcome<ImportedDesign> &outcome) {
            log << QStringLiteral("# ") + title << designLines(outcome) << requestLines(f.server, seen) << f.progress;
            seen = f.server.requests().size();
            f.progress.clear();
        };
        const auto importURL = [&](const QString &link) {
            record(link, awaitTask(f.importer.importURL(link, kToken, std::nullopt, f.tell)));
        };
        f.script("1:2", figmaNode("1:2", "FRAME", box(100, 300, 375, 812), {textNode("1:3", 120, 340)}, "登录"));
        importURL("https://www.figma.com/design/KEY/App?node-id=1-2&t=abc"); // positions from the frame's origin
        // The node lacks its box: the size comes from the frame list and positions stay absolute.
        f.script("A", figmaNode("A", "FRAME", QJsonObject{}, {textNode("A:7", 120, 340)}, "首页（节点）"));
        importURL("https://figma.com/file/KEY");
        importURL("https://figma.com/file/KEY"); // again: the API answers come from the cache
        // A chosen frame lists no frames and does not ask for the file.
        f.script("B", figmaNode("B", "FRAME", box(400, 0, 390, 844), {}, "详情节点"), "{base}/render.png", png(780, 1688));
        record("frame B chosen", awaitTask(f.importer.importFigma(FigmaReference{"KEY", std::nullopt}, kToken, QStringLiteral("B"))));
        // Neither a box nor a listed frame: the canvas is the rendering's size; no name: the default.
        f.script("Z", QJsonObject{{"id", "Z"}, {"type", "FRAME"}}, "{base}/render.png", png(30, 20));
        record("node Z", awaitTask(f.importer.importFigma(FigmaReference{"KEY", QStringLiteral("Z")}, kToken)));

        const QJsonObject frame = figmaNode("1:2", "FRAME", box(0, 0, 10, 10), {}, "登录");
        const QString withNode = QStringLiteral("https://www.figma.com/design/KEY?node-id=1-2");
        f.script("1:2", frame, "{base}/render.png", png(2, 2), QJsonObject{{"document", QJsonObject{{"id", "0:0"}, {"children", QJsonArray{}}}}});
        importURL("https://www.figma.com/design/KEY");
        f.script("1:2", frame, "{base}/render.png", png(2, 2), QJsonObject{{"name", "x"}});
        importURL("https://www.figma.com/design/KEY");
        for (const QJsonValue &link : {QJsonValue(QJsonValue::Null), QJsonValue(42)}) {
            f.script("1:2", frame, link);
            importURL(withNode);
        }
        for (const QJsonObject &rendering : {FakeHttpServer::bytes(200, "<html>", "image/png"), FakeHttpServer::text(403, "expired")}) {
            f.script("1:2", frame, "{base}/render.png", rendering);
            importURL(withNode);
        }
        f.script("9:9", frame);
        importURL(withNode);
        QVERIFY(compareWithGolden("design-figma-imports.txt", log.join(u'\n') + u'\n'));
    }
};

QTEST_GUILESS_MAIN(FigmaImportTest)
#include "tst_FigmaImport.moc"

// Links that are not Figma links, against the fake server: link entry, image responses, web pages and
// their preview images, CoDesign hosts, the errors of each step, bodies too large or without end, and
// downloads with their one retry and their time limits.
#include "DesignTestSupport.h"

#include "design/DesignImporter.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

// A response whose body repeats one chunk for ever, optionally announcing a length.
QJsonObject endless(const QString &contentType, std::optional<qint64> announced = std::nullopt, int delayMs = 0)
{
    QJsonObject headers{{"Content-Type", contentType}};
    if (announced)
        headers.insert("Content-Length", QString::number(*announced));
    const QJsonObject chunk{{"data", QString(256 * 1024, u'x')}, {"delayMs", delayMs}};
    return QJsonObject{{"status", 200}, {"headers", headers}, {"chunks", QJsonArray{chunk}}, {"repeatChunks", true}};
}


// A scripted response from its short description in web-imports.json: an image of a size, one
// claiming a size, some bytes, an endless body, a page, or a page naming its preview image.
QJsonObject response(const QJsonObject &d)
{
    const QString type = d["type"].toString(QStringLiteral("image/png"));
    const auto size = [&](const char *key, int i) { return d[key][i].toInt(); };
    QJsonObject r = FakeHttpServer::text(200, d["html"].toString(QStringLiteral("<meta content=\"%1\" property=\"og:image\">").arg(d["preview"].toString())),
                                         QStringLiteral("text/html; charset=utf-8"));
    if (d.contains("png"))
        r = png(size("png", 0), size("png", 1), type);
    else if (d.contains("claiming"))
        r = FakeHttpServer::bytes(200, pngClaiming(size("claiming", 0), size("claiming", 1)), type);
    else if (d.contains("bytes"))
        r = FakeHttpServer::bytes(200, d["bytes"].toString().toUtf8(), type);
    else if (d.contains("endless"))
        r = endless(d["endless"].toString(), d.contains("announced") ? std::optional(d["announced"].toInteger()) : std::nullopt);
    return d.contains("delayMs") ? delayed(r, d["delayMs"].toInt()) : r;
}

} // namespace

class WebImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanup() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    // Each link against its scripted routes: the outcome and the requests with their Accept header
    // (a page is a plain fetch, its preview an image), against the expected transcript. The fake
    // server is the Figma web base too, so "/design/KEY" is a Figma link.
    void imports()
    {
        QStringList log;
        for (const QJsonValue &row : designData(QStringLiteral("web-imports.json"))["imports"].toArray()) {
            resetThrottle();
            TemporaryHome home;
            FakeHttpServer server;
            QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
            // Absolute paths are other hosts, reached through the fake server as an HTTP proxy.
            QJsonArray routes;
            const QJsonObject described = row["routes"].toObject();
            for (auto it = described.begin(); it != described.end(); ++it)
                routes << FakeHttpServer::route("GET", it.key(), {response(it->toObject())}, it.key().startsWith("http") ? "prefix" : "exact");
            serve(server, routes);
            QString link = row["link"].toString();
            QNetworkProxy::setApplicationProxy(link.contains(QStringLiteral(".example"))
                                                   ? QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port())
                                                   : QNetworkProxy(QNetworkProxy::NoProxy));
            const QString base = server.baseUrl().toString();
            link.replace(QStringLiteral("{base}"), base).replace(QStringLiteral("{closed}"), QString::number(freeLocalPort()));
            DesignImporter importer(FigmaEndpoints(server.baseUrl(), server.baseUrl()), fastTimings());
            const TaskOutcome<ImportedDesign> outcome = awaitTask(importer.importURL(link, row["token"].toString()));
            log << QStringLiteral("# %1: ").arg(row["name"].toString()) + outcomeText(outcome).replace(base, "{base}");
            log << requestLines(server);
        }
        QVERIFY(compareWithGolden("design-web-imports.txt", log.join(u'\n') + u'\n'));
    }

    // A download with its one retry, its time-out and its deadline: the outcome, the requests, and
    // the least time it took.
    void downloads()
    {
        const QJsonObject cut = cutOff("image/png", "\x89PNG");
        const QJsonObject slow = delayed(png(1, 1), 20000);
        struct Row {
            const char *name;
            QJsonArray responses; // none: a port nothing listens on
            QString expected;
            int requests;
            int atLeastMs; // time-out 500 ms, pause before the retry 400 ms, deadline 1200 ms
        };
        const QList<Row> rows{
            {"cut off, then whole", {cut, png(9, 9)}, "9x9", 2, 400},
            {"timed out, then whole", {slow, png(2, 2)}, "2x2", 2, 900 * 9 / 10},
            {"timed out twice", {slow}, "网络请求失败：请求超时。", 2, 1400 * 9 / 10},
            {"status is no brief failure", {FakeHttpServer::text(503, "busy"), png(1, 1)}, "下载失败，HTTP 状态码 503", 1, 0},
            {"trickles past the deadline", {endless("image/png", {}, 100)}, "网络请求失败：请求超时。", 2, 2 * 1200 * 9 / 10},
            {"refused twice", {}, "网络请求失败：未能连接到服务器。", 0, 400},
        };
        DesignImportTimings timings = fastTimings();
        timings.downloadTimeout = 500ms;
        timings.requestDeadline = 1200ms;
        for (const Row &row : rows) {
            FakeHttpServer server;
            QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
            serve(server, {FakeHttpServer::route("GET", "/d.png", row.responses)});
            DesignImporter importer(FigmaEndpoints(), timings);
            const QUrl link = row.responses.isEmpty() ? QUrl(QStringLiteral("http://127.0.0.1:%1/d.png").arg(freeLocalPort())) : server.url("/d.png");
            QElapsedTimer clock;
            clock.start();
            const TaskOutcome<QByteArray> outcome = awaitTask(importer.download(link));
            const qint64 elapsed = clock.elapsed();
            const std::optional<QImage> image = outcome.value ? DesignImporter::decodeImage(*outcome.value) : std::nullopt;
            QCOMPARE(image ? QStringLiteral("%1x%2").arg(image->width()).arg(image->height()) : outcomeText(outcome), row.expected);
            QCOMPARE(server.requests().size(), row.requests);
            QVERIFY2(elapsed >= row.atLeastMs && elapsed < 15000, qPrintable(QStringLiteral("%1: %2 ms").arg(row.name).arg(elapsed)));
        }
    }
};

QTEST_GUILESS_MAIN(WebImportTest)
#include "tst_WebImport.moc"

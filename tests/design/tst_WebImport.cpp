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

QJsonObject html(const QString &text)
{
    return FakeHttpServer::text(200, text, QStringLiteral("text/html; charset=utf-8"));
}

QJsonObject route(const QString &path, const QJsonObject &response, const QString &match = QStringLiteral("exact"))
{
    return FakeHttpServer::route("GET", path, {response}, match);
}

QJsonObject pageWithPreview(const QString &link)
{
    return html(QStringLiteral("<meta content=\"%1\" property=\"og:image\">").arg(link));
}

// A response whose body repeats one chunk for ever, optionally announcing a length.
QJsonObject endless(const QString &contentType, std::optional<qint64> announced = std::nullopt, int delayMs = 0)
{
    QJsonObject headers{{"Content-Type", contentType}};
    if (announced)
        headers.insert("Content-Length", QString::number(*announced));
    const QJsonObject chunk{{"data", QString(256 * 1024, u'x')}, {"delayMs", delayMs}};
    return QJsonObject{{"status", 200}, {"headers", headers}, {"chunks", QJsonArray{chunk}}, {"repeatChunks", true}};
}


} // namespace

class WebImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanup() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    // Each link against its scripted routes: the outcome and the requests with their Accept header
    // (a page is a plain fetch, its preview an image), against the expected transcript.
    void imports()
    {
        struct Row {
            const char *name;
            QJsonArray routes;
            QString link; // "{base}": the server; "{closed}": a port nothing listens on
            QString token = {};
        };
        const QList<Row> rows{
            {"bad link 1", {}, ""},
            {"bad link 2", {}, "   \n"},
            {"bad link 3", {}, "http://exa mple.com/x.png"},
            {"bad link 4", {}, "http://[::1"},
            {"image, trimmed", {route("/img/home.dark.png", png(40, 30))}, " {base}/img/home.dark.png\r\n"},
            {"capitalised type, no path", {route("/", png(8, 9, "IMAGE/PNG"))}, "{base}"},
            {"image type that does not decode", {route("/b.png", FakeHttpServer::bytes(200, "not an image", "image/png"))}, "{base}/b.png"},
            {"image too large to decode", {route("/huge.png", FakeHttpServer::bytes(200, pngClaiming(20000, 20000), "image/png"))}, "{base}/huge.png"},
            {"status", {}, "{base}/gone.png"},
            // The fake server is the Figma web base too, so "/design/KEY" is a Figma link.
            {"Figma link without token", {}, "{base}/design/KEY?node-id=1-2"},
            {"blank token is a token", {}, "{base}/design/KEY?node-id=1-2", " "},
            {"marker without key", {route("/design/", png(5, 5))}, "{base}/design/"},
            {"page", {route("/deep/a/b/page.html", pageWithPreview("../c.png")), route("/deep/a/c.png", png(60, 120, "application/octet-stream"))},
             "{base}/deep/a/b/page.html?ref=x"},
            {"preview with entities", {route("/page", pageWithPreview("/media/cover.png?w=1&amp;h=2")), route("/media/cover.png", png(3, 4))}, "{base}/page"},
            {"page without preview", {route("/p.html", html("<p>none</p>"))}, "{base}/p.html"},
            {"preview refused", {route("/p.html", pageWithPreview("/m.png"))}, "{base}/p.html"},
            {"preview not an image", {route("/p.html", pageWithPreview("/b.png")), route("/b.png", FakeHttpServer::bytes(200, "GIF89?", "image/png"))},
             "{base}/p.html"},
            {"preview empty", {route("/p.html", pageWithPreview("/e.png")), route("/e.png", FakeHttpServer::bytes(200, "", "image/png"))}, "{base}/p.html"},
            // Other hosts go through the fake server as an HTTP proxy, which sees absolute links.
            {"share page elsewhere", {route("http://other.example/s/abc", pageWithPreview("http://cdn.example/c.png"), "prefix"),
                                      route("http://cdn.example/c.png", png(11, 22), "prefix")}, "http://other.example/s/abc"},
            {"CoDesign share page", {route("http://share.codesign.example/s/abc", pageWithPreview("http://cdn.example/c.png"), "prefix"),
                                     route("http://cdn.example/c.png", png(11, 22), "prefix")}, "http://share.CoDesign.example/s/abc"},
            {"CoDesign image", {route("http://codesign.example/img/d.png", png(7, 7), "prefix")}, "http://codesign.example/img/d.png"},
            // The first fetch's transport errors come unwrapped and are not retried.
            {"refused", {}, "http://127.0.0.1:{closed}/x.png"},
            {"no answer", {route("/stuck", delayed(png(1, 1), 30000))}, "{base}/stuck"},
            {"no host", {}, "just-text"},
            {"not HTTP", {}, "data:image/png;base64," + QString::fromLatin1(pngBytes(6, 5).toBase64())},
            // Bodies are capped while they arrive.
            {"endless image", {route("/x", endless("image/png"))}, "{base}/x"},
            {"endless page", {route("/x", endless("text/html"))}, "{base}/x"},
            {"announces 3 GB", {route("/x", endless("image/png", qint64(3) << 30))}, "{base}/x"},
        };
        QStringList log;
        for (const Row &row : rows) {
            resetThrottle();
            TemporaryHome home;
            FakeHttpServer server;
            QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
            serve(server, row.routes);
            QNetworkProxy::setApplicationProxy(row.link.contains(QStringLiteral(".example"))
                                                   ? QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port())
                                                   : QNetworkProxy(QNetworkProxy::NoProxy));
            const QString base = server.baseUrl().toString();
            QString link = row.link;
            link.replace(QStringLiteral("{base}"), base).replace(QStringLiteral("{closed}"), QString::number(freeLocalPort()));
            DesignImporter importer(FigmaEndpoints(server.baseUrl(), server.baseUrl()), fastTimings());
            log << QStringLiteral("# %1: ").arg(row.name) + outcomeText(awaitTask(importer.importURL(link, row.token))).replace(base, "{base}");
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
            TemporaryHome home;
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

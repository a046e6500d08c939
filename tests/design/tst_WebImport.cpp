// Links that are not Figma links, against the fake server: link entry, image responses, web pages and
// their preview images, CoDesign hosts, the errors of each step, bodies too large or without end, and
// downloads with their one retry and their time limits.
#include "DesignTestSupport.h"

#include "design/DesignImporter.h"
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
    QJsonObject headers{{"Content-Type", contentType}, {"Connection", "close"}};
    if (announced)
        headers.insert("Content-Length", QString::number(*announced));
    const QJsonObject chunk{{"data", QString(256 * 1024, u'x')}, {"delayMs", delayMs}};
    return QJsonObject{{"status", 200}, {"headers", headers}, {"chunks", QJsonArray{chunk}}, {"repeatChunks", true}};
}

const QString kImageAccept = QStringLiteral("image/*,*/*;q=0.8");
const QString kNoPreview = QStringLiteral("网页中未找到可下载的设计图，请改为上传导出的图片");

} // namespace

class WebImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanup() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    void imports_data()
    {
        QTest::addColumn<QJsonArray>("routes");
        QTest::addColumn<QString>("link"); // "{base}": the server; "{closed}": a port nothing listens on
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("counted"); // requests whose path starts with this...
        QTest::addColumn<int>("count");       // ...number this many
        const auto row = [](const char *name, const QJsonArray &routes, const QString &link, const QString &expected,
                            const QString &counted = QString(), int count = 0, const QString &token = QString()) {
            QTest::newRow(name) << routes << link << token << expected << counted << count;
        };
        const QString badLink = QStringLiteral("链接格式不正确");
        int n = 0;
        for (const char *bad : {"", "   \n", "http://exa mple.com/x.png", "http://[::1"})
            row(qPrintable(QStringLiteral("bad link %1").arg(++n)), {}, QString::fromUtf8(bad), badLink);
        row("image, trimmed", {route("/img/home.dark.png", png(40, 30))}, " {base}/img/home.dark.png\r\n",
            "home.dark 图片链接 40x30 {base}/img/home.dark.png");
        row("capitalised type, no path", {route("/", png(8, 9, "IMAGE/PNG"))}, "{base}", "在线设计稿 图片链接 8x9 {base}");
        row("image type that does not decode", {route("/b.png", FakeHttpServer::bytes(200, "not an image", "image/png"))},
            "{base}/b.png", kNoPreview);
        row("image too large to decode", {route("/huge.png", FakeHttpServer::bytes(200, pngClaiming(20000, 20000), "image/png"))},
            "{base}/huge.png", "设计稿响应无法解析：图片尺寸过大（20000 × 20000 像素），无法安全读取：下载的图片");
        row("status", {}, "{base}/gone.png", "下载失败，HTTP 状态码 404", "/gone.png", 1);
        // The fake server is the Figma web base too, so "/design/KEY" is a Figma link.
        row("Figma link without token", {}, "{base}/design/KEY?node-id=1-2", "请先在设置中填写 Figma 只读 Token", "/", 0);
        row("blank token is a token", {}, "{base}/design/KEY?node-id=1-2", "下载失败，HTTP 状态码 404", "/v1/files/KEY/nodes", 1, " ");
        row("marker without key", {route("/design/", png(5, 5))}, "{base}/design/", "design 图片链接 5x5 {base}/design/");
        row("page", {route("/deep/a/b/page.html", pageWithPreview("../c.png")), route("/deep/a/c.png", png(60, 120, "application/octet-stream"))},
            "{base}/deep/a/b/page.html?ref=x", "page 网页 60x120 {base}/deep/a/b/page.html?ref=x");
        row("page without preview", {route("/p.html", html("<p>none</p>"))}, "{base}/p.html", kNoPreview);
        row("preview refused", {route("/p.html", pageWithPreview("/m.png"))}, "{base}/p.html", "下载失败，HTTP 状态码 404", "/m.png", 1);
        row("preview not an image", {route("/p.html", pageWithPreview("/b.png")), route("/b.png", FakeHttpServer::bytes(200, "GIF89?", "image/png"))},
            "{base}/p.html", "无法读取该图片，请使用 PNG、JPG 或 WebP");
        row("preview empty", {route("/p.html", pageWithPreview("/e.png")), route("/e.png", FakeHttpServer::bytes(200, "", "image/png"))},
            "{base}/p.html", "设计稿响应无法解析：图片响应为空");
        // Other hosts go through the fake server as an HTTP proxy, which sees absolute links.
        row("share page elsewhere", {route("http://other.example/s/abc", pageWithPreview("http://cdn.example/c.png"), "prefix"),
                                     route("http://cdn.example/c.png", png(11, 22), "prefix")},
            "http://other.example/s/abc", "abc 网页 11x22 http://other.example/s/abc");
        row("CoDesign share page", {route("http://share.codesign.example/s/abc", pageWithPreview("http://cdn.example/c.png"), "prefix"),
                                    route("http://cdn.example/c.png", png(11, 22), "prefix")},
            "http://share.CoDesign.example/s/abc", "abc CoDesign 11x22 http://share.codesign.example/s/abc");
        row("CoDesign image", {route("http://codesign.example/img/d.png", png(7, 7), "prefix")}, "http://codesign.example/img/d.png",
            "d CoDesign 7x7 http://codesign.example/img/d.png");
        // The first fetch's transport errors come unwrapped and are not retried.
        row("refused", {}, "http://127.0.0.1:{closed}/x.png", "未能连接到服务器。");
        row("no answer", {route("/stuck", delayed(png(1, 1), 30000))}, "{base}/stuck", "请求超时。", "/stuck", 1);
        row("no host", {}, "just-text", "不支持的链接。");
        row("not HTTP", {}, "data:image/png;base64," + QString::fromLatin1(pngBytes(6, 5).toBase64()), "设计稿响应无法解析：没有 HTTP 响应");
        // Bodies are capped while they arrive.
        row("endless image", {route("/x", endless("image/png"))}, "{base}/x", "设计稿响应无法解析：响应超过 256 MB，已停止接收");
        row("endless page", {route("/x", endless("text/html"))}, "{base}/x", "设计稿响应无法解析：响应超过 64 MB，已停止接收");
        row("announces 3 GB", {route("/x", endless("image/png", qint64(3) << 30))}, "{base}/x", "设计稿响应无法解析：响应超过 256 MB，已停止接收");
    }

    void imports()
    {
        QFETCH(QJsonArray, routes);
        QFETCH(QString, link);
        QFETCH(QString, token);
        QFETCH(QString, expected);
        QFETCH(QString, counted);
        QFETCH(int, count);
        TemporaryHome home;
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        serve(server, routes);
        if (link.contains(QStringLiteral(".example")))
            QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port()));
        const QString base = server.baseUrl().toString();
        link.replace(QStringLiteral("{base}"), base).replace(QStringLiteral("{closed}"), QString::number(freeLocalPort()));
        DesignImporter importer(FigmaEndpoints(server.baseUrl(), server.baseUrl()), fastTimings());
        QCOMPARE(outcomeText(awaitTask(importer.importURL(link, token))), expected.replace(QStringLiteral("{base}"), base));
        if (!counted.isEmpty())
            QCOMPARE(server.requests(counted).size(), count);
    }

    void previewIsDownloadedAsAnImage()
    {
        TemporaryHome home;
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        serve(server, {route("/page", pageWithPreview("/media/cover.png?w=1&amp;h=2")), route("/media/cover.png", png(3, 4))});
        DesignImporter importer(FigmaEndpoints(), fastTimings());
        QVERIFY(awaitTask(importer.importURL(server.url("/page").toString(), QString())).succeeded());
        const QList<QJsonObject> requests = server.requests();
        QCOMPARE(requests.size(), 2);
        // The page is a plain fetch; the preview, with its entities decoded, is fetched as an image.
        QVERIFY(requests[0]["headers"].toObject()["accept"].toString() != kImageAccept);
        QCOMPARE(requests[1]["path"].toString(), QStringLiteral("/media/cover.png?w=1&h=2"));
        QCOMPARE(requests[1]["headers"].toObject()["accept"].toString(), kImageAccept);
    }

    void downloads_data()
    {
        QTest::addColumn<QJsonArray>("responses");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("atLeastMs");
        // Time-out 500 ms, pause before the retry 400 ms, deadline 1200 ms.
        const QJsonObject cut = cutOff("image/png", "\x89PNG");
        const QJsonObject slow = delayed(png(1, 1), 20000);
        QTest::newRow("cut off, then whole") << QJsonArray{cut, png(9, 9)} << "9x9" << 2 << 400;
        QTest::newRow("timed out, then whole") << QJsonArray{slow, png(2, 2)} << "2x2" << 2 << 900 * 9 / 10;
        QTest::newRow("timed out twice") << QJsonArray{slow} << "网络请求失败：请求超时。" << 2 << 1400 * 9 / 10;
        QTest::newRow("status is no brief failure") << QJsonArray{FakeHttpServer::text(503, "busy"), png(1, 1)}
                                                    << "下载失败，HTTP 状态码 503" << 1 << 0;
        QTest::newRow("trickles past the deadline") << QJsonArray{endless("image/png", {}, 100)} << "网络请求失败：请求超时。" << 2
                                                    << 2 * 1200 * 9 / 10;
        QTest::newRow("refused twice") << QJsonArray() << "网络请求失败：未能连接到服务器。" << 0 << 400;
    }

    void downloads()
    {
        QFETCH(QJsonArray, responses);
        QFETCH(QString, expected);
        QFETCH(int, requests);
        QFETCH(int, atLeastMs);
        TemporaryHome home;
        FakeHttpServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        serve(server, {FakeHttpServer::route("GET", "/d.png", responses)});
        DesignImportTimings timings = fastTimings();
        timings.downloadTimeout = 500ms;
        timings.requestDeadline = 1200ms;
        DesignImporter importer(FigmaEndpoints(), timings);
        const QUrl link = responses.isEmpty() ? QUrl(QStringLiteral("http://127.0.0.1:%1/d.png").arg(freeLocalPort())) : server.url("/d.png");
        QElapsedTimer clock;
        clock.start();
        const TaskOutcome<QByteArray> outcome = awaitTask(importer.download(link));
        const qint64 elapsed = clock.elapsed();
        const std::optional<QImage> image = outcome.value ? DesignImporter::decodeImage(*outcome.value) : std::nullopt;
        QCOMPARE(image ? QStringLiteral("%1x%2").arg(image->width()).arg(image->height()) : outcomeText(outcome), expected);
        QCOMPARE(server.requests().size(), requests);
        QVERIFY2(elapsed >= atLeastMs && elapsed < 15000, qPrintable(QString::number(elapsed)));
    }
};

QTEST_GUILESS_MAIN(WebImportTest)
#include "tst_WebImport.moc"

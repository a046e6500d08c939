// Link entry and web fetch: trimming, routing, image responses, web pages and their preview
// images, CoDesign hosts, downloads with their retry, and the errors of each step.
#include "DesignTestSupport.h"

#include "design/DesignImporter.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QJsonObject png(int width, int height, const QString &type = QStringLiteral("image/png"))
{
    return FakeHttpServer::bytes(200, pngBytes(width, height), type);
}

QJsonObject html(const QString &text)
{
    return FakeHttpServer::text(200, text, QStringLiteral("text/html; charset=utf-8"));
}

struct Fixture {
    TemporaryHome home;
    FakeHttpServer server;
    DesignImporter importer;

    explicit Fixture(const QJsonArray &routes, DesignImportTimings timings = fastTimings())
        : server(FakeHttpServer::scenario(routes))
        , importer(FigmaEndpoints(server.baseUrl(), QUrl(FigmaEndpoints::kDefaultWebBase)), timings)
    {
    }

    TaskOutcome<ImportedDesign> importURL(const QString &text, const QString &token = {})
    {
        return awaitTask(importer.importURL(text, token), std::chrono::seconds(60));
    }
    QString url(const QString &path) const { return server.url(path).toString(); }
};

} // namespace

class WebImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanup() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    void directImageLink();
    void imageTypesAndStatuses();
    void linkEntryRejectsAndRoutes();
    void webPagePreviewImage();
    void webPageFailures();
    void codesignHosts();
    void transportErrorsOfTheFirstFetchPassUnchanged();
    void downloadRetriesOnceAfterABriefFailure();
    void downloadGivesUpAfterTwoFailures();
    void downloadOfNonHttpLinks();
};

void WebImportTest::directImageLink()
{
    Fixture f({FakeHttpServer::route("GET", "/img/home.dark.png", {png(40, 30)})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const TaskOutcome<ImportedDesign> outcome = f.importURL(QStringLiteral("  ") + f.url("/img/home.dark.png") + QStringLiteral("\r\n"));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    const ImportedDesign &design = *outcome.value;
    QCOMPARE(design.name, QStringLiteral("home.dark"));
    QCOMPARE(design.source, f.url("/img/home.dark.png"));
    QCOMPARE(design.kind, DesignSourceKind::directURL);
    QCOMPARE(design.canvasSize, (SizeValue{40, 30}));
    QVERIFY(design.isVisualOnly && design.nodes.isEmpty());
    const QList<QJsonObject> requests = f.server.requests();
    QCOMPARE(requests.size(), 1);
    // The first fetch is a plain GET: no image Accept header, no token.
    QVERIFY(requests[0].value("headers").toObject().value("accept").toString() != QStringLiteral("image/*,*/*;q=0.8"));
    QVERIFY(!requests[0].value("headers").toObject().contains("x-figma-token"));
}

void WebImportTest::imageTypesAndStatuses()
{
    Fixture f({FakeHttpServer::route("GET", "/", {png(8, 9, "IMAGE/PNG")}),
               FakeHttpServer::route("GET", "/broken.png", {FakeHttpServer::bytes(200, "not an image at all", "image/png")}),
               FakeHttpServer::route("GET", "/gone.png", {FakeHttpServer::text(404, "missing")})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    // Capitalised type; a link without a path is named by default.
    const TaskOutcome<ImportedDesign> root = f.importURL(f.url(""));
    QVERIFY2(root.succeeded(), qPrintable(root.error.value_or("timed out")));
    QCOMPARE(root.value->name, QStringLiteral("在线设计稿"));
    QCOMPARE(root.value->pixelSize, (SizeValue{8, 9}));

    // An image type whose body does not decode is searched as a page, and has no preview.
    std::optional<DesignImportError> error = importErrorOf(f.importURL(f.url("/broken.png")));
    QVERIFY(error);
    QCOMPARE(error->kind(), DesignImportError::Kind::webpageImageNotFound);

    error = importErrorOf(f.importURL(f.url("/gone.png")));
    QVERIFY(error);
    QCOMPARE(error->errorDescription(), QStringLiteral("下载失败，HTTP 状态码 404"));

    // An image too large to decode safely says so instead of being searched as a page.
    f.server.setScenario(FakeHttpServer::scenario(
        {FakeHttpServer::route("GET", "/huge.png", {FakeHttpServer::bytes(200, pngClaiming(20000, 20000), "image/png")})}));
    error = importErrorOf(f.importURL(f.url("/huge.png")));
    QVERIFY(error);
    QCOMPARE(error->kind(), DesignImportError::Kind::invalidResponse);
    QVERIFY2(error->text().contains(QStringLiteral("20000 × 20000")), qPrintable(error->text()));
}

void WebImportTest::linkEntryRejectsAndRoutes()
{
    TemporaryHome home;
    FakeHttpServer server(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/design/", {png(5, 5)})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    // The web base is the fake server too, so its links are Figma links.
    DesignImporter importer(FigmaEndpoints(server.baseUrl(), server.baseUrl()), fastTimings());

    for (const QString &bad : {QString(), QStringLiteral("   \n"), QStringLiteral("http://exa mple.com/x.png"), QStringLiteral("http://[::1")}) {
        const std::optional<DesignImportError> error = importErrorOf(awaitTask(importer.importURL(bad, QStringLiteral("t"))));
        QVERIFY2(error, qPrintable(bad));
        QCOMPARE(error->errorDescription(), QStringLiteral("链接格式不正确"));
    }
    // A Figma link without a token sends nothing.
    const std::optional<DesignImportError> noToken =
        importErrorOf(awaitTask(importer.importURL(server.url("/design/KEY?node-id=1-2").toString(), QString())));
    QVERIFY(noToken);
    QCOMPARE(noToken->kind(), DesignImportError::Kind::missingFigmaToken);
    QCOMPARE(server.requests().size(), 0);
    // The token is not trimmed: a blank token is a token.
    const TaskOutcome<ImportedDesign> blank = awaitTask(importer.importURL(server.url("/design/KEY?node-id=1-2").toString(), QStringLiteral(" ")));
    QVERIFY(importErrorOf(blank));
    QCOMPARE(server.requests("/v1/files/KEY/nodes").size(), 1);
    QVERIFY(server.requests("/v1/files/KEY/nodes").first().value("headers").toObject().contains("x-figma-token"));
    // The marker without a key is no Figma link: fetched as an ordinary link.
    const TaskOutcome<ImportedDesign> plain = awaitTask(importer.importURL(server.url("/design/").toString(), QString()));
    QVERIFY2(plain.succeeded(), qPrintable(plain.error.value_or("timed out")));
    QCOMPARE(plain.value->kind, DesignSourceKind::directURL);
    QCOMPARE(plain.value->name, QStringLiteral("design"));
}

void WebImportTest::webPagePreviewImage()
{
    Fixture f({FakeHttpServer::route("GET", "/deep/a/b/page.html",
                                     {html("<html><head><meta property=\"og:image\" content=\"/media/cover.png?w=1&amp;h=2\"></head></html>")}),
               FakeHttpServer::route("GET", "/media/cover.png", {png(60, 120, "application/octet-stream")})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const TaskOutcome<ImportedDesign> outcome = f.importURL(f.url("/deep/a/b/page.html?ref=x"));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(outcome.value->kind, DesignSourceKind::webpage);
    QCOMPARE(outcome.value->source, f.url("/deep/a/b/page.html?ref=x"));
    QCOMPARE(outcome.value->name, QStringLiteral("page"));
    QCOMPARE(outcome.value->pixelSize, (SizeValue{60, 120}));
    const QList<QJsonObject> downloads = f.server.requests("/media/");
    QCOMPARE(downloads.size(), 1);
    QCOMPARE(downloads[0].value("path").toString(), QStringLiteral("/media/cover.png?w=1&h=2"));
    QCOMPARE(downloads[0].value("headers").toObject().value("accept").toString(), QStringLiteral("image/*,*/*;q=0.8"));
}

void WebImportTest::webPageFailures()
{
    const QString tag = QStringLiteral("<meta content=\"%1\" property=\"og:image\">");
    Fixture f({FakeHttpServer::route("GET", "/none.html", {html("<p>no preview</p>")}),
               FakeHttpServer::route("GET", "/named.html", {html("<meta name=\"og:image\" content=\"/x.png\">")}),
               FakeHttpServer::route("GET", "/p404.html", {html(tag.arg("/missing.png"))}),
               FakeHttpServer::route("GET", "/pbad.html", {html(tag.arg("/bad.png"))}),
               FakeHttpServer::route("GET", "/pempty.html", {html(tag.arg("/empty.png"))}),
               FakeHttpServer::route("GET", "/bad.png", {FakeHttpServer::bytes(200, "GIF89?", "image/png")}),
               FakeHttpServer::route("GET", "/empty.png", {FakeHttpServer::bytes(200, "", "image/png")}),
               FakeHttpServer::route("GET", "/missing.png", {FakeHttpServer::text(404, "no")})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    auto failure = [&](const char *path) { return importErrorOf(f.importURL(f.url(path))).value().errorDescription(); };
    QCOMPARE(failure("/none.html"), QStringLiteral("网页中未找到可下载的设计图，请改为上传导出的图片"));
    QCOMPARE(failure("/named.html"), QStringLiteral("网页中未找到可下载的设计图，请改为上传导出的图片"));
    QCOMPARE(f.server.requests("/x.png").size(), 0);
    QCOMPARE(failure("/p404.html"), QStringLiteral("下载失败，HTTP 状态码 404"));
    QCOMPARE(f.server.requests("/missing.png").size(), 1); // statuses are not retried
    QCOMPARE(failure("/pbad.html"), QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP"));
    QCOMPARE(failure("/pempty.html"), QStringLiteral("设计稿响应无法解析：图片响应为空"));
}

void WebImportTest::codesignHosts()
{
    // The fake server stands in for every host as an HTTP proxy, which sees absolute links.
    Fixture f({FakeHttpServer::route("GET", "http://share.CoDesign.example/s/abc",
                                     {html("<meta property=\"og:image\" content=\"https://cdn.example/c.png\">")}, "prefix"),
               FakeHttpServer::route("GET", "http://codesign.example/img/d.png", {png(7, 7)}, "prefix"),
               FakeHttpServer::route("GET", "http://other.example/s/abc",
                                     {html("<meta property=\"og:image\" content=\"http://cdn.example/c.png\">")}, "prefix"),
               FakeHttpServer::route("GET", "http://cdn.example/c.png", {png(11, 22)}, "prefix")});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), f.server.port()));

    // A share page: the preview is https, which the proxy cannot tunnel; use the http one below.
    TaskOutcome<ImportedDesign> outcome = f.importURL(QStringLiteral("http://other.example/s/abc"));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(outcome.value->kind, DesignSourceKind::webpage);
    QCOMPARE(outcome.value->pixelSize, (SizeValue{11, 22}));

    f.server.setScenario(FakeHttpServer::scenario(
        {FakeHttpServer::route("GET", "http://share.codesign.example/s/abc",
                               {html("<meta property=\"og:image\" content=\"http://cdn.example/c.png\">")}, "prefix"),
         FakeHttpServer::route("GET", "http://codesign.example/img/d.png", {png(7, 7)}, "prefix"),
         FakeHttpServer::route("GET", "http://cdn.example/c.png", {png(11, 22)}, "prefix")}));
    outcome = f.importURL(QStringLiteral("http://share.CoDesign.example/s/abc"));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(outcome.value->kind, DesignSourceKind::codesign);
    QCOMPARE(outcome.value->source, QStringLiteral("http://share.codesign.example/s/abc"));
    QCOMPARE(outcome.value->name, QStringLiteral("abc"));

    outcome = f.importURL(QStringLiteral("http://codesign.example/img/d.png"));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(outcome.value->kind, DesignSourceKind::codesign);
    QCOMPARE(outcome.value->name, QStringLiteral("d"));
}

void WebImportTest::transportErrorsOfTheFirstFetchPassUnchanged()
{
    TemporaryHome home;
    DesignImporter importer(FigmaEndpoints(), fastTimings());
    const TaskOutcome<ImportedDesign> outcome =
        awaitTask(importer.importURL(QStringLiteral("http://127.0.0.1:%1/x.png").arg(freeLocalPort()), QString()));
    QVERIFY(!importErrorOf(outcome));
    const std::optional<TransportError> error = transportErrorOf(outcome);
    QVERIFY2(error, qPrintable(outcome.error.value_or("no error")));
    QCOMPARE(error->kind(), TransportError::Kind::cannotConnect);
    QCOMPARE(QString::fromUtf8(error->what()), QStringLiteral("未能连接到服务器。"));
    // A page that never answers ends with a time-out, unwrapped and not retried.
    FakeHttpServer server(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/stuck", {delayed(png(1, 1), 30000)})}));
    QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
    const std::optional<TransportError> timedOut =
        transportErrorOf(awaitTask(importer.importURL(server.url("/stuck").toString(), QString())));
    QVERIFY(timedOut);
    QCOMPARE(timedOut->kind(), TransportError::Kind::timedOut);
    QCOMPARE(QString::fromUtf8(timedOut->what()), QStringLiteral("请求超时。"));
    QCOMPARE(server.requests().size(), 1);
    // A link without a host ends with the fetch's own error too.
    const TaskOutcome<ImportedDesign> relative = awaitTask(importer.importURL(QStringLiteral("just-text"), QString()));
    QVERIFY(transportErrorOf(relative));
}

void WebImportTest::downloadRetriesOnceAfterABriefFailure()
{
    const QJsonObject cut{{"status", 200},
                          {"headers", QJsonObject{{"Content-Type", "image/png"}, {"Content-Length", "5000"}}},
                          {"chunks", QJsonArray{QJsonObject{{"data", "\x89PNG"}}}}};
    Fixture f({FakeHttpServer::route("GET", "/flaky.png", {cut, png(9, 9)}),
               FakeHttpServer::route("GET", "/slow.png", {delayed(png(1, 1), 20000), png(2, 2)})});
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QElapsedTimer clock;
    clock.start();
    TaskOutcome<QByteArray> outcome = awaitTask(f.importer.download(f.server.url("/flaky.png")));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(DesignImporter::decodeImage(*outcome.value)->size(), QSize(9, 9));
    QCOMPARE(f.server.requests("/flaky.png").size(), 2);
    const QList<QJsonObject> flaky = f.server.requests("/flaky.png");
    const double gap = flaky[1].value("time").toDouble() - flaky[0].value("time").toDouble();
    QVERIFY2(gap >= 400, qPrintable(QString::number(gap)));

    outcome = awaitTask(f.importer.download(f.server.url("/slow.png")));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QCOMPARE(DesignImporter::decodeImage(*outcome.value)->size(), QSize(2, 2));
    QCOMPARE(f.server.requests("/slow.png").size(), 2);
}

void WebImportTest::downloadGivesUpAfterTwoFailures()
{
    DesignImportTimings timings = fastTimings();
    timings.downloadTimeout = std::chrono::milliseconds(500);
    Fixture f({FakeHttpServer::route("GET", "/slow.png", {delayed(png(1, 1), 20000)}),
               FakeHttpServer::route("GET", "/error.png", {FakeHttpServer::text(503, "busy"), png(1, 1)})}, timings);
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QElapsedTimer clock;
    clock.start();
    std::optional<DesignImportError> error = importErrorOf(awaitTask(f.importer.download(f.server.url("/slow.png"))));
    const qint64 elapsed = clock.elapsed();
    QVERIFY(error);
    QCOMPARE(error->errorDescription(), QStringLiteral("网络请求失败：请求超时。"));
    QCOMPARE(f.server.requests("/slow.png").size(), 2);
    // Two time-outs and the pause between them.
    QVERIFY2(elapsed >= (500 + 400 + 500) * 9 / 10 && elapsed < 15000, qPrintable(QString::number(elapsed)));

    // A bad status is not a brief failure: no second try.
    error = importErrorOf(awaitTask(f.importer.download(f.server.url("/error.png"))));
    QVERIFY(error);
    QCOMPARE(error->statusCode(), 503);
    QCOMPARE(f.server.requests("/error.png").size(), 1);

    // Refused twice.
    clock.restart();
    error = importErrorOf(awaitTask(f.importer.download(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(freeLocalPort())))));
    QVERIFY(error);
    QCOMPARE(error->errorDescription(), QStringLiteral("网络请求失败：未能连接到服务器。"));
    QVERIFY(clock.elapsed() >= 400);
}

void WebImportTest::downloadOfNonHttpLinks()
{
    TemporaryHome home;
    DesignImporter importer(FigmaEndpoints(), fastTimings());
    // A response that is not HTTP is accepted unchecked by the download...
    const QByteArray bytes = pngBytes(6, 5);
    const QUrl data(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64()));
    const TaskOutcome<QByteArray> downloaded = awaitTask(importer.download(data));
    QVERIFY2(downloaded.succeeded(), qPrintable(downloaded.error.value_or("timed out")));
    QCOMPARE(*downloaded.value, bytes);
    // ...but a link's first fetch needs an HTTP response.
    const std::optional<DesignImportError> error = importErrorOf(awaitTask(importer.importURL(data.toString(), QString())));
    QVERIFY(error);
    QCOMPARE(error->errorDescription(), QStringLiteral("设计稿响应无法解析：没有 HTTP 响应"));
}

QTEST_GUILESS_MAIN(WebImportTest)
#include "tst_WebImport.moc"

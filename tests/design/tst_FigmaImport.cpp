// The Figma import against the fake API: target choice, frame list, node request, frame origin
// and size, the rendering and its download, the result's fields, failures and cached re-imports.
#include "DesignTestSupport.h"

#include "design/DesignImporter.h"
#include "design/FigmaCache.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QJsonArray>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

const QString kToken = QStringLiteral("figd_token");

QJsonObject box(double x, double y, double w, double h)
{
    return QJsonObject{{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

QJsonObject frameNode(const QString &id, const QString &name, const QJsonObject &bounds, const QJsonArray &children = {})
{
    QJsonObject node{{"id", id}, {"name", name}, {"type", "FRAME"}, {"children", children}};
    if (!bounds.isEmpty())
        node.insert("absoluteBoundingBox", bounds);
    return node;
}

QJsonObject textNode(const QString &id, double x, double y)
{
    return QJsonObject{{"id", id}, {"name", "标题"}, {"type", "TEXT"}, {"characters", "欢迎"},
                       {"absoluteBoundingBox", box(x, y, 80, 24)},
                       {"fills", QJsonArray{QJsonObject{{"type", "SOLID"}, {"color", QJsonObject{{"r", 0}, {"g", 0}, {"b", 0}}}}}},
                       {"style", QJsonObject{{"fontSize", 20}}}};
}

// The file's frame list: page 1 holds A (with a nested component) then B; page 2 holds C.
QJsonObject fileResponse()
{
    const QJsonObject nested{{"id", "A:1"}, {"name", "卡片"}, {"type", "COMPONENT"}, {"absoluteBoundingBox", box(10, 10, 100, 60)}};
    return QJsonObject{{"name", "App"},
                       {"document", QJsonObject{{"id", "0:0"}, {"type", "DOCUMENT"}, {"children", QJsonArray{
                           QJsonObject{{"id", "0:1"}, {"type", "CANVAS"}, {"children", QJsonArray{
                               frameNode("A", "首页", box(0, 0, 375, 812), {nested}), frameNode("B", "详情", box(400, 0, 390, 844))}}},
                           QJsonObject{{"id", "0:2"}, {"type", "CANVAS"}, {"children", QJsonArray{frameNode("C", "设置", box(0, 0, 10, 10))}}}}}}}};
}

QJsonObject nodesResponse(const QString &id, const QJsonObject &document)
{
    return QJsonObject{{"name", "App"}, {"nodes", QJsonObject{{id, QJsonObject{{"document", document}}}}}};
}

QJsonObject imagesResponse(const QString &id, const QJsonValue &link)
{
    return QJsonObject{{"err", QJsonValue::Null}, {"images", QJsonObject{{id, link}}}};
}

struct Fixture {
    TemporaryHome home;
    FakeHttpServer server;
    DesignImporter importer;
    QStringList progress;

    Fixture()
        : importer(FigmaEndpoints(server.baseUrl(), QUrl(FigmaEndpoints::kDefaultWebBase)), fastTimings())
    {
    }

    // Scripts the three API answers and the rendering.
    void script(const QString &id, const QJsonObject &document, const QJsonValue &renderLink,
                const QJsonObject &rendering = FakeHttpServer::bytes(200, pngBytes(750, 1624), "image/png"),
                const QJsonObject &file = fileResponse())
    {
        // A new script starts without the cached answers of the last one.
        QDir(FigmaCache::directory()).removeRecursively();
        server.setScenario(FakeHttpServer::scenario({
            FakeHttpServer::route("GET", "/v1/files/KEY", {FakeHttpServer::json(200, file)}),
            FakeHttpServer::route("GET", "/v1/files/KEY/nodes", {FakeHttpServer::json(200, nodesResponse(id, document))}),
            FakeHttpServer::route("GET", "/v1/images/KEY", {FakeHttpServer::json(200, imagesResponse(id, renderLink))}),
            FakeHttpServer::route("GET", "/render/frame.png", {rendering}),
        }));
    }
    QString renderLink() const { return server.url("/render/frame.png").toString(); }

    TaskOutcome<ImportedDesign> importURL(const QString &link)
    {
        return awaitTask(importer.importURL(link, kToken, std::nullopt, [this](const QString &t) { progress << t; }));
    }
};

} // namespace

class FigmaImportTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(); }
    void cleanupTestCase() { FigmaRequestThrottle::shared().reset(); }

    void linkWithNode();
    void linkWithoutNodeTakesTheFirstFrame();
    void frameSwitchListsNoFrames();
    void failures();
    void reimportUsesTheCache();
};

void FigmaImportTest::linkWithNode()
{
    Fixture f;
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    QJsonObject line{{"id", "1:9"}, {"type", "LINE"}, {"absoluteBoundingBox", box(100, 500, 375, 0)}};
    const QJsonObject frame = frameNode("1:2", "登录", box(100, 300, 375, 812), {textNode("1:3", 120, 340), line});
    f.script("1:2", frame, f.renderLink());
    const TaskOutcome<ImportedDesign> outcome = f.importURL("https://www.figma.com/design/KEY/App?node-id=1-2&t=abc");
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    const ImportedDesign &design = *outcome.value;

    QCOMPARE(design.kind, DesignSourceKind::figma);
    QCOMPARE(design.name, QStringLiteral("登录"));
    QCOMPARE(design.source, QStringLiteral("https://www.figma.com/design/KEY?node-id=1-2"));
    QCOMPARE(design.selectedFrameID, std::optional<QString>("1:2"));
    QVERIFY(design.availableFrames.isEmpty());
    QCOMPARE(design.pixelSize, (SizeValue{750, 1624}));
    QCOMPARE(design.canvasSize, (SizeValue{375, 812}));
    QVERIFY(!design.isVisualOnly);
    QCOMPARE(design.nodes.size(), 2);
    QCOMPARE(design.nodes[0].rect.x, 0.0);
    QCOMPARE(design.nodes[1].rect.x, 20.0);
    QCOMPARE(design.nodes[1].rect.y, 40.0);
    QCOMPARE(design.nodes[1].text, std::optional<QString>("欢迎"));
    QCOMPARE(design.nodes[1].fillHex, std::optional<QString>("#000000"));
    QCOMPARE(design.nodes[1].fontSize, std::optional<double>(20));

    const QList<QJsonObject> requests = f.server.requests();
    QStringList paths;
    for (const QJsonObject &request : requests)
        paths << request.value("path").toString();
    QCOMPARE(paths, (QStringList{"/v1/files/KEY/nodes?ids=1:2", "/v1/images/KEY?ids=1:2&format=png&scale=2", "/render/frame.png"}));
    // The token goes to the API only, never to the image host.
    QCOMPARE(requests[0].value("headers").toObject().value("x-figma-token").toString(), kToken);
    QCOMPARE(requests[1].value("headers").toObject().value("x-figma-token").toString(), kToken);
    QVERIFY(!requests[2].value("headers").toObject().contains("x-figma-token"));
    QCOMPARE(requests[2].value("headers").toObject().value("accept").toString(), QStringLiteral("image/*,*/*;q=0.8"));
    QVERIFY(f.progress.isEmpty());
}

void FigmaImportTest::linkWithoutNodeTakesTheFirstFrame()
{
    Fixture f;
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    // The node response lacks the frame's box: the size comes from the frame list and
    // positions stay absolute.
    QJsonObject document = frameNode("A", "首页（节点）", QJsonObject{}, {textNode("A:7", 120, 340)});
    f.script("A", document, f.renderLink());
    const TaskOutcome<ImportedDesign> outcome = f.importURL("https://figma.com/file/KEY");
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    const ImportedDesign &design = *outcome.value;
    QCOMPARE(design.selectedFrameID, std::optional<QString>("A"));
    QCOMPARE(design.name, QStringLiteral("首页"));
    QCOMPARE(design.availableFrames.size(), 4);
    QCOMPARE(design.availableFrames[0], (DesignFrameOption{"A", "首页", SizeValue{375, 812}}));
    QCOMPARE(design.availableFrames[1].id, QStringLiteral("A:1"));
    QCOMPARE(design.availableFrames[2].id, QStringLiteral("B"));
    QCOMPARE(design.availableFrames[3].id, QStringLiteral("C"));
    QCOMPARE(design.canvasSize, (SizeValue{375, 812}));
    QCOMPARE(design.nodes.size(), 1);
    QCOMPARE(design.nodes[0].rect.x, 120.0);
    QCOMPARE(design.nodes[0].rect.y, 340.0);
    QCOMPARE(f.server.requests().first().value("path").toString(), QStringLiteral("/v1/files/KEY?depth=3"));
    QCOMPARE(f.server.requests("/v1/files/KEY/nodes").first().value("path").toString(), QStringLiteral("/v1/files/KEY/nodes?ids=A"));
}

void FigmaImportTest::frameSwitchListsNoFrames()
{
    Fixture f;
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    f.script("B", frameNode("B", "详情节点", box(400, 0, 390, 844)), f.renderLink(),
             FakeHttpServer::bytes(200, pngBytes(780, 1688), "image/png"));
    const TaskOutcome<ImportedDesign> outcome = awaitTask(
        f.importer.importFigma(FigmaReference{"KEY", std::nullopt}, kToken, QStringLiteral("B")));
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or("timed out")));
    QVERIFY(outcome.value->availableFrames.isEmpty());
    QCOMPARE(outcome.value->selectedFrameID, std::optional<QString>("B"));
    QCOMPARE(outcome.value->name, QStringLiteral("详情节点"));
    QCOMPARE(outcome.value->canvasSize, (SizeValue{390, 844}));
    QCOMPARE(outcome.value->source, QStringLiteral("https://www.figma.com/design/KEY?node-id=B"));
    QCOMPARE(f.server.requests("/v1/files/KEY?").size(), 0);

    // Neither a box nor a listed frame: the canvas is the rendering's size; no name: the default.
    QJsonObject bare{{"id", "Z"}, {"type", "FRAME"}};
    f.script("Z", bare, f.renderLink(), FakeHttpServer::bytes(200, pngBytes(30, 20), "image/png"));
    const TaskOutcome<ImportedDesign> plain =
        awaitTask(f.importer.importFigma(FigmaReference{"KEY", QStringLiteral("Z")}, kToken));
    QVERIFY2(plain.succeeded(), qPrintable(plain.error.value_or("timed out")));
    QCOMPARE(plain.value->canvasSize, (SizeValue{30, 20}));
    QCOMPARE(plain.value->name, QStringLiteral("Figma 画板"));
    QVERIFY(plain.value->nodes.isEmpty());
}

void FigmaImportTest::failures()
{
    Fixture f;
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    const QJsonObject frame = frameNode("1:2", "登录", box(0, 0, 10, 10));
    auto failure = [&](const QString &link) {
        const std::optional<DesignImportError> error = importErrorOf(f.importURL(link));
        return error ? error->errorDescription() : QStringLiteral("(no import error)");
    };
    const QString withNode = QStringLiteral("https://www.figma.com/design/KEY?node-id=1-2");

    // A file without frames.
    f.script("1:2", frame, f.renderLink(), FakeHttpServer::bytes(200, pngBytes(2, 2), "image/png"),
             QJsonObject{{"document", QJsonObject{{"id", "0:0"}, {"children", QJsonArray{}}}}});
    QCOMPARE(failure("https://www.figma.com/design/KEY"), QStringLiteral("Figma 链接中未找到可导出的画板"));
    QCOMPARE(f.server.requests("/v1/files/KEY/nodes").size(), 0);
    // A file response without a document.
    f.script("1:2", frame, f.renderLink(), FakeHttpServer::bytes(200, pngBytes(2, 2), "image/png"), QJsonObject{{"name", "x"}});
    QCOMPARE(failure("https://www.figma.com/design/KEY"), QStringLiteral("设计稿响应无法解析：缺少 document"));
    // The node response does not hold the target.
    f.script("9:9", frame, f.renderLink());
    QCOMPARE(failure(withNode), QStringLiteral("Figma 链接中未找到可导出的画板"));
    // No rendering for the target (null entry, or not a link).
    f.script("1:2", frame, QJsonValue::Null);
    QCOMPARE(failure(withNode), QStringLiteral("设计稿响应无法解析：Figma 未返回画板图片"));
    f.script("1:2", frame, 42);
    QCOMPARE(failure(withNode), QStringLiteral("设计稿响应无法解析：Figma 未返回画板图片"));
    // A rendering that does not decode, or is refused.
    f.script("1:2", frame, f.renderLink(), FakeHttpServer::bytes(200, "<html>", "image/png"));
    QCOMPARE(failure(withNode), QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP"));
    f.script("1:2", frame, f.renderLink(), FakeHttpServer::text(403, "expired"));
    QCOMPARE(failure(withNode), QStringLiteral("下载失败，HTTP 状态码 403"));
}

void FigmaImportTest::reimportUsesTheCache()
{
    Fixture f;
    QVERIFY2(f.server.isRunning(), qPrintable(f.server.errorString()));
    f.script("A", frameNode("A", "首页", box(0, 0, 375, 812)), f.renderLink());
    const TaskOutcome<ImportedDesign> first = f.importURL("https://www.figma.com/design/KEY/App");
    QVERIFY2(first.succeeded(), qPrintable(first.error.value_or("timed out")));
    QCOMPARE(f.server.requests().size(), 4);
    const TaskOutcome<ImportedDesign> second = f.importURL("https://www.figma.com/design/KEY/App");
    QVERIFY2(second.succeeded(), qPrintable(second.error.value_or("timed out")));
    // Only the rendering is fetched again; the three API answers come from the cache.
    QCOMPARE(f.server.requests().size(), 5);
    QCOMPARE(f.server.requests().last().value("path").toString(), QStringLiteral("/render/frame.png"));
    QCOMPARE(f.progress, QStringList(3, QStringLiteral("正在使用最近获取的 Figma 数据…")));
    QCOMPARE(second.value->availableFrames, first.value->availableFrames);
    QCOMPARE(second.value->nodes.size(), first.value->nodes.size());
}

QTEST_GUILESS_MAIN(FigmaImportTest)
#include "tst_FigmaImport.moc"

// The rules of design import that need no server: Figma links and request addresses, the wait after
// a refusal and how it is told, the parse-failure excerpt, Figma nodes, frames and colours, web page
// preview images and page encodings, design.json documents, and pauses.
#include "DesignTestSupport.h"

#include "design/DesignDocument.h"
#include "design/FigmaClient.h"
#include "design/FigmaEndpoints.h"
#include "design/FigmaNodes.h"
#include "design/HttpExchange.h"
#include "engine/PreciseSleep.h"
#include "design/WebPagePreview.h"
#include "engine/FileWriter.h"

#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

QJsonObject solid(double r, double g, double b, std::optional<double> opacity = std::nullopt, std::optional<bool> visible = std::nullopt)
{
    QJsonObject paint{{"type", "SOLID"}, {"color", QJsonObject{{"r", r}, {"g", g}, {"b", b}, {"a", 0.1}}}};
    if (opacity)
        paint.insert("opacity", *opacity);
    if (visible)
        paint.insert("visible", *visible);
    return paint;
}

QStringList flattened(const QJsonObject &root, QPointF origin = {})
{
    QList<DesignNode> nodes;
    FigmaNodes::flattenFigmaNode(root, origin, nodes);
    QStringList ids;
    for (const DesignNode &n : nodes)
        ids << n.id;
    return ids;
}

} // namespace

class DesignRulesTest : public QObject {
    Q_OBJECT
private slots:
    void figmaLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("reference"); // "KEY NODE"; empty: not a Figma link
        QTest::newRow("capitals") << "https://FIGMA.com/PROTO/KeyZ" << "KeyZ ";
        QTest::newRow("empty node") << "https://www.figma.com/Design/k1/x?node-id=" << "k1 ";
        QTest::newRow("first node wins") << "https://www.figma.com/board/k2?a=b&node-id=1-2-3&node-id=9-9" << "k2 1:2:3";
        QTest::newRow("case of the key") << "https://www.figma.com/file/k3/name?Node-Id=5-6" << "k3 ";
        QTest::newRow("first marker wins") << "https://www.figma.com/team/file/KEY/design/OTHER" << "KEY ";
        QTest::newRow("instance") << "https://www.figma.com/design/AbC123?node-id=I12-34;5-6" << "AbC123 I12:34;5:6";
        QTest::newRow("recent files") << "https://www.figma.com/files/recent" << "";
        QTest::newRow("no key") << "https://www.figma.com/design/" << "";
        QTest::newRow("other host") << "https://example.com/design/AbC123" << "";
        QTest::newRow("no host") << "/design/AbC123" << "";
    }

    void figmaLinks()
    {
        QFETCH(QString, link);
        const auto reference = FigmaEndpoints().parseFigmaReference(QUrl(link));
        QTEST(reference ? reference->fileKey + u' ' + reference->nodeID.value_or(QString()) : QString(), "reference");
    }

    void requestAddresses()
    {
        const FigmaEndpoints endpoints;
        QCOMPARE(endpoints.designLink(QStringLiteral("AbC123"), QStringLiteral("I12:34;5:6")),
                 QStringLiteral("https://www.figma.com/design/AbC123?node-id=I12-34;5-6"));
        // Identifiers stay inside their path segment and query item.
        const QUrl hostile = endpoints.nodesURL(QStringLiteral("a/b?c"), QStringLiteral("1:2&ids=9 x"));
        QCOMPARE(hostile.toString(QUrl::FullyEncoded), QStringLiteral("https://api.figma.com/v1/files/a%2Fb%3Fc/nodes?ids=1:2%26ids=9%20x"));
        QCOMPARE(QUrlQuery(hostile).queryItemValue(QStringLiteral("ids"), QUrl::FullyDecoded), QStringLiteral("1:2&ids=9 x"));
    }

    void retryDelay_data()
    {
        QTest::addColumn<QByteArray>("retryAfter"); // empty: absent
        QTest::addColumn<QByteArray>("reset");      // empty: absent
        QTest::addColumn<int>("attempt");
        QTest::addColumn<int>("seconds");
        // Now is 2026-03-01 12:00:00.400 UTC, 1772366400.4 seconds after the epoch.
        QTest::newRow("zero") << QByteArray("0") << QByteArray() << 0 << 1;
        QTest::newRow("spaced") << QByteArray("  45 \r\n") << QByteArray() << 0 << 45;
        QTest::newRow("plus") << QByteArray("+7") << QByteArray() << 0 << 7;
        QTest::newRow("negative") << QByteArray("-20") << QByteArray() << 0 << 1;
        QTest::newRow("date, fraction dropped") << QByteArray("Sun, 01 Mar 2026 12:01:31 GMT") << QByteArray() << 0 << 90;
        QTest::newRow("past date") << QByteArray("Sun, 01 Mar 2026 11:00:00 GMT") << QByteArray() << 0 << 1;
        QTest::newRow("old date form") << QByteArray("Sunday, 01-Mar-26 12:01:31 GMT") << QByteArray() << 1 << 12;
        QTest::newRow("no such day") << QByteArray("Sun, 31 Feb 2026 12:01:31 GMT") << QByteArray() << 1 << 12;
        QTest::newRow("other zone") << QByteArray("Sun, 01 Mar 2026 12:01:31 PST") << QByteArray() << 1 << 12;
        QTest::newRow("word") << QByteArray("soon") << QByteArray() << 2 << 30;
        QTest::newRow("fraction") << QByteArray("1.5") << QByteArray() << 0 << 5;
        QTest::newRow("reset") << QByteArray() << QByteArray("1772366500") << 0 << 99;
        QTest::newRow("reset with fraction") << QByteArray() << QByteArray("1772366500.9") << 0 << 100;
        QTest::newRow("past reset") << QByteArray() << QByteArray("1600000000") << 0 << 1;
        QTest::newRow("retry-after wins") << QByteArray("3") << QByteArray("1772366500") << 0 << 3;
        QTest::newRow("reset not a number") << QByteArray() << QByteArray("1772366500s") << 3 << 60;
        QTest::newRow("infinite reset") << QByteArray() << QByteArray("inf") << 3 << 60;
        const int table[] = {5, 12, 30, 60, 120, 120};
        for (int attempt = 0; attempt < 6; ++attempt)
            QTest::addRow("attempt %d", attempt) << QByteArray() << QByteArray() << attempt << table[attempt];
        QTest::newRow("negative attempt") << QByteArray() << QByteArray() << -3 << 5;
    }

    void retryDelay()
    {
        QFETCH(QByteArray, retryAfter);
        QFETCH(QByteArray, reset);
        QFETCH(int, attempt);
        HttpResponse response;
        response.status = 429;
        if (!retryAfter.isNull())
            response.headers.append({"retry-after", retryAfter});
        if (!reset.isNull())
            response.headers.append({"x-ratelimit-reset", reset});
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0, 0, 400), Qt::UTC);
        QTEST(int(FigmaClient::figmaRetryDelay(response, attempt, now)), "seconds");
    }

    void rateLimitMessages_data()
    {
        QTest::addColumn<qint64>("seconds"); // -1: unknown
        QTest::addColumn<QString>("tier");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("message");
        const QString shortWait = QStringLiteral("Figma API 请求过于频繁，请等待约 %1 后重试");
        const QString longWait = QStringLiteral("Figma %1 套餐的 API %2额度已耗尽，预计 %3 后恢复。"
                                                "可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。");
        QTest::newRow("unknown") << qint64(-1) << "" << "" << QStringLiteral("Figma API 请求过于频繁，请稍后重试");
        QTest::newRow("59 s") << qint64(59) << "pro" << "" << shortWait.arg("59 秒");
        QTest::newRow("60 s") << qint64(60) << "" << "" << shortWait.arg("1 分钟");
        QTest::newRow("300 s") << qint64(300) << "" << "" << shortWait.arg("5 分钟");
        QTest::newRow("301 s") << qint64(301) << "oRG pLUS" << "low" << longWait.arg("Org Plus", "low", "5 分钟");
        QTest::newRow("3599 s") << qint64(3599) << "professional" << "" << longWait.arg("Professional", "当前", "59 分钟");
        QTest::newRow("3600 s") << qint64(3600) << "" << "" << longWait.arg("当前", "当前", "1 小时 0 分钟");
        QTest::newRow("86399 s") << qint64(86399) << "" << "" << longWait.arg("当前", "当前", "23 小时 59 分钟");
        QTest::newRow("86400 s") << qint64(86400) << "" << "" << longWait.arg("当前", "当前", "1 天 0 小时");
        QTest::newRow("2 d 3 h") << qint64(2 * 86400 + 3 * 3600 + 59) << "" << "" << longWait.arg("当前", "当前", "2 天 3 小时");
    }

    void rateLimitMessages()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, tier);
        QFETCH(QString, type);
        const auto given = [](const QString &text) { return text.isEmpty() ? std::nullopt : std::optional<QString>(text); };
        const DesignImportError error = DesignImportError::figmaRateLimited(seconds < 0 ? std::nullopt : std::optional<qint64>(seconds),
                                                                            given(tier), given(type));
        QTEST(error.errorDescription(), "message");
    }

    void excerptOfUnparsableBodies()
    {
        // 300 bytes of valid UTF-8: exactly the first 240 are kept.
        const QByteArray ascii = QByteArray("{broken ") + QByteArray(292, 'x');
        QCOMPARE(FigmaClient::bodyExcerpt(ascii), QString::fromLatin1(ascii.left(240)));
        // A three-byte character cut at byte 240 counts as not decoding.
        QCOMPARE(FigmaClient::bodyExcerpt(QByteArray(239, 'a') + "\xe4\xb8\xad" + QByteArray(10, 'b')), QStringLiteral("二进制数据"));
        QCOMPARE(FigmaClient::bodyExcerpt(QByteArray(237, 'a') + "\xe4\xb8\xad" + QByteArray(10, 'b')),
                 QString(237, QLatin1Char('a')) + QStringLiteral("中"));
    }

    void flattensNodes()
    {
        // Nodes without an id or with an empty or unreadable box are skipped; their children are still visited.
        QJsonObject noId = figmaNode("x", "FRAME", box(0, 0, 5, 5), {figmaNode("4", "TEXT", box(1, 1, 1, 1))});
        noId.remove("id");
        QJsonObject stringy = figmaNode("8", "TEXT", box(0, 0, 10, 10));
        stringy["absoluteBoundingBox"] = QJsonObject{{"x", 0}, {"y", 0}, {"width", "10"}, {"height", 10}};
        QJsonObject mixed = figmaNode("9", "GROUP", box(0, 0, 2, 2));
        mixed.insert("children", QJsonArray{figmaNode("9a", "TEXT", box(0, 0, 1, 1)), 7}); // not an array of objects: not walked
        const QJsonObject root = figmaNode("1", "FRAME", box(0, 0, 100, 100),
                                      {figmaNode("2", "LINE", box(0, 50, 100, 0), {figmaNode("3", "TEXT", box(1, 2, 3, 4))}), noId,
                                       figmaNode("6", "GROUP", QJsonObject{}, {figmaNode("5", "VECTOR", box(0, 0, 3, 3))}),
                                       figmaNode("7", "RECTANGLE", box(0, 0, -1, 5)), stringy, mixed});
        QCOMPARE(flattened(root), (QStringList{"1", "3", "4", "5", "9"}));
        // Two huge coordinates subtract to infinity: that node goes, its neighbours stay.
        const QJsonObject huge =
            figmaNode("F", "FRAME", box(0, 0, 375, 812), {figmaNode("A", "TEXT", box(1.7e308, 0, 10, 10)), figmaNode("B", "TEXT", box(5, 5, 1, 1))});
        QCOMPARE(flattened(huge, QPointF(-1.7e308, 0)), (QStringList{"F", "B"}));

        QJsonObject full = figmaNode("9", "TEXT", box(10, 20, 30, 40));
        full.insert("characters", "欢迎");
        full.insert("fills", QJsonArray{solid(1, 0, 0)});
        full.insert("strokes", QJsonArray{solid(0, 0, 1, 0.5)});
        full.insert("cornerRadius", 8);
        full.insert("style", QJsonObject{{"fontSize", 17.5}});
        QList<DesignNode> nodes;
        FigmaNodes::flattenFigmaNode(full, QPointF(4, 5), nodes);
        QCOMPARE(QRectF(nodes[0].rect.x, nodes[0].rect.y, nodes[0].rect.width, nodes[0].rect.height), QRectF(6, 15, 30, 40));
        QCOMPARE(nodes[0].text, std::optional<QString>("欢迎"));
        QCOMPARE(nodes[0].fillHex, std::optional<QString>("#FF0000"));
        QCOMPARE(nodes[0].strokeHex, std::optional<QString>("#0000FF7F"));
        QCOMPARE(nodes[0].cornerRadius, std::optional<double>(8));
        QCOMPARE(nodes[0].fontSize, std::optional<double>(17.5));
        const QJsonObject bare{{"id", "b"}, {"absoluteBoundingBox", box(0, 0, 1, 1)}, {"cornerRadius", "8"}, {"style", 3}};
        nodes.clear();
        FigmaNodes::flattenFigmaNode(bare, QPointF(0, 0), nodes);
        QCOMPARE(nodes[0].name, QStringLiteral("未命名"));
        QCOMPARE(nodes[0].type, QStringLiteral("UNKNOWN"));
        QVERIFY(!nodes[0].cornerRadius && !nodes[0].fontSize && !nodes[0].text);
    }

    void collectsFramesDepthFirst()
    {
        QJsonObject unnamed = figmaNode("S", "SECTION", box(0, 0, 10, 20));
        unnamed.remove("name");
        const QJsonObject document = figmaNode("0:0", "DOCUMENT", QJsonObject{}, {
            figmaNode("0:1", "CANVAS", QJsonObject{}, {
                figmaNode("A", "FRAME", box(0, 0, 375, 812), {figmaNode("A1", "COMPONENT", box(0, 0, 100, 50)), figmaNode("T", "TEXT", box(0, 0, 5, 5))}),
                figmaNode("B", "FRAME", box(400, 0, 390, 844)), figmaNode("N", "FRAME", QJsonObject{})}),
            figmaNode("0:2", "CANVAS", QJsonObject{}, {unnamed, figmaNode("I", "INSTANCE", box(0, 0, 1, 1))})});
        QList<DesignFrameOption> frames;
        FigmaNodes::collectFrames(document, frames);
        QCOMPARE(frames, (QList<DesignFrameOption>{{"A", "A-name", SizeValue{375, 812}}, {"A1", "A1-name", SizeValue{100, 50}},
                                                   {"B", "B-name", SizeValue{390, 844}}, {"S", "未命名画板", SizeValue{10, 20}}}));
    }

    void solidColours_data()
    {
        QTest::addColumn<QJsonValue>("paints");
        QTest::addColumn<QString>("hex"); // empty: none
        QTest::newRow("half opaque") << QJsonValue(QJsonArray{solid(1, 0.5, 0, 0.5)}) << "#FF7F007F";
        QTest::newRow("rounds to opaque") << QJsonValue(QJsonArray{solid(1, 0.5, 0, 0.9995)}) << "#FF7F00";
        QTest::newRow("paint alpha ignored") << QJsonValue(QJsonArray{solid(1, 0.5, 0)}) << "#FF7F00";
        QTest::newRow("just below opaque") << QJsonValue(QJsonArray{solid(0.0392, 0.0392, 0.0392, 0.998)}) << "#090909FE";
        QTest::newRow("hidden first") << QJsonValue(QJsonArray{solid(1, 0, 0, std::nullopt, false), solid(0, 0, 1, std::nullopt, true)}) << "#0000FF";
        QTest::newRow("gradient passed over") << QJsonValue(QJsonArray{QJsonObject{{"type", "GRADIENT_LINEAR"}}, solid(0, 1, 0)}) << "#00FF00";
        QTest::newRow("solid without colour ends") << QJsonValue(QJsonArray{QJsonObject{{"type", "SOLID"}}, solid(1, 1, 1)}) << "";
        QTest::newRow("type in lower case") << QJsonValue(QJsonArray{QJsonObject{{"type", "solid"}, {"color", QJsonObject{{"r", 1}}}}}) << "";
        QTest::newRow("not an array") << QJsonValue(QJsonObject{{"type", "SOLID"}}) << "";
        QTest::newRow("not an object") << QJsonValue(QJsonArray{solid(1, 0, 0), "x"}) << "";
        QTest::newRow("missing channels") << QJsonValue(QJsonArray{QJsonObject{{"type", "SOLID"}, {"color", QJsonObject{{"g", 1}}}}}) << "#00FF00";
        QTest::newRow("out of range") << QJsonValue(QJsonArray{solid(1.5, -0.2, 0.999, -1)}) << "#FF00FE00";
    }

    void solidColours()
    {
        QFETCH(QJsonValue, paints);
        QTEST(FigmaNodes::solidColor(paints).value_or(QString()), "hex");
    }

    void previewImage_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("found"); // empty: none
        const QString og = QStringLiteral("<meta property=\"og:image\" content=\"%1\">");
        const QString twitter = QStringLiteral("<meta name=\"twitter:image\" content=\"%1\">");
        QTest::newRow("og:image") << og.arg("https://cdn.example.com/d.png") << "https://cdn.example.com/d.png";
        QTest::newRow("content first") << "<meta content='https://cdn.example.com/e.png' property='og:image' />" << "https://cdn.example.com/e.png";
        QTest::newRow("og wins over an earlier twitter tag") << twitter.arg("https://t.example.com/t.png") + og.arg("https://o.example.com/o.png")
                                                             << "https://o.example.com/o.png";
        QTest::newRow("twitter") << twitter.arg("https://t.example.com/t.png") << "https://t.example.com/t.png";
        QTest::newRow("og:image as a name") << "<meta name=\"og:image\" content=\"https://x.example.com/n.png\">" << "";
        QTest::newRow("capitals and spaces") << "<META PROPERTY = \"OG:IMAGE:SECURE_URL\" CONTENT = \"https://s.example.com/s.png\">"
                                             << "https://s.example.com/s.png";
        QTest::newRow("first in document order") << og.arg("/one.png") + og.arg("/two.png") << "https://share.example.com/one.png";
        QTest::newRow("width is not the image") << "<meta property=\"og:image:width\" content=\"300\">" << "";
        QTest::newRow("relative to the folder") << og.arg("img/x.png") << "https://share.example.com/a/b/c/img/x.png";
        QTest::newRow("scheme-relative") << og.arg("//cdn.example.net/p.png") << "https://cdn.example.net/p.png";
        QTest::newRow("entities once") << og.arg("https://cdn.example.com/i?w=1&amp;h=2&amp;amp;z") << "https://cdn.example.com/i?w=1&h=2&amp;z";
        QTest::newRow("numeric entities") << og.arg("https:&#x2F;&#x2F;cdn.example.com&#x2F;s.png") << "https://cdn.example.com/s.png";
        QTest::newRow("bad link gives way") << og.arg("http://[bad") + twitter.arg("/fallback.png") << "https://share.example.com/fallback.png";
        // A remote page cannot make the importer read a file of this computer.
        QTest::newRow("file link") << og.arg("file:///home/user/secret.png") << "";
        QTest::newRow("data link") << og.arg("data:image/png;base64,AAAA") << "";
        QTest::newRow("file link gives way") << og.arg("file:///etc/x.png") + twitter.arg("https://t.example.com/t") << "https://t.example.com/t";
        // Tags that would make a pattern back-track: 5 MB of attributes, 30 000 unclosed tags.
        QString attributes = QStringLiteral("<html><meta ");
        while (attributes.size() < 5'000'000)
            attributes += QStringLiteral("property='og:image' ");
        QTest::newRow("endless tag") << attributes + QStringLiteral("><meta property=\"og:image\" content=\"/shot.png\">") << "";
        QTest::newRow("unclosed tags") << QStringLiteral("<meta property='og:image' content='x' ").repeated(30'000) << "";
    }

    void previewImage()
    {
        QFETCH(QString, html);
        const auto url = WebPagePreview::openGraphImageURL(html, QUrl(QStringLiteral("https://share.example.com/a/b/c/page.html?x=1")));
        QTEST(url ? url->toString(QUrl::FullyEncoded) : QString(), "found");
    }

    void pageEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("path"); // of the preview image found
        const QString page = QStringLiteral("<title>%1</title><meta property=\"og:image\" content=\"/img/%1.png\">");
        const auto encoded = [](const char *encoding, const QString &text) {
            QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
            return QByteArray(encoder.encode(text));
        };
        QTest::newRow("UTF-8") << page.arg("设计").toUtf8() << QByteArray() << "/img/设计.png";
        QTest::newRow("UTF-16LE") << encoded("UTF-16LE", page.arg("设计")) << QByteArray() << "/img/设计.png";
        QTest::newRow("UTF-16BE") << encoded("UTF-16BE", page.arg("设计")) << QByteArray() << "/img/设计.png";
        QTest::newRow("GBK in the header") << encoded("GBK", page.arg("预览")) << QByteArray("text/html; charset=gbk") << "/img/预览.png";
        QTest::newRow("Big5 in the page") << encoded("Big5", "<meta charset=\"Big5\">" + page.arg("預覽")) << QByteArray("text/html") << "/img/預覽.png";
        QTest::newRow("neither") << QByteArray("\xff\xfe\xc3", 3) << QByteArray() << "";
    }

    void pageEncodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, contentType);
        const auto link = WebPagePreview::openGraphImageURL(WebPagePreview::pageText(bytes, contentType), QUrl(QStringLiteral("https://a.test/p")));
        QTEST(link ? link->path() : QString(), "path");
    }

    void documentsReadBackWhatWasWritten()
    {
        QTemporaryDir dir;
        const DesignNode text{.id = "1:3", .name = "标题", .type = "TEXT", .text = "欢迎", .rect = RectValue(2, 4, 10.5, 3),
                              .fillHex = "#FF7F007F", .strokeHex = {}, .cornerRadius = 4, .fontSize = 17};
        ImportedDesign design{.image = QImage(4, 8, QImage::Format_ARGB32), .name = "登录页", .source = "https://x.test/d",
                              .kind = DesignSourceKind::figma, .pixelSize = SizeValue{4, 8}, .canvasSize = SizeValue{2, 4}, .nodes = {text},
                              .availableFrames = {DesignFrameOption{"1:2", "登录", SizeValue{2, 4}}}, .selectedFrameID = "1:2",
                              .isVisualOnly = false};
        design.image.fill(QColor(10, 200, 30));
        design.image.setPixelColor(3, 4, QColor(255, 0, 0));
        const QString jsonPath = DesignDocument::write(design, dir.filePath(QStringLiteral("out/nested")));
        QCOMPARE(jsonPath, dir.filePath(QStringLiteral("out/nested/design.json")));
        // Read from elsewhere: the image path is relative to the document, not to the current folder.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QDir::tempPath());
        const ImportedDesign copy = DesignDocument::read(jsonPath);
        QDir::setCurrent(previous);
        QCOMPARE(QStringList({copy.name, copy.source, rawValue(copy.kind)}), QStringList({design.name, design.source, rawValue(design.kind)}));
        QCOMPARE(copy.canvasSize, design.canvasSize);
        QCOMPARE(copy.nodes, design.nodes);
        QCOMPARE(copy.availableFrames, design.availableFrames);
        QCOMPARE(copy.selectedFrameID, design.selectedFrameID);
        QCOMPARE(copy.isVisualOnly, design.isVisualOnly);
        QCOMPARE(copy.image.convertToFormat(QImage::Format_ARGB32), design.image);

        // Errors name what is wrong.
        const auto readError = [](const QString &path) {
            try {
                DesignDocument::read(path);
            } catch (const DesignDocumentError &error) {
                return error.message;
            }
            return QStringLiteral("(read succeeded)");
        };
        const auto variant = [&](const QString &key, const QJsonValue &value) {
            QJsonObject changed = DesignDocument::toJson(design, QStringLiteral("design.png"));
            value.isUndefined() ? void(changed.remove(key)) : void(changed.insert(key, value));
            const QString path = dir.filePath(QStringLiteral("out/nested/") + key + QStringLiteral(".json"));
            FileWriter::writeAtomically(path, QJsonDocument(changed).toJson());
            return path;
        };
        QVERIFY(readError(variant("kind", "sketch")).contains(QStringLiteral("kind")));
        QVERIFY(readError(variant("nodes", QJsonValue::Undefined)).contains(QStringLiteral("nodes")));
        QVERIFY(readError(variant("image", "elsewhere.png")).contains(QStringLiteral("elsewhere.png")));
        FileWriter::writeAtomically(dir.filePath("broken.json"), "{\"name\": ");
        QVERIFY(readError(dir.filePath("broken.json")).contains(QStringLiteral("broken.json")));
        QVERIFY(readError(dir.filePath("absent.json")).contains(QStringLiteral("absent.json")));
    }

    void pausesNeverEndEarly()
    {
        for (int i = 0; i < 8; ++i) {
            const auto start = std::chrono::steady_clock::now();
            QVERIFY(awaitTask(PreciseSleep::atLeast(37ms)).succeeded());
            QVERIFY(std::chrono::steady_clock::now() - start >= 37ms);
        }
    }
};

QTEST_GUILESS_MAIN(DesignRulesTest)
#include "tst_DesignRules.moc"

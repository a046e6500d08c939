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
#include "support/Golden.h"

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

// The nodes a Figma tree flattens to, one line each.
QStringList flattened(const QJsonObject &root, QPointF origin)
{
    QList<DesignNode> nodes;
    FigmaNodes::flattenFigmaNode(root, origin, nodes);
    QStringList lines;
    const auto given = [](const auto &value) { return value ? QVariant(*value).toString() : QStringLiteral("-"); };
    for (const DesignNode &n : nodes)
        lines << QStringLiteral("%1 %2 %3 %4,%5 %6x%7 text %8 fill %9 stroke %10 radius %11 font %12")
                     .arg(n.id, n.name, n.type).arg(n.rect.x).arg(n.rect.y).arg(n.rect.width).arg(n.rect.height)
                     .arg(given(n.text), given(n.fillHex), given(n.strokeHex), given(n.cornerRadius), given(n.fontSize));
    return lines;
}

} // namespace

class DesignRulesTest : public QObject {
    Q_OBJECT
private slots:
    // The rules that map one input to one text, a line per case, against the expected lines kept in
    // the golden file.
    void rules()
    {
        QStringList log{QStringLiteral("# Figma links: file key and node")};
        for (const char *link : {"https://FIGMA.com/PROTO/KeyZ", "https://www.figma.com/Design/k1/x?node-id=",
                                 "https://www.figma.com/board/k2?a=b&node-id=1-2-3&node-id=9-9", "https://www.figma.com/file/k3/name?Node-Id=5-6",
                                 "https://www.figma.com/team/file/KEY/design/OTHER", "https://www.figma.com/design/AbC123?node-id=I12-34;5-6",
                                 "https://www.figma.com/files/recent", "https://www.figma.com/design/", "https://example.com/design/AbC123",
                                 "/design/AbC123"}) {
            const auto reference = FigmaEndpoints().parseFigmaReference(QUrl(QString::fromUtf8(link)));
            log << QString::fromUtf8(link) + QStringLiteral(" -> ") + (reference ? reference->fileKey + u' ' + reference->nodeID.value_or("-") : "none");
        }

        // Identifiers stay inside their path segment and query item.
        const QUrl hostile = FigmaEndpoints().nodesURL(QStringLiteral("a/b?c"), QStringLiteral("1:2&ids=9 x"));
        log << QStringLiteral("# addresses") << FigmaEndpoints().designLink(QStringLiteral("AbC123"), QStringLiteral("I12:34;5:6")) << hostile.toString(QUrl::FullyEncoded)
            << QUrlQuery(hostile).queryItemValue(QStringLiteral("ids"), QUrl::FullyDecoded);

        // A three-byte character cut at byte 240 counts as not decoding.
        log << QStringLiteral("# excerpt of an unparsable body: length, end");
        for (const int before : {239, 237}) {
            const QString excerpt = FigmaClient::bodyExcerpt(QByteArray(before, 'a') + "\xe4\xb8\xad" + QByteArray(10, 'b'));
            log << QStringLiteral("%1 a, 中, 10 b -> %2 %3").arg(before).arg(excerpt.size()).arg(excerpt.right(2));
        }

        // Now is 2026-03-01 12:00:00.400 UTC, 1772366400.4 seconds after the epoch.
        log << QStringLiteral("# seconds to wait after a refusal: [Retry-After, X-RateLimit-Reset, attempt]");
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0, 0, 400), Qt::UTC);
        const QJsonArray waits{QJsonArray{"0", {}, 0}, QJsonArray{"  45 \r\n", {}, 0}, QJsonArray{"+7", {}, 0}, QJsonArray{"-20", {}, 0},
                               QJsonArray{"Sun, 01 Mar 2026 12:01:31 GMT", {}, 0}, QJsonArray{"Sun, 01 Mar 2026 11:00:00 GMT", {}, 0},
                               QJsonArray{"Sunday, 01-Mar-26 12:01:31 GMT", {}, 1}, QJsonArray{"Sun, 31 Feb 2026 12:01:31 GMT", {}, 1},
                               QJsonArray{"Sun, 01 Mar 2026 12:01:31 PST", {}, 1}, QJsonArray{"soon", {}, 2}, QJsonArray{"1.5", {}, 0},
                               QJsonArray{{}, "1772366500", 0}, QJsonArray{{}, "1772366500.9", 0}, QJsonArray{{}, "1600000000", 0},
                               QJsonArray{"3", "1772366500", 0}, QJsonArray{{}, "1772366500s", 3}, QJsonArray{{}, "inf", 3},
                               QJsonArray{{}, {}, 0}, QJsonArray{{}, {}, 4}, QJsonArray{{}, {}, 5}, QJsonArray{{}, {}, -3}};
        for (const QJsonValue &wait : waits) {
            HttpResponse response;
            response.status = 429;
            if (wait[0].isString())
                response.headers.append({"retry-after", wait[0].toString().toLatin1()});
            if (wait[1].isString())
                response.headers.append({"x-ratelimit-reset", wait[1].toString().toLatin1()});
            log << QJsonDocument(wait.toArray()).toJson(QJsonDocument::Compact) + " -> " +
                       QString::number(FigmaClient::figmaRetryDelay(response, wait[2].toInt(), now));
        }

        log << QStringLiteral("# refusal texts: seconds, plan tier, limit type");
        const auto given = [](const char *text) { return *text ? std::optional<QString>(text) : std::nullopt; };
        for (const auto &[seconds, tier, type] : std::initializer_list<std::tuple<qint64, const char *, const char *>>{
                 {-1, "", ""}, {59, "pro", ""}, {60, "", ""}, {300, "", ""}, {301, "oRG pLUS", "low"}, {3599, "professional", ""},
                 {3600, "", ""}, {86399, "", ""}, {86400, "", ""}, {2 * 86400 + 3 * 3600 + 59, "", ""}}) {
            const auto wait = seconds < 0 ? std::nullopt : std::optional<qint64>(seconds);
            log << QStringLiteral("%1 %2 %3 -> ").arg(seconds).arg(tier, type) +
                       DesignImportError::figmaRateLimited(wait, given(tier), given(type)).errorDescription();
        }

        log << QStringLiteral("# solid colours");
        const QJsonArray paints{QJsonArray{solid(1, 0.5, 0, 0.5)}, QJsonArray{solid(1, 0.5, 0, 0.9995)}, QJsonArray{solid(1, 0.5, 0)},
                                QJsonArray{solid(0.0392, 0.0392, 0.0392, 0.998)}, // just below opaque
                                QJsonArray{solid(1, 0, 0, std::nullopt, false), solid(0, 0, 1, std::nullopt, true)},
                                QJsonArray{QJsonObject{{"type", "GRADIENT_LINEAR"}}, solid(0, 1, 0)},
                                QJsonArray{QJsonObject{{"type", "SOLID"}}, solid(1, 1, 1)}, // a solid without colour ends the search
                                QJsonArray{QJsonObject{{"type", "solid"}, {"color", QJsonObject{{"r", 1}}}}}, QJsonObject{{"type", "SOLID"}},
                                QJsonArray{solid(1, 0, 0), "x"}, QJsonArray{QJsonObject{{"type", "SOLID"}, {"color", QJsonObject{{"g", 1}}}}},
                                QJsonArray{solid(1.5, -0.2, 0.999, -1)}};
        for (const QJsonValue &paint : paints)
            log << QJsonDocument::fromVariant(paint.toVariant()).toJson(QJsonDocument::Compact) + " -> " + FigmaNodes::solidColor(paint).value_or("none");

        // Relative links resolve against https://share.example.com/a/b/c/page.html?x=1.
        log << QStringLiteral("# preview image of a page");
        const QString og = QStringLiteral("<meta property=\"og:image\" content=\"%1\">");
        const QString twitter = QStringLiteral("<meta name=\"twitter:image\" content=\"%1\">");
        QStringList pages{og.arg("https://cdn.example.com/d.png"), "<meta content='https://cdn.example.com/e.png' property='og:image' />",
                          twitter.arg("https://t.example.com/t.png") + og.arg("https://o.example.com/o.png"), twitter.arg("https://t.example.com/t.png"),
                          "<meta name=\"og:image\" content=\"https://x.example.com/n.png\">",
                          "<META PROPERTY = \"OG:IMAGE:SECURE_URL\" CONTENT = \"https://s.example.com/s.png\">", og.arg("/one.png") + og.arg("/two.png"),
                          "<meta property=\"og:image:width\" content=\"300\">", og.arg("img/x.png"), og.arg("//cdn.example.net/p.png"),
                          og.arg("https://cdn.example.com/i?w=1&amp;h=2&amp;amp;z"), og.arg("https:&#x2F;&#x2F;cdn.example.com&#x2F;s.png"),
                          og.arg("http://[bad") + twitter.arg("/fallback.png"),
                          // A remote page cannot make the importer read a file of this computer.
                          og.arg("file:///home/user/secret.png"), og.arg("data:image/png;base64,AAAA"),
                          og.arg("file:///etc/x.png") + twitter.arg("https://t.example.com/t")};
        for (const QString &page : pages) {
            const auto url = WebPagePreview::openGraphImageURL(page, QUrl(QStringLiteral("https://share.example.com/a/b/c/page.html?x=1")));
            log << page + QStringLiteral(" -> ") + (url ? url->toString(QUrl::FullyEncoded) : "none");
        }
        // Tags that would make a pattern back-track: 5 MB of attributes, 30 000 unclosed tags.
        QString attributes = QStringLiteral("<html><meta ");
        while (attributes.size() < 5'000'000)
            attributes += QStringLiteral("property='og:image' ");
        attributes += QStringLiteral("><meta property=\"og:image\" content=\"/shot.png\">");
        for (const QString &page : {attributes, QStringLiteral("<meta property='og:image' content='x' ").repeated(30'000)})
            log << QStringLiteral("%1 characters -> %2").arg(page.size()).arg(WebPagePreview::openGraphImageURL(page, QUrl("https://a.test/")) ? "found" : "none");

        log << QStringLiteral("# page encodings: the preview image found");
        const QString page = QStringLiteral("<title>%1</title><meta property=\"og:image\" content=\"/img/%1.png\">");
        const auto encoded = [](const char *encoding, const QString &text) {
            QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
            return QByteArray(encoder.encode(text));
        };
        for (const auto &[bytes, contentType] : std::initializer_list<std::pair<QByteArray, QByteArray>>{
                 {page.arg("设计").toUtf8(), {}}, {encoded("UTF-16LE", page.arg("设计")), {}}, {encoded("UTF-16BE", page.arg("设计")), {}},
                 {encoded("GBK", page.arg("预览")), "text/html; charset=gbk"},
                 {encoded("Big5", "<meta charset=\"Big5\">" + page.arg("預覽")), "text/html"}, {QByteArray("\xff\xfe\xc3", 3), {}}}) {
            const auto link = WebPagePreview::openGraphImageURL(WebPagePreview::pageText(bytes, contentType), QUrl(QStringLiteral("https://a.test/p")));
            log << QString::fromLatin1(bytes.toHex().left(16)) + u' ' + QString::fromLatin1(contentType) + QStringLiteral(" -> ") + (link ? link->path() : "none");
        }
        // Nodes without an id or with an empty or unreadable box are skipped; their children are still visited.
        log << QStringLiteral("# Figma nodes from the origin 4,5");
        QJsonObject noId = figmaNode("x", "FRAME", box(0, 0, 5, 5), {figmaNode("4", "TEXT", box(1, 1, 1, 1))});
        noId.remove("id");
        QJsonObject stringy = figmaNode("8", "TEXT", box(0, 0, 10, 10));
        stringy["absoluteBoundingBox"] = QJsonObject{{"x", 0}, {"y", 0}, {"width", "10"}, {"height", 10}};
        QJsonObject mixed = figmaNode("9", "GROUP", box(0, 0, 2, 2));
        mixed.insert("children", QJsonArray{figmaNode("9a", "TEXT", box(0, 0, 1, 1)), 7}); // not an array of objects: not walked
        QJsonObject full = figmaNode("F", "TEXT", box(10, 20, 30, 40));
        full.insert("characters", "欢迎");
        full.insert("fills", QJsonArray{solid(1, 0, 0)});
        full.insert("strokes", QJsonArray{solid(0, 0, 1, 0.5)});
        full.insert("cornerRadius", 8);
        full.insert("style", QJsonObject{{"fontSize", 17.5}});
        const QJsonObject bare{{"id", "b"}, {"absoluteBoundingBox", box(0, 0, 1, 1)}, {"cornerRadius", "8"}, {"style", 3}};
        log << flattened(figmaNode("1", "FRAME", box(0, 0, 100, 100),
                                   {figmaNode("2", "LINE", box(0, 50, 100, 0), {figmaNode("3", "TEXT", box(1, 2, 3, 4))}), noId,
                                    figmaNode("6", "GROUP", QJsonObject{}, {figmaNode("5", "VECTOR", box(0, 0, 3, 3))}),
                                    figmaNode("7", "RECTANGLE", box(0, 0, -1, 5)), stringy, mixed, full, bare}),
                         QPointF(4, 5));
        // Two huge coordinates subtract to infinity: that node goes, its neighbours stay.
        log << flattened(figmaNode("H", "FRAME", box(0, 0, 375, 812), {figmaNode("A", "TEXT", box(1.7e308, 0, 10, 10)), figmaNode("B", "TEXT", box(5, 5, 1, 1))}),
                         QPointF(-1.7e308, 0));
        QVERIFY(compareWithGolden("design-rules.txt", log.join(u'\n') + u'\n'));
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

        // Errors name what is wrong: a changed copy of the document, or a file that does not decode.
        const auto changed = [&](const QString &key, const QJsonValue &value) {
            QJsonObject json = DesignDocument::toJson(design, QStringLiteral("design.png"));
            value.isUndefined() ? void(json.remove(key)) : void(json.insert(key, value));
            return QJsonDocument(json).toJson();
        };
        for (const auto &[name, content] : std::initializer_list<std::pair<QString, QByteArray>>{
                 {"kind", changed("kind", "sketch")}, {"nodes", changed("nodes", QJsonValue::Undefined)},
                 {"elsewhere.png", changed("image", "elsewhere.png")}, {"broken.json", "{\"name\": "}, {"absent.json", {}}}) {
            // A changed copy goes to a file whose name holds none of the names looked for.
            const QString path = dir.filePath(QStringLiteral("out/nested/") + (name.endsWith(".json") ? name : QStringLiteral("changed.json")));
            if (!content.isNull())
                FileWriter::writeAtomically(path, content);
            try {
                DesignDocument::read(path);
                QFAIL(qPrintable(name + QStringLiteral(": read succeeded")));
            } catch (const DesignDocumentError &error) {
                QVERIFY2(error.message.contains(name), qPrintable(error.message));
            }
        }
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

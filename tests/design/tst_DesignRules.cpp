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
#include "support/TestEnvironment.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

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
        // The inputs that are plain data: links, refusal headers, paints and page snippets.
        const QJsonObject inputs = designData(QStringLiteral("rules-inputs.json"));
        QStringList log{QStringLiteral("# Figma links: file key and node")};
        for (const QJsonValue &value : inputs["figmaLinks"].toArray()) {
            const QString link = value.toString();
            const auto reference = FigmaEndpoints().parseFigmaReference(QUrl(link));
            log << link + QStringLiteral(" -> ") + (reference ? reference->fileKey + u' ' + reference->nodeID.value_or("-") : "none");
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
        for (const QJsonValue &wait : inputs["retryWaits"].toArray()) {
            HttpResponse response;
            response.status = 429;
            if (wait[0].isString())
                response.headers.append({"retry-after", wait[0].toString().toLatin1()});
            if (wait[1].isString())
                response.headers.append({"x-ratelimit-reset", wait[1].toString().toLatin1()});
            log << QJsonDocument(wait.toArray()).toJson(QJsonDocument::Compact) + " -> " +
                       QString::number(FigmaClient::figmaRetryDelay(response, wait[2].toInt(), now));
        }

        log << QStringLiteral("# refusal texts: [seconds, plan tier, limit type]");
        for (const QJsonValue &row : inputs["refusals"].toArray()) {
            const auto given = [&](int i) { return row[i].isString() ? std::optional<QString>(row[i].toString()) : std::nullopt; };
            const auto wait = row[0].isDouble() ? std::optional<qint64>(row[0].toInteger()) : std::nullopt;
            log << QJsonDocument(row.toArray()).toJson(QJsonDocument::Compact) + " -> " + DesignImportError::figmaRateLimited(wait, given(1), given(2)).errorDescription();
        }

        log << QStringLiteral("# solid colours");
        for (const QJsonValue &paint : inputs["paints"].toArray())
            log << QJsonDocument::fromVariant(paint.toVariant()).toJson(QJsonDocument::Compact) + " -> " + FigmaNodes::solidColor(paint).value_or("none");

        // Relative links resolve against https://share.example.com/a/b/c/page.html?x=1.
        log << QStringLiteral("# preview image of a page");
        for (const QJsonValue &value : inputs["previewPages"].toArray()) {
            const QString page = value.toString();
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
        // Nodes without an id or with an empty or unreadable box are skipped, their children still visited;
        // children that are not all objects are not walked; a node whose position overflows goes alone.
        for (const QJsonValue &tree : inputs["figmaTrees"].toArray()) {
            log << QStringLiteral("# Figma nodes from the origin %1,%2").arg(tree["origin"][0].toDouble()).arg(tree["origin"][1].toDouble());
            log << flattened(tree["node"].toObject(), QPointF(tree["origin"][0].toDouble(), tree["origin"][1].toDouble()));
        }
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
        // Where it goes, and that its image is found beside it, the command line's test shows.
        const ImportedDesign copy = DesignDocument::read(DesignDocument::write(design, dir.filePath(QStringLiteral("out/nested"))));
        QCOMPARE(DesignDocument::toJson(copy, QStringLiteral("design.png")), DesignDocument::toJson(design, QStringLiteral("design.png")));
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

// Finding a web page's preview image: the three tag patterns, entities, relative links, encodings.
#include "design/WebPagePreview.h"

#include <QStringEncoder>
#include <QtTest>

using namespace vantrel;

namespace {
const QUrl kPage(QStringLiteral("https://share.example.com/a/b/c/page.html?x=1"));

std::optional<QString> found(const QString &html, const QUrl &page = kPage)
{
    const std::optional<QUrl> url = WebPagePreview::openGraphImageURL(html, page);
    if (!url)
        return std::nullopt;
    return url->toString(QUrl::FullyEncoded);
}
} // namespace

class WebPagePreviewTest : public QObject {
    Q_OBJECT
private slots:
    void patternsInOrder();
    void attributeVariants();
    void entitiesAndRelativeLinks();
    void onlyWebLinksCount();
    void decodesPageText();
};

void WebPagePreviewTest::patternsInOrder()
{
    QCOMPARE(found("<head><meta property=\"og:image\" content=\"https://cdn.example.com/d.png\"></head>"),
             std::optional<QString>("https://cdn.example.com/d.png"));
    // content before property: the second pattern.
    QCOMPARE(found("<meta content='https://cdn.example.com/e.png' property='og:image' />"),
             std::optional<QString>("https://cdn.example.com/e.png"));
    // og:image wins even when the twitter tag comes first.
    QCOMPARE(found("<meta name=\"twitter:image\" content=\"https://t.example.com/t.png\">\n" "<meta property=\"og:image\" content=\"https://o.example.com/o.png\">"),
             std::optional<QString>("https://o.example.com/o.png"));
    QCOMPARE(found("<meta name=\"twitter:image\" content=\"https://t.example.com/t.png\">"),
             std::optional<QString>("https://t.example.com/t.png"));
    // name="og:image" is not an og:image property, and no twitter tag: nothing.
    QCOMPARE(found("<meta name=\"og:image\" content=\"https://x.example.com/n.png\">"), std::nullopt);
    QCOMPARE(found(QStringLiteral("<html><body>no tags</body></html>")), std::nullopt);
    QCOMPARE(found(QString()), std::nullopt);
}

void WebPagePreviewTest::attributeVariants()
{
    QCOMPARE(found("<META PROPERTY = \"OG:IMAGE:SECURE_URL\" CONTENT = \"https://s.example.com/s.png\">"),
             std::optional<QString>("https://s.example.com/s.png"));
    QCOMPARE(found("<meta content=\"https://s.example.com/c.png\" property=\"og:image:secure_url\">"),
             std::optional<QString>("https://s.example.com/c.png"));
    // The first match in document order.
    QCOMPARE(found("<meta property=\"og:image\" content=\"/one.png\"><meta property=\"og:image\" content=\"/two.png\">"),
             std::optional<QString>("https://share.example.com/one.png"));
    // og:image:width is not the image.
    QCOMPARE(found("<meta property=\"og:image:width\" content=\"300\">"), std::nullopt);
}

void WebPagePreviewTest::entitiesAndRelativeLinks()
{
    QCOMPARE(found("<meta property=\"og:image\" content=\"/media/cover.png\">"),
             std::optional<QString>("https://share.example.com/media/cover.png"));
    QCOMPARE(found("<meta property=\"og:image\" content=\"img/x.png\">"),
             std::optional<QString>("https://share.example.com/a/b/c/img/x.png"));
    QCOMPARE(found("<meta property=\"og:image\" content=\"//cdn.example.net/p.png\">"),
             std::optional<QString>("https://cdn.example.net/p.png"));
    QCOMPARE(found("<meta property=\"og:image\" content=\"https://cdn.example.com/i?w=1&amp;h=2&amp;amp;z\">"),
             std::optional<QString>("https://cdn.example.com/i?w=1&h=2&amp;z"));
    QCOMPARE(found("<meta property=\"og:image\" content=\"https:&#x2F;&#x2F;cdn.example.com&#x2F;s.png\">"),
             std::optional<QString>("https://cdn.example.com/s.png"));
    // A candidate that does not form a link gives way to the next pattern.
    QCOMPARE(found("<meta property=\"og:image\" content=\"http://[bad\">\n" "<meta name=\"twitter:image\" content=\"/fallback.png\">"),
             std::optional<QString>("https://share.example.com/fallback.png"));
}

void WebPagePreviewTest::onlyWebLinksCount()
{
    // A remote page cannot make the importer read a file of this computer.
    QCOMPARE(found("<meta property=\"og:image\" content=\"file:///home/user/secret.png\">"), std::nullopt);
    QCOMPARE(found("<meta property=\"og:image\" content=\"data:image/png;base64,AAAA\">"), std::nullopt);
    QCOMPARE(found("<meta property=\"og:image\" content=\"file:///etc/x.png\">"
                   "<meta name=\"twitter:image\" content=\"https://t.example.com/t.png\">"),
             std::optional<QString>("https://t.example.com/t.png"));
    // Relative links of a page on the web stay on the web.
    QCOMPARE(found("<meta property=\"og:image\" content=\"/x.png\">", QUrl(QStringLiteral("http://h.example/p"))),
             std::optional<QString>("http://h.example/x.png"));
}

void WebPagePreviewTest::decodesPageText()
{
    const QString html = QStringLiteral("<title>设计</title><meta property=\"og:image\" content=\"/u.png\">");
    QCOMPARE(WebPagePreview::pageText(html.toUtf8()), html);
    QStringEncoder le(QStringEncoder::Utf16LE, QStringConverter::Flag::WriteBom);
    const QByteArray utf16le = le.encode(html);
    QVERIFY(utf16le.startsWith("\xFF\xFE"));
    QCOMPARE(WebPagePreview::pageText(utf16le), html);
    QStringEncoder be(QStringEncoder::Utf16BE, QStringConverter::Flag::WriteBom);
    QCOMPARE(WebPagePreview::pageText(be.encode(html)), html);
    QCOMPARE(found(WebPagePreview::pageText(utf16le)), std::optional<QString>("https://share.example.com/u.png"));
    // Neither UTF-8 nor UTF-16 (odd length, invalid bytes): empty text.
    QCOMPARE(WebPagePreview::pageText(QByteArray("\xff\xfe\xc3", 3)), QString());
}

QTEST_GUILESS_MAIN(WebPagePreviewTest)
#include "tst_WebPagePreview.moc"

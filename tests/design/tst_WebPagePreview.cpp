// Finding a web page's preview image: the three tag patterns, entities, relative links, encodings.
#include "design/WebPagePreview.h"

#include <QStringEncoder>
#include <QtTest>

using namespace vantrel;

class WebPagePreviewTest : public QObject {
    Q_OBJECT
private slots:
    void previewImage_data();
    void previewImage();
    void decodesPageText();
};

void WebPagePreviewTest::previewImage_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("found"); // empty: none
    const QString og = QStringLiteral("<meta property=\"og:image\" content=\"%1\">");
    const QString twitter = QStringLiteral("<meta name=\"twitter:image\" content=\"%1\">");
    QTest::newRow("og:image") << og.arg("https://cdn.example.com/d.png") << "https://cdn.example.com/d.png";
    QTest::newRow("content first") << "<meta content='https://cdn.example.com/e.png' property='og:image' />"
                                   << "https://cdn.example.com/e.png";
    QTest::newRow("og wins over an earlier twitter tag") << twitter.arg("https://t.example.com/t.png") + u'\n' + og.arg("https://o.example.com/o.png")
                                                         << "https://o.example.com/o.png";
    QTest::newRow("twitter") << twitter.arg("https://t.example.com/t.png") << "https://t.example.com/t.png";
    QTest::newRow("og:image as a name") << "<meta name=\"og:image\" content=\"https://x.example.com/n.png\">" << "";
    QTest::newRow("no tags") << "<html><body>no tags</body></html>" << "";
    QTest::newRow("capitals and spaces") << "<META PROPERTY = \"OG:IMAGE:SECURE_URL\" CONTENT = \"https://s.example.com/s.png\">"
                                         << "https://s.example.com/s.png";
    QTest::newRow("first in document order") << og.arg("/one.png") + og.arg("/two.png") << "https://share.example.com/one.png";
    QTest::newRow("width is not the image") << "<meta property=\"og:image:width\" content=\"300\">" << "";
    QTest::newRow("relative to the folder") << og.arg("img/x.png") << "https://share.example.com/a/b/c/img/x.png";
    QTest::newRow("scheme-relative") << og.arg("//cdn.example.net/p.png") << "https://cdn.example.net/p.png";
    QTest::newRow("entities once") << og.arg("https://cdn.example.com/i?w=1&amp;h=2&amp;amp;z") << "https://cdn.example.com/i?w=1&h=2&amp;z";
    QTest::newRow("numeric entities") << og.arg("https:&#x2F;&#x2F;cdn.example.com&#x2F;s.png") << "https://cdn.example.com/s.png";
    QTest::newRow("bad link gives way") << og.arg("http://[bad") + u'\n' + twitter.arg("/fallback.png")
                                        << "https://share.example.com/fallback.png";
    // A remote page cannot make the importer read a file of this computer.
    QTest::newRow("file link") << og.arg("file:///home/user/secret.png") << "";
    QTest::newRow("data link") << og.arg("data:image/png;base64,AAAA") << "";
    QTest::newRow("file link gives way") << og.arg("file:///etc/x.png") + twitter.arg("https://t.example.com/t.png")
                                         << "https://t.example.com/t.png";
}

void WebPagePreviewTest::previewImage()
{
    QFETCH(QString, html);
    QFETCH(QString, found);
    const std::optional<QUrl> url =
        WebPagePreview::openGraphImageURL(html, QUrl(QStringLiteral("https://share.example.com/a/b/c/page.html?x=1")));
    QCOMPARE(url ? url->toString(QUrl::FullyEncoded) : QString(), found);
}

void WebPagePreviewTest::decodesPageText()
{
    const QString html = QStringLiteral("<title>设计</title><meta property=\"og:image\" content=\"/u.png\">");
    QCOMPARE(WebPagePreview::pageText(html.toUtf8()), html);
    QStringEncoder le(QStringEncoder::Utf16LE, QStringConverter::Flag::WriteBom);
    QCOMPARE(WebPagePreview::pageText(le.encode(html)), html);
    QStringEncoder be(QStringEncoder::Utf16BE, QStringConverter::Flag::WriteBom);
    QCOMPARE(WebPagePreview::pageText(be.encode(html)), html);
    // Neither UTF-8 nor UTF-16 (odd length, invalid bytes): empty text.
    QCOMPARE(WebPagePreview::pageText(QByteArray("\xff\xfe\xc3", 3)), QString());
}

QTEST_GUILESS_MAIN(WebPagePreviewTest)
#include "tst_WebPagePreview.moc"

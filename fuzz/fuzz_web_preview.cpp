// The web-page preview scan: a page's text in any charset, then its og:image / twitter:image
// link. A first line starting "Content-Type:" stands for the response header.
#include "FuzzCheck.h"

#include "design/WebPagePreview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray body = fuzzBytes(data, size);
    QByteArray contentType;
    if (body.startsWith("Content-Type:")) {
        const qsizetype end = body.indexOf('\n');
        contentType = body.mid(13, end < 0 ? -1 : end - 13).trimmed();
        body = end < 0 ? QByteArray() : body.mid(end + 1);
    }
    const QString text = vantrel::WebPagePreview::pageText(body, contentType);
    const std::optional<QUrl> link =
        vantrel::WebPagePreview::openGraphImageURL(text, QUrl(QStringLiteral("https://example.com/shots/page.html")));
    if (link) {
        FUZZ_CHECK(link->isValid());
        FUZZ_CHECK(link->scheme() == QStringLiteral("http") || link->scheme() == QStringLiteral("https"));
    }
    return 0;
}

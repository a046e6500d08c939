#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace vantrel {

// The preview image a web page announces in its sharing meta tags (og:image, twitter:image).
class WebPagePreview {
public:
    // Only this much of a page is searched, and meta tags longer than kMaxTagLength are skipped.
    static constexpr qsizetype kScanLimit = 4 * 1024 * 1024;
    static constexpr qsizetype kMaxTagLength = 16 * 1024;

    // The page's text: UTF-8; else the charset the Content-Type header or the page itself
    // declares (GBK, Big5, Shift_JIS, Latin-1...); else UTF-16 with a byte-order mark; else, when
    // the bytes hold an ASCII "<meta", Latin-1 (the tags searched are ASCII); else UTF-16
    // big-endian; else empty.
    static QString pageText(const QByteArray &body, const QByteArray &contentType = {});

    // The first preview-image link of the page, made absolute against the page link. The
    // og:image patterns win over twitter:image wherever the tags stand in the page. Only http and
    // https links count; any other candidate gives way to the next pattern. The page is read tag
    // by tag, each "<meta" up to its ">", so the time grows with the page's length only.
    static std::optional<QUrl> openGraphImageURL(const QString &pageText, const QUrl &pageLink);
};

} // namespace vantrel

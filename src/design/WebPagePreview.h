#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace vantrel {

// The preview image a web page announces in its sharing meta tags (og:image, twitter:image).
class WebPagePreview {
public:
    // The page's text: UTF-8, else UTF-16 (byte-order mark honoured), else empty.
    static QString pageText(const QByteArray &body);

    // The first preview-image link of the page, made absolute against the page link. The
    // og:image patterns win over twitter:image wherever the tags stand in the page. Only http and
    // https links count; any other candidate gives way to the next pattern.
    static std::optional<QUrl> openGraphImageURL(const QString &pageText, const QUrl &pageLink);
};

} // namespace vantrel

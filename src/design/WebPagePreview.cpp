#include "design/WebPagePreview.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace vantrel {

namespace {

const QRegularExpression &pattern(int index)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(
            QStringLiteral(R"(<meta[^>]+property\s*=\s*["']og:image(?::secure_url)?["'][^>]+content\s*=\s*["']([^"']+)["'][^>]*>)"),
            QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(
            QStringLiteral(R"(<meta[^>]+content\s*=\s*["']([^"']+)["'][^>]+property\s*=\s*["']og:image(?::secure_url)?["'][^>]*>)"),
            QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(
            QStringLiteral(R"(<meta[^>]+name\s*=\s*["']twitter:image["'][^>]+content\s*=\s*["']([^"']+)["'][^>]*>)"),
            QRegularExpression::CaseInsensitiveOption),
    };
    return patterns[index];
}

constexpr int kPatternCount = 3;

} // namespace

namespace {

// The charset named in a Content-Type value ("text/html; charset=gbk"), or empty.
QByteArray declaredCharset(const QByteArray &contentType)
{
    for (QByteArray parameter : contentType.split(';')) {
        parameter = parameter.trimmed();
        if (parameter.toLower().startsWith("charset="))
            return parameter.mid(8).trimmed().replace('"', "").replace('\'', "");
    }
    return {};
}

std::optional<QString> decodeStrictly(QStringDecoder decoder, const QByteArray &body)
{
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString WebPagePreview::pageText(const QByteArray &body, const QByteArray &contentType)
{
    const auto stateless = QStringConverter::Flag::Stateless;
    if (auto text = decodeStrictly(QStringDecoder(QStringDecoder::Utf8, stateless), body))
        return *text;
    const QByteArray charset = declaredCharset(contentType);
    if (!charset.isEmpty()) {
        if (auto text = decodeStrictly(QStringDecoder(charset.constData(), stateless), body))
            return *text;
    }
    // A <meta charset> or a byte-order mark in the page itself (UTF-8, the default, failed above).
    QStringDecoder fromPage = QStringDecoder::decoderForHtml(body);
    if (fromPage.isValid() && fromPage.name() != QLatin1String("UTF-8")) {
        if (auto text = decodeStrictly(std::move(fromPage), body))
            return *text;
    }
    if (body.indexOf("<meta") >= 0 || body.indexOf("<META") >= 0)
        return QString::fromLatin1(body);
    // Without a byte-order mark the text is read as big-endian, the UTF-16 default.
    if (body.size() % 2 == 0) {
        if (auto text = decodeStrictly(QStringDecoder(QStringDecoder::Utf16BE, stateless), body))
            return *text;
    }
    return {};
}

std::optional<QUrl> WebPagePreview::openGraphImageURL(const QString &pageText, const QUrl &pageLink)
{
    // The first tag each pattern matches, in page order. A match never spans a ">", so matching
    // tag by tag finds what matching the whole page would, without its back-tracking.
    std::optional<QString> firstMatch[kPatternCount];
    const QString page = pageText.left(kScanLimit);
    for (qsizetype start = page.indexOf(QLatin1String("<meta"), 0, Qt::CaseInsensitive); start >= 0;) {
        const qsizetype end = page.indexOf(u'>', start);
        if (end < 0)
            break;
        if (end - start < kMaxTagLength) {
            const QString tag = page.sliced(start, end - start + 1);
            for (int i = 0; i < kPatternCount; ++i) {
                if (firstMatch[i] || !pattern(i).isValid())
                    continue;
                const QRegularExpressionMatch match = pattern(i).match(tag);
                if (match.isValid() && match.hasMatch())
                    firstMatch[i] = match.captured(1);
            }
        }
        start = page.indexOf(QLatin1String("<meta"), end, Qt::CaseInsensitive);
    }

    for (int i = 0; i < kPatternCount; ++i) {
        if (!firstMatch[i])
            continue;
        QString candidate = *firstMatch[i];
        candidate.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        candidate.replace(QStringLiteral("&#x2F;"), QStringLiteral("/"));
        const QUrl relative(candidate, QUrl::StrictMode);
        if (!relative.isValid())
            continue;
        const QUrl resolved = pageLink.resolved(relative);
        if (!resolved.isValid() || resolved.isEmpty())
            continue;
        // A page only names images on the web: never a file of this computer (file:, qrc:, data:).
        const QString scheme = resolved.scheme().toLower();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            continue;
        return resolved;
    }
    return std::nullopt;
}

} // namespace vantrel

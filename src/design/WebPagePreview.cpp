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

QString WebPagePreview::pageText(const QByteArray &body)
{
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const QString text = utf8.decode(body);
        if (!utf8.hasError())
            return text;
    }
    {
        // Without a byte-order mark the text is read as big-endian, the UTF-16 default.
        const bool hasBom = body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF");
        QStringDecoder utf16(hasBom ? QStringDecoder::Utf16 : QStringDecoder::Utf16BE,
                             QStringConverter::Flag::Stateless);
        const QString text = utf16.decode(body);
        if (!utf16.hasError() && body.size() % 2 == 0)
            return text;
    }
    return {};
}

std::optional<QUrl> WebPagePreview::openGraphImageURL(const QString &pageText, const QUrl &pageLink)
{
    for (int i = 0; i < kPatternCount; ++i) {
        const QRegularExpression &expression = pattern(i);
        if (!expression.isValid())
            continue;
        const QRegularExpressionMatch match = expression.match(pageText);
        // An invalid match means the matcher gave up (backtracking limit) on hostile input.
        if (!match.isValid() || !match.hasMatch())
            continue;
        QString candidate = match.captured(1);
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

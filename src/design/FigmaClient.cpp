#include "design/FigmaClient.h"

#include "design/DesignImportError.h"
#include "design/FigmaCache.h"
#include "design/FigmaRequestThrottle.h"
#include "design/HttpExchange.h"
#include "engine/PreciseSleep.h"
#include "design/TransportError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStringDecoder>

#include <qcoro/qcorotimer.h>

#include <cmath>

namespace vantrel {

const QString FigmaClient::kCachedDataProgressText = QStringLiteral("正在使用最近获取的 Figma 数据…");

namespace {

// No wait is ever computed beyond this (about 31 years); it keeps the arithmetic finite.
constexpr qint64 kLongestDelaySeconds = 1'000'000'000;

qint64 atLeastOne(qint64 seconds)
{
    return std::clamp<qint64>(seconds, 1, kLongestDelaySeconds);
}

std::optional<QString> optionalText(const std::optional<QByteArray> &bytes)
{
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

} // namespace

FigmaClient::FigmaClient(QNetworkAccessManager *network, FigmaEndpoints endpoints, DesignImportTimings timings)
    : m_network(network)
    , m_endpoints(std::move(endpoints))
    , m_timings(timings)
{
}

std::optional<QDateTime> FigmaClient::parseHttpDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), (\\d{2}) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) (\\d{4}) "
        "(\\d{2}):(\\d{2}):(\\d{2}) (GMT|UTC)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    static const QStringList months{QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                    QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                    QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                                    QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    const QDate date(match.captured(4).toInt(), int(months.indexOf(match.captured(3))) + 1, match.captured(2).toInt());
    const QTime time(match.captured(5).toInt(), match.captured(6).toInt(), match.captured(7).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

qint64 FigmaClient::figmaRetryDelay(const std::optional<QByteArray> &retryAfter,
                                    const std::optional<QByteArray> &rateLimitReset, int attempt, const QDateTime &now)
{
    if (retryAfter) {
        const QString text = QString::fromUtf8(*retryAfter).trimmed();
        if (!text.isEmpty()) {
            static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
            bool ok = false;
            const qint64 seconds = text.toLongLong(&ok);
            if (ok && integer.match(text).hasMatch())
                return atLeastOne(seconds);
            if (const std::optional<QDateTime> date = parseHttpDate(text))
                return atLeastOne(now.msecsTo(*date) / 1000);
        }
    }
    if (rateLimitReset) {
        static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
        const QString text = QString::fromUtf8(*rateLimitReset);
        bool ok = false;
        const double reset = text.toDouble(&ok);
        if (ok && std::isfinite(reset) && number.match(text).hasMatch()) {
            const double seconds = reset - double(now.toMSecsSinceEpoch()) / 1000.0;
            return atLeastOne(qint64(std::clamp(std::trunc(seconds), -1.0, double(kLongestDelaySeconds))));
        }
    }
    static constexpr qint64 kByAttempt[] = {5, 12, 30, 60, 120};
    return kByAttempt[std::clamp(attempt, 0, 4)];
}

qint64 FigmaClient::figmaRetryDelay(const HttpResponse &response, int attempt, const QDateTime &now)
{
    return figmaRetryDelay(response.optionalHeader("Retry-After"), response.optionalHeader("X-RateLimit-Reset"),
                           attempt, now);
}

QString FigmaClient::bodyExcerpt(const QByteArray &body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(body.left(kExcerptBytes));
    if (decoder.hasError())
        return kFigmaBinaryExcerptText;
    return text;
}

QJsonObject FigmaClient::parseBody(const QByteArray &body) const
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error == QJsonParseError::NoError) {
        if (!document.isObject())
            throw DesignImportError::invalidResponse(kFigmaNotObjectText);
        return document.object();
    }
    // A lone string, number, true, false or null is valid JSON that is not an object.
    const QJsonDocument wrapped = QJsonDocument::fromJson("[" + body + "]", &error);
    if (error.error == QJsonParseError::NoError && wrapped.array().size() == 1)
        throw DesignImportError::invalidResponse(kFigmaNotObjectText);
    throw DesignImportError::invalidResponse(kFigmaJsonParseFailedText + bodyExcerpt(body));
}

QCoro::Task<QJsonObject> FigmaClient::figmaJSON(QUrl url, QString token, ProgressCallback progress)
{
    if (const std::optional<QJsonObject> cached = FigmaCache::readFigmaCache(url)) {
        if (progress)
            progress(kCachedDataProgressText);
        co_return *cached;
    }

    FigmaRequestThrottle &throttle = FigmaRequestThrottle::shared();
    int attempt = 0;
    for (;;) {
        co_await throttle.waitForTurn();

        QNetworkRequest request(url);
        request.setRawHeader("X-Figma-Token", token.toUtf8());
        request.setRawHeader("Accept", "application/json");
        // The token goes to Figma only: a redirect elsewhere is not followed.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
        request.setTransferTimeout(int(m_timings.figmaRequestTimeout.count()));

        std::optional<TransportError> failure;
        HttpResponse response;
        try {
            response = co_await HttpExchange::get(m_network, request, m_timings.requestDeadline);
        } catch (const TransportError &error) {
            failure = error;
        }
        if (failure) {
            if (!failure->isBrief() || attempt >= kMaximumTransportRetries)
                throw DesignImportError::network(failure->description());
            co_await PreciseSleep::atLeast(m_timings.figmaTransportRetryUnit * (attempt + 1));
            ++attempt;
            continue;
        }

        if (!response.isHttp())
            throw DesignImportError::invalidResponse(kNoHttpResponseText);
        const int status = *response.status;
        if (status == 429) {
            const QDateTime now = QDateTime::currentDateTimeUtc();
            const qint64 delay = figmaRetryDelay(response, attempt, now);
            const std::optional<QString> planTier = optionalText(response.optionalHeader("X-Figma-Plan-Tier"));
            const std::optional<QString> rateType = optionalText(response.optionalHeader("X-Figma-Rate-Limit-Type"));
            throttle.postpone(now.addSecs(delay), planTier, rateType);
            if (attempt != kMaximumRateLimitAttempt && delay <= kMaximumRetryDelaySeconds) {
                if (progress)
                    progress(QStringLiteral("Figma 请求受限，%1 秒后自动重试（%2/%3）…")
                                 .arg(delay)
                                 .arg(attempt + 1)
                                 .arg(kMaximumRateLimitAttempt));
                ++attempt;
                continue;
            }
            throw DesignImportError::figmaRateLimited(delay, planTier, rateType);
        }
        if (status == 401 || status == 403)
            throw DesignImportError::invalidResponse(kFigmaTokenRefusedText);
        if (status < 200 || status > 299)
            throw DesignImportError::http(status);

        const QJsonObject object = parseBody(response.body);
        FigmaCache::writeFigmaCache(response.body, url);
        co_return object;
    }
}

} // namespace vantrel

#pragma once

#include "design/DesignImportTimings.h"
#include "design/FigmaEndpoints.h"
#include "design/ProgressCallback.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

namespace vantrel {

struct HttpResponse;

// Authenticated GET requests to the Figma REST API: spaced by the process-wide throttle, retried
// after rate-limit refusals and brief network failures, answered from the five-minute cache when
// possible, every failure turned into a DesignImportError.
class FigmaClient {
public:
    static const QString kCachedDataProgressText;
    // Rate-limit refusals: at most this many retries (five requests in all).
    static constexpr int kMaximumRateLimitAttempt = 4;
    static constexpr int kMaximumTransportRetries = 2;
    // A refusal that announces a longer wait is not waited out.
    static constexpr qint64 kMaximumRetryDelaySeconds = 120;
    static constexpr int kExcerptBytes = 240;

    FigmaClient(QNetworkAccessManager *network, FigmaEndpoints endpoints, DesignImportTimings timings = {});

    const FigmaEndpoints &endpoints() const { return m_endpoints; }

    // The top-level JSON object of the response to `url`. The token goes only into the request's
    // X-Figma-Token header.
    QCoro::Task<QJsonObject> figmaJSON(QUrl url, QString token, ProgressCallback progress = {});

    // Whole seconds to wait after a refusal (at least 1): Retry-After (seconds or HTTP date),
    // else X-RateLimit-Reset (seconds since 1970), else by attempt: 5, 12, 30, 60, 120.
    static qint64 figmaRetryDelay(const std::optional<QByteArray> &retryAfter,
                                  const std::optional<QByteArray> &rateLimitReset, int attempt, const QDateTime &now);
    static qint64 figmaRetryDelay(const HttpResponse &response, int attempt, const QDateTime &now);

    // "Sun, 06 Nov 1994 08:49:37 GMT" (GMT or UTC); none when the text is not such a date.
    static std::optional<QDateTime> parseHttpDate(const QString &text);

    // The parse-failure excerpt: the first 240 bytes as UTF-8, or "二进制数据" when they do not decode.
    static QString bodyExcerpt(const QByteArray &body);

private:
    QJsonObject parseBody(const QByteArray &body) const;

    QNetworkAccessManager *m_network;
    FigmaEndpoints m_endpoints;
    DesignImportTimings m_timings;
};

} // namespace vantrel

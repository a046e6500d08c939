#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace vantrel {

// What came back for one request: the status (none when the scheme is not HTTP), headers, body.
struct HttpResponse {
    std::optional<int> status;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    bool isHttp() const { return status.has_value(); }
    bool isSuccess() const { return status && *status >= 200 && *status <= 299; }
    // The value of a header, compared ignoring case; empty when absent.
    QByteArray header(const QByteArray &name) const;
    std::optional<QByteArray> optionalHeader(const QByteArray &name) const;
};

// One request through a long-lived QNetworkAccessManager, awaited as a coroutine.
class HttpExchange {
public:
    // The most a body may hold: images (by their Content-Type) and everything else (pages, JSON).
    static constexpr qint64 kMaxImageBytes = qint64(256) * 1024 * 1024;
    static constexpr qint64 kMaxOtherBytes = qint64(64) * 1024 * 1024;
    static qint64 maxBodyBytes(const QByteArray &contentType);

    // Sends a GET and waits for the whole reply. A transport failure throws TransportError; the
    // request's transfer time-out (silence) and `deadline` (the whole exchange) are reported as
    // time-outs. A body larger than maxBodyBytes (announced or received) is abandoned as it
    // arrives and throws DesignImportError::invalidResponse.
    static QCoro::Task<HttpResponse> get(QNetworkAccessManager *network, QNetworkRequest request,
                                         std::chrono::milliseconds deadline);
};

} // namespace vantrel

#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <qcoro/qcorotask.h>

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
    // Sends a GET and waits for the whole reply. A transport failure throws TransportError.
    // The request's transfer time-out (if set) is reported as a time-out.
    static QCoro::Task<HttpResponse> get(QNetworkAccessManager *network, QNetworkRequest request);
};

} // namespace vantrel

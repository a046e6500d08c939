#include "design/HttpExchange.h"

#include "design/TransportError.h"

#include <QNetworkReply>

#include <qcoro/qcoronetworkreply.h>

namespace vantrel {

std::optional<QByteArray> HttpResponse::optionalHeader(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

QByteArray HttpResponse::header(const QByteArray &name) const
{
    return optionalHeader(name).value_or(QByteArray());
}

QCoro::Task<HttpResponse> HttpExchange::get(QNetworkAccessManager *network, QNetworkRequest request)
{
    QNetworkReply *reply = network->get(request);
    co_await reply;
    // The reply is released later: QCoro resumes us inside its finished() signal.
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Replies whose error only restates their HTTP status (404, 429, ...) are HTTP responses; a
    // connection or proxy failure (codes below 200) is a transport failure even after the head.
    if (error != QNetworkReply::NoError && (!status.isValid() || error < QNetworkReply::ContentAccessDenied)) {
        // We never abort our own requests, so a cancellation is the transfer time-out.
        const bool timedOut = error == QNetworkReply::OperationCanceledError && request.transferTimeout() > 0;
        throw TransportError::fromReply(error, reply->errorString(), timedOut);
    }
    HttpResponse response;
    if (status.isValid())
        response.status = status.toInt();
    response.headers = reply->rawHeaderPairs();
    response.body = reply->readAll();
    co_return response;
}

} // namespace vantrel

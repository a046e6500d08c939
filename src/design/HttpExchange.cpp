#include "design/HttpExchange.h"

#include "design/DesignImportError.h"
#include "design/TransportError.h"

#include <QTimer>

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

qint64 HttpExchange::maxBodyBytes(const QByteArray &contentType)
{
    return contentType.trimmed().toLower().startsWith("image/") ? kMaxImageBytes : kMaxOtherBytes;
}

QCoro::Task<HttpResponse> HttpExchange::get(QNetworkAccessManager *network, QNetworkRequest request,
                                            std::chrono::milliseconds deadline)
{
    enum class Stop { none, tooLarge, deadline };
    Stop stop = Stop::none;
    qint64 limit = kMaxOtherBytes;
    QNetworkReply *reply = network->get(request);
    // The handlers only set `stop` before aborting: abort() may finish the reply, and so resume
    // this coroutine, before it returns.
    const auto checkSize = [&stop, &limit, reply](qint64 bytes) {
        if (stop == Stop::none && bytes > limit) {
            stop = Stop::tooLarge;
            reply->abort();
        }
    };
    const QMetaObject::Connection head = QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&limit, reply, checkSize] {
        limit = maxBodyBytes(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid())
            checkSize(announced.toLongLong());
    });
    const QMetaObject::Connection body = QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, checkSize] {
        checkSize(reply->bytesAvailable());
    });
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, reply, [&stop, reply] {
        stop = Stop::deadline;
        reply->abort();
    });
    timer.start(deadline);
    if (!reply->isFinished())
        co_await reply;
    timer.stop();
    QObject::disconnect(head);
    QObject::disconnect(body);
    // The reply is released later: QCoro resumes us inside its finished() signal.
    reply->deleteLater();

    if (stop == Stop::tooLarge)
        throw DesignImportError::invalidResponse(
            QStringLiteral("响应超过 %1 MB，已停止接收").arg(limit / (1024 * 1024)));
    if (stop == Stop::deadline)
        throw TransportError::fromReply(QNetworkReply::TimeoutError, reply->errorString(), true);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Replies whose error only restates their HTTP status (404, 429, ...) are HTTP responses; a
    // connection or proxy failure (codes below 200) is a transport failure even after the head.
    if (error != QNetworkReply::NoError && (!status.isValid() || error < QNetworkReply::ContentAccessDenied)) {
        // Our own aborts are told apart above, so a cancellation is the transfer time-out.
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

#pragma once

#include <QNetworkReply>
#include <QString>

#include <stdexcept>

namespace vantrel {

// An HTTP request that produced no reply at all: a refused connection, a time-out, a malformed
// address. `timedOut` is set only when the request's own time limit ran out (an abort by the caller
// is not a time-out); `description` is the user-facing text.
class HttpTransportError : public std::runtime_error {
public:
    HttpTransportError(QNetworkReply::NetworkError code, bool timedOut, QString description)
        : std::runtime_error(description.toStdString()),
          code(code), timedOut(timedOut), description(std::move(description)) {}

    QNetworkReply::NetworkError code;
    bool timedOut;
    QString description;

    static inline const QString kTimedOutDescription = QStringLiteral("请求超时。");
};

} // namespace vantrel

#pragma once

#include <QNetworkReply>
#include <QString>

#include <stdexcept>

namespace vantrel {

// A request that ended without an HTTP response: refused, dropped, timed out, unknown host...
// what() is the user-facing (Chinese) description of the failure.
class TransportError : public std::runtime_error {
public:
    enum class Kind { timedOut, connectionLost, cannotConnect, other };

    TransportError(Kind kind, QNetworkReply::NetworkError code, const QString &description);

    // Classifies a finished reply's error. `timedOut` tells a transfer time-out from other
    // cancellations (both end with OperationCanceledError).
    static TransportError fromReply(QNetworkReply::NetworkError code, const QString &qtText, bool timedOut);

    Kind kind() const { return m_kind; }
    QNetworkReply::NetworkError code() const { return m_code; }
    const QString &description() const { return m_description; }

    // A brief failure that is worth one more try: time-out, lost connection, refused connection.
    bool isBrief() const { return m_kind != Kind::other; }

private:
    Kind m_kind;
    QNetworkReply::NetworkError m_code;
    QString m_description;
};

} // namespace vantrel

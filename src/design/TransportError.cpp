#include "design/TransportError.h"

namespace vantrel {

TransportError::TransportError(Kind kind, QNetworkReply::NetworkError code, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_kind(kind)
    , m_code(code)
    , m_description(description)
{
}

TransportError TransportError::fromReply(QNetworkReply::NetworkError code, const QString &qtText, bool timedOut)
{
    if (timedOut || code == QNetworkReply::TimeoutError)
        return TransportError(Kind::timedOut, code, QStringLiteral("请求超时。"));
    switch (code) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return TransportError(Kind::connectionLost, code, QStringLiteral("网络连接已中断。"));
    case QNetworkReply::ConnectionRefusedError:
        return TransportError(Kind::cannotConnect, code, QStringLiteral("未能连接到服务器。"));
    case QNetworkReply::HostNotFoundError:
        return TransportError(Kind::other, code, QStringLiteral("未能找到使用指定主机名的服务器。"));
    case QNetworkReply::SslHandshakeFailedError:
        return TransportError(Kind::other, code, QStringLiteral("发生了 SSL 错误，无法建立与该服务器的安全连接。"));
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return TransportError(Kind::other, code, QStringLiteral("不支持的链接。"));
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return TransportError(Kind::other, code, QStringLiteral("重定向过多或不安全。"));
    case QNetworkReply::OperationCanceledError:
        return TransportError(Kind::other, code, QStringLiteral("已取消。"));
    default:
        return TransportError(Kind::other, code, QStringLiteral("网络错误（%1）。").arg(qtText));
    }
}

} // namespace vantrel

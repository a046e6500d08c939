#include "devices/ios/MJPEGStreamConnection.h"

#include "devices/ios/MJPEGStreamClient.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <optional>

namespace vantrel {

namespace {

// The end of a transfer as the stream reports it: none when the server ended the response itself
// (whatever its HTTP status), otherwise a description of what broke it.
std::optional<QString> transferFailure(const QNetworkReply &reply, bool lifetimeExpired)
{
    const QNetworkReply::NetworkError code = reply.error();
    if (code == QNetworkReply::NoError)
        return std::nullopt;
    const bool answered = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const bool statusError = (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError)
        || (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError);
    if (answered && statusError)
        return std::nullopt;
    switch (code) {
    case QNetworkReply::OperationCanceledError: // only the time limits abort a reported transfer
    case QNetworkReply::TimeoutError:
        return lifetimeExpired ? QStringLiteral("画面流超过了最长持续时间。") : QStringLiteral("请求超时。");
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("无法连接到服务器。");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("服务器中断了连接。");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("未能找到服务器。");
    default:
        return reply.errorString();
    }
}

} // namespace

MJPEGStreamConnection::MJPEGStreamConnection(MJPEGStreamClient *client)
    : m_client(client)
{
}

void MJPEGStreamConnection::open(const QUrl &url, quint64 generation, std::chrono::milliseconds idleTimeout,
                                 std::chrono::milliseconds lifetime)
{
    close();
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        m_network->setProxy(QNetworkProxy::NoProxy);
        m_lifetimeTimer = new QTimer(this);
        m_lifetimeTimer->setSingleShot(true);
        m_lifetimeTimer->setTimerType(Qt::PreciseTimer);
        connect(m_lifetimeTimer, &QTimer::timeout, this, [this] {
            if (m_reply) {
                m_lifetimeExpired = true;
                m_reply->abort();
            }
        });
    }
    m_generation = generation;
    m_lifetimeExpired = false;

    QNetworkRequest request(url);
    request.setTransferTimeout(int(idleTimeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply *reply = m_network->get(request);
    // Without a limit the reply takes in whatever the sender pushes, however far the decoding
    // lags behind; with one, the network stops reading until the frames have been taken out.
    reply->setReadBufferSize(kReadBufferSize);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        const QByteArray data = reply->readAll();
        if (!data.isEmpty())
            m_client->receive(m_generation, data);
    });
    connect(reply, &QNetworkReply::finished, this, &MJPEGStreamConnection::finish);
    m_lifetimeTimer->start(lifetime);
}

void MJPEGStreamConnection::close()
{
    if (m_lifetimeTimer)
        m_lifetimeTimer->stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

void MJPEGStreamConnection::shutdown()
{
    close();
    delete m_network; // with any reply still waiting for deletion
    m_network = nullptr;
    delete m_lifetimeTimer;
    m_lifetimeTimer = nullptr;
}

void MJPEGStreamConnection::finish()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    m_lifetimeTimer->stop();
    disconnect(reply, nullptr, this, nullptr);
    const QByteArray rest = reply->isOpen() ? reply->readAll() : QByteArray();
    if (!rest.isEmpty())
        m_client->receive(m_generation, rest);
    m_client->complete(m_generation, transferFailure(*reply, m_lifetimeExpired));
    reply->deleteLater();
}

} // namespace vantrel

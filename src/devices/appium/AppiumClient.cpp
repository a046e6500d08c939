#include "devices/appium/AppiumClient.h"

#include "devices/appium/HttpTransportError.h"
#include "engine/JsonDecodeError.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QPointer>
#include <QThread>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <qcoro/qcoronetworkreply.h>

namespace vantrel {

namespace {

QString transportDescription(const QNetworkReply &reply, const QUrl &address)
{
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("无法连接到 %1:%2 的服务。").arg(address.host()).arg(address.port());
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("服务在返回结果前关闭了连接。");
    case QNetworkReply::TimeoutError:
        return HttpTransportError::kTimedOutDescription;
    default:
        return QStringLiteral("网络请求失败：") + reply.errorString();
    }
}

} // namespace

AppiumClient::AppiumClient(int port, QObject *parent)
    : QObject(parent), m_port(port)
{
}

QNetworkAccessManager &AppiumClient::network()
{
    // One per thread, owned by the application object when there is one (else kept to the end).
    thread_local QPointer<QNetworkAccessManager> shared;
    if (!shared) {
        QCoreApplication *application = QCoreApplication::instance();
        shared = new QNetworkAccessManager(application && application->thread() == QThread::currentThread() ? application
                                                                                                           : nullptr);
        shared->setProxy(QNetworkProxy::NoProxy);
    }
    return *shared;
}

QUrl AppiumClient::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(m_port) + path, QUrl::StrictMode);
}

QCoro::Task<AppiumReply> AppiumClient::send(QByteArray method, QString path, std::optional<QJsonObject> body,
                                            std::chrono::milliseconds limit)
{
    const QUrl address = url(path);
    if (!address.isValid() || address.port() < 0)
        throw HttpTransportError(QNetworkReply::ProtocolInvalidOperationError, false,
                                 QStringLiteral("请求地址无效：") + address.toString());

    QNetworkRequest request(address);
    QNetworkReply *reply = nullptr;
    if (body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        reply = network().sendCustomRequest(request, method, QJsonDocument(*body).toJson(QJsonDocument::Compact));
    } else {
        reply = network().sendCustomRequest(request, method);
    }

    // The request's own limit: an abort from this timer is a time-out, not a cancellation.
    bool timedOut = false;
    QTimer limitTimer;
    limitTimer.setSingleShot(true);
    limitTimer.setTimerType(Qt::PreciseTimer); // a limit never cuts a request short
    connect(&limitTimer, &QTimer::timeout, reply, [&timedOut, reply] {
        timedOut = true;
        reply->abort();
    });
    limitTimer.start(limit);
    co_await reply;
    limitTimer.stop();
    reply->deleteLater();

    if (timedOut)
        throw HttpTransportError(QNetworkReply::TimeoutError, true, HttpTransportError::kTimedOutDescription);
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        const QNetworkReply::NetworkError code = reply->error();
        throw HttpTransportError(code, code == QNetworkReply::TimeoutError, transportDescription(*reply, address));
    }
    co_return AppiumReply{status.toInt(), reply->readAll()};
}

QCoro::Task<bool> AppiumClient::isServerReady(std::chrono::milliseconds limit)
{
    try {
        const AppiumReply reply = co_await send(QByteArrayLiteral("GET"), QStringLiteral("/status"), std::nullopt, limit);
        co_return reply.isSuccess();
    } catch (const HttpTransportError &) {
        co_return false;
    }
}

QCoro::Task<void> AppiumClient::deleteSession(QString sessionID, std::chrono::milliseconds limit)
{
    try {
        co_await send(QByteArrayLiteral("DELETE"), sessionPath(sessionID), std::nullopt, limit);
    } catch (const std::exception &) {
        // Ending a session is best effort.
    }
}

QJsonObject AppiumClient::sessionRequestBody(const QJsonObject &alwaysMatch)
{
    return {{QStringLiteral("capabilities"),
             QJsonObject{{QStringLiteral("alwaysMatch"), alwaysMatch},
                         {QStringLiteral("firstMatch"), QJsonArray{QJsonObject()}}}}};
}

std::optional<QString> AppiumClient::sessionIdFrom(const QJsonDocument &reply)
{
    if (!reply.isObject())
        return std::nullopt;
    const QJsonObject top = reply.object();
    const QJsonValue value = top.value(QStringLiteral("value"));
    if (!value.isObject())
        return std::nullopt;
    const QJsonValue nested = value.toObject().value(QStringLiteral("sessionId"));
    if (nested.isString())
        return nested.toString();
    const QJsonValue topLevel = top.value(QStringLiteral("sessionId"));
    if (topLevel.isString())
        return topLevel.toString();
    return std::nullopt;
}

QJsonDocument AppiumClient::parseJson(const QByteArray &body)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodeError(QStringLiteral("服务返回的内容不是有效的 JSON：") + error.errorString());
    return document;
}

QString AppiumClient::sessionPath(const QString &sessionID)
{
    return QStringLiteral("/session/") + sessionID;
}

QString AppiumClient::sourcePath(const QString &sessionID)
{
    return sessionPath(sessionID) + QStringLiteral("/source");
}

QString AppiumClient::screenshotPath(const QString &sessionID)
{
    return sessionPath(sessionID) + QStringLiteral("/screenshot");
}

QStringList AppiumClient::iosServerArguments(int port)
{
    return {QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
            QString::number(port), QStringLiteral("--base-path"), QStringLiteral("/")};
}

QStringList AppiumClient::androidServerArguments(int port)
{
    return iosServerArguments(port) << QStringLiteral("--session-override") << QStringLiteral("--log-no-colors");
}

QStringList AppiumClient::driverListArguments()
{
    return {QStringLiteral("driver"), QStringLiteral("list"), QStringLiteral("--installed"), QStringLiteral("--json")};
}

bool AppiumClient::driverListMentions(const QString &listing, const QString &driverName)
{
    return listing.contains(u'"' + driverName + u'"');
}

} // namespace vantrel

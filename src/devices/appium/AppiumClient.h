#pragma once

#include "devices/appium/AppiumReply.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace vantrel {

// W3C WebDriver over HTTP with an Appium server (or WebDriverAgent) on the loopback interface:
// "http://127.0.0.1:" + port + path. One long-lived network manager per client; no proxy.
//
// `send` hands back every HTTP reply, whatever its status: the managers decide what a status
// outside 200-299 means for them. Only transport failures (refused connection, the request's time
// limit, a malformed address) throw, as HttpTransportError.
//
// The client must be used from the thread it lives in. Requests go through one network manager
// shared by every client of the thread, so a request in flight when its client is destroyed still
// ends normally (its awaiting coroutine resumes and should then notice that its owner is gone).
class AppiumClient : public QObject {
    Q_OBJECT
public:
    static constexpr int kIOSServerPort = 4723;
    static constexpr int kAndroidServerPort = 4731;

    explicit AppiumClient(int port, QObject *parent = nullptr);

    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }

    // "http://127.0.0.1:" + port + path.
    QUrl url(const QString &path) const;

    // One request. A body is sent only when given: compact JSON with "Content-Type"
    // "application/json". `limit` bounds the whole request.
    QCoro::Task<AppiumReply> send(QByteArray method, QString path, std::optional<QJsonObject> body,
                                  std::chrono::milliseconds limit);

    // GET "/status": true for a reply of 200-299, false for any other reply or transport failure.
    QCoro::Task<bool> isServerReady(std::chrono::milliseconds limit);

    // DELETE "/session/" + id; every failure is ignored.
    QCoro::Task<void> deleteSession(QString sessionID, std::chrono::milliseconds limit);

    // {"capabilities": {"alwaysMatch": capabilities, "firstMatch": [{}]}}
    static QJsonObject sessionRequestBody(const QJsonObject &alwaysMatch);
    // "value"."sessionId" when the top level is an object whose "value" is an object holding a text
    // "sessionId"; else the top-level "sessionId" when it is text; else none.
    static std::optional<QString> sessionIdFrom(const QJsonDocument &reply);
    // A reply body as JSON; throws JsonDecodeError (message in Chinese) when it does not parse.
    static QJsonDocument parseJson(const QByteArray &body);

    static QString sessionPath(const QString &sessionID);
    static QString sourcePath(const QString &sessionID);
    static QString screenshotPath(const QString &sessionID);

    // Arguments after the appium path for the servers each manager starts.
    static QStringList iosServerArguments(int port = kIOSServerPort);
    static QStringList androidServerArguments(int port = kAndroidServerPort);
    // "driver" "list" "--installed" "--json"
    static QStringList driverListArguments();
    // Whether a driver listing names the driver (its name enclosed in double quotes).
    static bool driverListMentions(const QString &listing, const QString &driverName);

private:
    static QNetworkAccessManager &network();

    int m_port;
};

} // namespace vantrel

#pragma once

#include "support/FakeHttpServer.h"
#include "support/TestImages.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace vantrel::test {

// Scenario pieces for a fake Appium server speaking WebDriver for an XCUITest session, and for
// WebDriverAgent's MJPEG screen server, on a FakeHttpServer.
namespace wda {

inline QJsonObject statusRoute(int status = 200)
{
    return FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/status"),
                                 {FakeHttpServer::json(status, QJsonObject{{QStringLiteral("value"),
                                                                            QJsonObject{{QStringLiteral("ready"), status == 200}}}})});
}

inline QJsonObject sessionRoute(const QJsonArray &responses)
{
    return FakeHttpServer::route(QStringLiteral("POST"), QStringLiteral("/session"), responses);
}

inline QJsonObject sessionReply(const QString &sessionID)
{
    return FakeHttpServer::json(200, QJsonObject{{QStringLiteral("value"),
                                                  QJsonObject{{QStringLiteral("sessionId"), sessionID},
                                                              {QStringLiteral("capabilities"), QJsonObject()}}}});
}

inline QJsonObject valueReply(const QJsonValue &value, int status = 200)
{
    return FakeHttpServer::json(status, QJsonObject{{QStringLiteral("value"), value}});
}

// A screenshot reply: a PNG of one colour, base64 in the value.
inline QJsonObject screenshotReply(QSize size = QSize(131, 284))
{
    return valueReply(QString::fromLatin1(pngBytes(size.width(), size.height(), QColor(20, 120, 220)).toBase64()));
}

inline QJsonObject screenshotRoute(const QString &sessionID, const QJsonArray &responses)
{
    return FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/session/%1/screenshot").arg(sessionID), responses);
}

inline QJsonObject sourceRoute(const QString &sessionID, const QJsonArray &responses)
{
    return FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/session/%1/source").arg(sessionID), responses);
}

inline QJsonObject deleteRoute(const QString &sessionID)
{
    return FakeHttpServer::route(QStringLiteral("DELETE"), QStringLiteral("/session/%1").arg(sessionID),
                                 {valueReply(QJsonValue::Null)});
}

// GET `path`: a multipart MJPEG response made of `parts`, each sent after its delay in `delaysMs`
// (the last delay repeating), looping when `endless`.
inline QJsonObject mjpegRoute(const QList<QByteArray> &parts, const QList<int> &delaysMs = {30}, bool endless = true,
                              const QString &path = QStringLiteral("/"))
{
    QJsonArray chunks;
    for (qsizetype i = 0; i < parts.size(); ++i)
        chunks.append(QJsonObject{{QStringLiteral("base64"), QString::fromLatin1(parts[i].toBase64())},
                                  {QStringLiteral("delayMs"), delaysMs.value(i, delaysMs.last())}});
    const QJsonObject headers{{QStringLiteral("Content-Type"), QStringLiteral("multipart/x-mixed-replace; boundary=--BoundaryString")}};
    return FakeHttpServer::route(QStringLiteral("GET"), path,
                                 {QJsonObject{{QStringLiteral("status"), 200}, {QStringLiteral("headers"), headers},
                                              {QStringLiteral("chunks"), chunks}, {QStringLiteral("repeatChunks"), endless}}});
}

} // namespace wda

} // namespace vantrel::test

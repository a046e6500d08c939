#pragma once

#include "support/FakeHttpServer.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace vantrel::test {

// The fake appium (tests/fakes/appium) for one test. The WebDriver replies are scripted on a
// FakeHttpServer (`http()`); the fake appium program, when started as a server on a port, forwards
// that port to it. Points VANTREL_APPIUM at the fake and restores the variables when destroyed.
class FakeAppium {
public:
    explicit FakeAppium(const QJsonObject &scenario = {});
    ~FakeAppium();
    FakeAppium(const FakeAppium &) = delete;
    FakeAppium &operator=(const FakeAppium &) = delete;

    FakeHttpServer &http() { return *m_http; }
    // A port on 127.0.0.1 that nothing listens on right now.
    static int freePort();

    // The server starts recorded by the fake program: {"args": [...], "env": {...}}.
    QList<QJsonObject> serverStarts() const;

    // Starts the fake server directly, as a server left over from an earlier run would be.
    // Returns false when it does not answer within a few seconds.
    bool startLeftoverServer(int port);
    QProcess &leftoverServer() { return m_leftover; }

    static QString programPath();

    // Scenario pieces for the WebDriver calls.
    static QJsonObject statusRoute(int status = 200);
    static QJsonObject sessionRoute(const QJsonObject &reply, int status = 200);
    static QJsonObject sourceRoute(const QString &sessionID, const QJsonObject &reply, int status = 200,
                                   int delayMs = 0);
    static QJsonObject deleteRoute(const QString &sessionID);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeHttpServer> m_http;
    QProcess m_leftover;
    QList<QPair<QByteArray, QByteArray>> m_saved;
};

} // namespace vantrel::test

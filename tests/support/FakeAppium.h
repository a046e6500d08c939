#pragma once

#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>

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

    FakeHttpServer &http() { return m_http; }
    EnvironmentOverride &environment() { return m_environment; }

    // The server starts recorded by the fake program: {"args": [...], "env": {...}}.
    QList<QJsonObject> serverStarts() const;

    // Starts the fake server directly, as a server left over from an earlier run would be.
    // Returns false when it does not answer within a few seconds.
    bool startLeftoverServer(int port);
    QProcess &leftoverServer() { return m_leftover; }

    static QString programPath();

private:
    QTemporaryDir m_dir;
    FakeHttpServer m_http;
    QProcess m_leftover;
    EnvironmentOverride m_environment;
};

} // namespace vantrel::test

#pragma once

#include "devices/ios/DeviceManager.h"
#include "devices/ios/DeviceManagerError.h"
#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/FakeIosTools.h"

#include <QString>

#include <chrono>
#include <memory>

namespace vantrel::test {

// An iPhone manager for one test: the fake iOS tools list one online iPhone (kUdid) and one
// offline (kOfflineUdid), and Appium and the MJPEG stream are both expected on `port`, or on a
// FakeHttpServer of its own that plays `scenario`. The element tree is polled every `polling`;
// readiness probes are 50 ms apart.
struct IosManagerFixture {
    static inline const QString kUdid = QStringLiteral("00008110-001A2B3C4D5E801E");
    static inline const QString kOfflineUdid = QStringLiteral("00008030-000A1B2C3D4E5F6A");

    FakeIosTools tools;
    std::unique_ptr<FakeHttpServer> server;
    DeviceManager manager;

    explicit IosManagerFixture(int port, std::chrono::milliseconds polling = std::chrono::hours(1))
    {
        tools.setDeviceListing(FakeIosTools::kListing); // kUdid online, kOfflineUdid offline
        awaitTask(manager.listDevices());
        manager.setAppiumPort(port);
        manager.setMjpegPort(port);
        manager.setTiming({polling, std::chrono::milliseconds(50)});
    }
    explicit IosManagerFixture(const QJsonObject &scenario, std::chrono::milliseconds polling = std::chrono::hours(1))
        : IosManagerFixture(0, polling)
    {
        server = std::make_unique<FakeHttpServer>(scenario);
        if (!server->isRunning())
            qFatal("%s", qPrintable(server->errorString()));
        manager.setAppiumPort(server->port());
        manager.setMjpegPort(server->port());
    }
    // Disconnects and lets the requests still under way finish, so that nothing waits on a
    // manager that is gone.
    ~IosManagerFixture()
    {
        manager.disconnect();
        waitFor([this] { return manager.requestsInFlight() == 0; }, std::chrono::seconds(30));
    }
    IosManagerFixture(const IosManagerFixture &) = delete;
    IosManagerFixture &operator=(const IosManagerFixture &) = delete;

    // connectAndWait without team or bundle ID: true when the phone ended up connected.
    bool connect() { return awaitTask(manager.connectAndWait(QString(), QString())).value.value_or(false); }
};

} // namespace vantrel::test

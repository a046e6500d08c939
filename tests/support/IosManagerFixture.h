#pragma once

#include "devices/ios/DeviceManager.h"
#include "support/FakeHttpServer.h"
#include "support/FakeIosTools.h"

#include <QString>

#include <chrono>
#include <exception>

namespace vantrel::test {

// An iPhone manager for one test: the fake iOS tools list one online iPhone (kUdid) and one
// offline (kOfflineUdid), and Appium and the MJPEG stream are both expected on `port`. The element
// tree is polled every `polling`; readiness probes are 50 ms apart.
struct IosManagerFixture {
    static inline const QString kUdid = QStringLiteral("00008110-001A2B3C4D5E801E");
    static inline const QString kOfflineUdid = QStringLiteral("00008030-000A1B2C3D4E5F6A");

    FakeIosTools tools;
    DeviceManager manager;

    explicit IosManagerFixture(int port, std::chrono::milliseconds polling = std::chrono::hours(1));
    // Disconnects and lets the requests still under way finish, so that nothing waits on a
    // manager that is gone.
    ~IosManagerFixture();
    IosManagerFixture(const IosManagerFixture &) = delete;
    IosManagerFixture &operator=(const IosManagerFixture &) = delete;

    // connectAndWait without team or bundle ID: true when the phone ended up connected.
    bool connect();
};

// The code of an error the manager raised with its own domain; -1 for anything else.
int deviceManagerErrorCode(const std::exception_ptr &exception);

// How many requests with this method and path (with query) the server has seen.
qsizetype requestCount(const FakeHttpServer &server, const QString &method, const QString &path);

} // namespace vantrel::test

#include "support/IosManagerFixture.h"

#include "devices/ios/DeviceManagerError.h"
#include "support/AwaitTask.h"

#include <QElapsedTimer>

namespace vantrel::test {

IosManagerFixture::IosManagerFixture(const QJsonObject &scenario, std::chrono::milliseconds polling)
    : server(std::make_unique<FakeHttpServer>(scenario))
{
    if (!server->isRunning())
        qFatal("%s", qPrintable(server->errorString()));
    setUp(server->port(), polling);
}

IosManagerFixture::IosManagerFixture(int port, std::chrono::milliseconds polling)
{
    setUp(port, polling);
}

void IosManagerFixture::setUp(int port, std::chrono::milliseconds polling)
{
    tools.setDeviceListing(QStringLiteral("== Devices ==\niPhone 15 (18.1) (%1)\n"
                                          "== Devices Offline ==\nOld iPhone (17.5) (%2)\n")
                               .arg(kUdid, kOfflineUdid));
    awaitTask(manager.listDevices());
    manager.setAppiumPort(port);
    manager.setMjpegPort(port);
    manager.setTiming({polling, std::chrono::milliseconds(50)});
}

IosManagerFixture::~IosManagerFixture()
{
    manager.disconnect();
    QElapsedTimer timer;
    timer.start();
    while (manager.requestsInFlight() > 0 && timer.elapsed() < 30'000)
        spinEventLoop(std::chrono::milliseconds(10));
}

bool IosManagerFixture::connect()
{
    return awaitTask(manager.connectAndWait(QString(), QString())).value.value_or(false);
}

int deviceManagerErrorCode(const std::exception_ptr &exception)
{
    if (!exception)
        return -1;
    try {
        std::rethrow_exception(exception);
    } catch (const AppError &error) {
        return error.domain == DeviceManagerError::kDomain ? error.code : -1;
    } catch (...) {
        return -1;
    }
}

} // namespace vantrel::test

#include "support/AndroidFixture.h"

#include "support/TestImages.h"

namespace vantrel::test {

AndroidFixture::AndroidFixture(bool keepAppium)
{
    environment.set("VANTREL_SHELL", "/bin/false");
    if (!keepAppium)
        environment.unset("VANTREL_APPIUM");
    adb = std::make_unique<FakeAdb>();
    adb->on(kList, {FakeAdb::reply(kHeading + kSerial + QStringLiteral(" device model:Pixel_8\nOFF1 offline\n"))});
    adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"))});
    adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(108, 240, Qt::red))});
    adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("UI hierchary dumped to: /sdcard/vantrel-window.xml\n"))});
    adb->on(FakeAdb::readDump(kSerial),
            {FakeAdb::reply(QStringLiteral("<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">"
                                           "<node class=\"android.widget.FrameLayout\" bounds=\"[0,0][1080,2400]\">"
                                           "<node resource-id=\"app:id/title\" text=\"结算\" class=\"android.widget.TextView\" "
                                           "bounds=\"[42,96][300,177]\"/></node></hierarchy>"))});
}

std::unique_ptr<AndroidDeviceManager> AndroidFixture::listedManager()
{
    auto manager = std::make_unique<AndroidDeviceManager>();
    if (!awaitTask(manager->listDevices()).succeeded())
        qWarning("listing the fake adb's phones failed");
    return manager;
}

} // namespace vantrel::test

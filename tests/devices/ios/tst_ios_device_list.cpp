#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeIosTools.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeIosTools;

namespace {

const QString kListing = QStringLiteral(
    "== Devices ==\n"
    "Jane’s MacBook Pro (14.5) (0A1B2C3D-4E5F-6789-ABCD-EF0123456789)\n"
    "Jane’s iPhone (18.0.1) (00008110-001A2B3C4D5E801E)\n"
    "\n"
    "== Devices Offline ==\n"
    "Old iPhone (17.5) (00008030-000A1B2C3D4E5F6A)\n"
    "\n"
    "== Simulators ==\n"
    "iPhone 15 Simulator (17.5) (A1B2C3D4-E5F6-7890-ABCD-EF1234567890)\n"
    "iPhone 16 Pro (18.0) (B1B2C3D4-E5F6-7890-ABCD-EF1234567890)\n");

} // namespace

class IosDeviceListTest : public QObject {
    Q_OBJECT

private slots:
    // Which lines of a listing are phones, compared with tests/data/golden/ios-device-list.txt.
    void listings()
    {
        const QString udid = u"00008110-001A2B3C4D5E801E"_s;
        const QString line = u"iPhone (17.5) (%1)\n"_s.arg(udid);
        const QStringList devices{u"plain (17.5) (%1)"_s, u"trailing spaces (17.5) (%1)   "_s, u"\t indented with tabs (17.5) (%1)\t"_s,
                                  u"Bob (work) phone (26.0) (%1)"_s, u"no-break space (17.5) (%1)\u00A0"_s, u"carriage return (17.5) (%1)\r"_s,
                                  u"udid of 24 (17.5) (00008110-001A2B3C4D5E801)"_s, u"udid not hex (17.5) (00008110-001A2B3C4D5E80XZ)"_s,
                                  u"no version (%1)"_s, u"text after udid (17.5) (%1) x"_s, u"iPhone Simulator (17.5) (%1)"_s,
                                  u"MacBook Air (15.1) (%1)"_s};
        const QList<std::pair<QString, QString>> listings{
            {u"one rule a line"_s, u"== Devices ==\n"_s + devices.join(u'\n').arg(udid) + u'\n'},
            {u"full listing"_s, kListing},
            {u"no section"_s, line},
            {u"header with two spaces"_s, u"== Devices  ==\n"_s + line},
            {u"other section"_s, u"== Other ==\n"_s + line},
            {u"indented header"_s, u"  == Devices ==  \n"_s + line},
            {u"empty"_s, QString()},
        };
        QString transcript;
        for (const auto &[name, listing] : listings) {
            transcript += u"## "_s + name + u'\n';
            for (const IOSDevice &d : DeviceManager::parseXctraceDevices(listing))
                transcript += u"  ["_s + d.name + u"] ["_s + d.osVersion + u"] ["_s + d.id + (d.isOffline ? u"] offline\n"_s : u"]\n"_s);
        }
        QVERIFY(test::compareWithGolden(u"ios-device-list.txt"_s, transcript));
    }

    void majorVersionReading()
    {
        QCOMPARE(DeviceManager::majorVersion(u"18.0.1"_s), 18);
        QCOMPARE(DeviceManager::majorVersion(u"17.5"_s), 17);
        QCOMPARE(DeviceManager::majorVersion(u"..26"_s), 26);
        QCOMPARE(DeviceManager::majorVersion(QString()), 0);
        QCOMPARE(DeviceManager::majorVersion(u"beta.1"_s), std::nullopt);
        QCOMPARE(DeviceManager::majorVersion(u" 18.0"_s), std::nullopt);
    }

    void refreshAndSelection()
    {
        FakeIosTools tools;
        tools.setDeviceListing(kListing);
        DeviceManager manager;
        manager.refreshDevices();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::preparing(u"正在查找 iPhone…"_s));
        QTRY_COMPARE_WITH_TIMEOUT(manager.connectionState().kind, DeviceConnectionState::Kind::idle, 20000);
        QCOMPARE(manager.devices(), DeviceManager::parseXctraceDevices(kListing));
        QCOMPARE(manager.selectedDeviceID(), u"00008110-001A2B3C4D5E801E"_s);
        QCOMPARE(tools.calls(u"xcrun"_s), QStringList{u"xctrace list devices"_s});

        // An offline device that is listed stays selected.
        manager.setSelectedDeviceID(u"00008030-000A1B2C3D4E5F6A"_s);
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QCOMPARE(manager.selectedDeviceID(), u"00008030-000A1B2C3D4E5F6A"_s);

        manager.setSelectedDeviceID(u"gone"_s);
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QCOMPARE(manager.selectedDeviceID(), u"00008110-001A2B3C4D5E801E"_s);

        // Only offline devices: nothing to select.
        tools.setDeviceListing(u"== Devices Offline ==\nOld iPhone (17.5) (00008030-000A1B2C3D4E5F6A)\n"_s);
        manager.setSelectedDeviceID(u"gone"_s);
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QCOMPARE(manager.devices().size(), 1);
        QCOMPARE(manager.selectedDeviceID(), std::nullopt);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());

        // The status is not examined: output with a failing status still lists devices.
        tools.setDeviceListing(kListing, 1);
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QCOMPARE(manager.devices().size(), 2);

        tools.setDeviceListing(u"== Devices ==\n== Simulators ==\n"_s, 0);
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QVERIFY(manager.devices().isEmpty());
        QCOMPARE(manager.selectedDeviceID(), std::nullopt);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"未发现已信任的 iPhone"_s));

        manager.setSelectedDeviceID(u"00008030-000A1B2C3D4E5F6A"_s);
        qputenv("VANTREL_XCRUN", "/nonexistent/xcrun");
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"未发现已信任的 iPhone"_s));
    }
};

QTEST_MAIN(IosDeviceListTest)
#include "tst_ios_device_list.moc"

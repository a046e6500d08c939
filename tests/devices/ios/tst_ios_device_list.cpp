#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeIosTools.h"
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

IOSDevice device(const QString &id, const QString &name, const QString &version, bool offline)
{
    IOSDevice d;
    d.id = id;
    d.name = name;
    d.osVersion = version;
    d.isOffline = offline;
    return d;
}

} // namespace

class IosDeviceListTest : public QObject {
    Q_OBJECT

private slots:
    void listingLineRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("udid");
        QTest::newRow("plain") << "iPhone (17.5) (00008110-001A2B3C4D5E801E)" << "iPhone" << "17.5" << "00008110-001A2B3C4D5E801E";
        QTest::newRow("trailing spaces") << "iPhone (17.5) (00008110-001A2B3C4D5E801E)   " << "iPhone" << "17.5" << "00008110-001A2B3C4D5E801E";
        QTest::newRow("indented with tabs") << "\t iPhone (17.5) (00008110-001A2B3C4D5E801E)\t" << "iPhone" << "17.5" << "00008110-001A2B3C4D5E801E";
        QTest::newRow("parentheses in name") << "Bob (work) phone (26.0) (00008110-001A2B3C4D5E801E)" << "Bob (work) phone" << "26.0" << "00008110-001A2B3C4D5E801E";
        QTest::newRow("no-break space") << u"iPhone (17.5) (00008110-001A2B3C4D5E801E)\u00A0"_s << "iPhone" << "17.5" << "00008110-001A2B3C4D5E801E";
        QTest::newRow("carriage return") << "iPhone (17.5) (00008110-001A2B3C4D5E801E)\r" << "iPhone" << "17.5" << "00008110-001A2B3C4D5E801E";
        QTest::newRow("udid of 24") << "iPhone (17.5) (00008110-001A2B3C4D5E801)" << "" << "" << "";
        QTest::newRow("udid not hex") << "iPhone (17.5) (00008110-001A2B3C4D5E80XZ)" << "" << "" << "";
        QTest::newRow("no version") << "iPhone (00008110-001A2B3C4D5E801E)" << "" << "" << "";
        QTest::newRow("text after udid") << "iPhone (17.5) (00008110-001A2B3C4D5E801E) x" << "" << "" << "";
        QTest::newRow("simulator") << "iPhone Simulator (17.5) (00008110-001A2B3C4D5E801E)" << "" << "" << "";
        QTest::newRow("macbook") << "MacBook Air (15.1) (00008110-001A2B3C4D5E801E)" << "" << "" << "";
    }

    void listingLineRules()
    {
        QFETCH(QString, line);
        QFETCH(QString, name);
        QFETCH(QString, version);
        QFETCH(QString, udid);
        const QList<IOSDevice> devices = DeviceManager::parseXctraceDevices(u"== Devices ==\n"_s + line + u'\n');
        if (udid.isEmpty()) {
            QVERIFY(devices.isEmpty());
            return;
        }
        QCOMPARE(devices.size(), 1);
        QCOMPARE(devices.at(0), device(udid, name, version, false));
    }

    void linesOutsideTheDeviceSectionsAreSkipped()
    {
        const QString line = u"iPhone (17.5) (00008110-001A2B3C4D5E801E)\n"_s;
        QVERIFY(DeviceManager::parseXctraceDevices(line).isEmpty());
        QVERIFY(DeviceManager::parseXctraceDevices(u"== Devices  ==\n"_s + line).isEmpty());
        QVERIFY(DeviceManager::parseXctraceDevices(u"== Other ==\n"_s + line).isEmpty());
        QCOMPARE(DeviceManager::parseXctraceDevices(u"  == Devices ==  \n"_s + line).size(), 1);
        QVERIFY(DeviceManager::parseXctraceDevices(QString()).isEmpty());
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
        QCOMPARE(manager.devices().size(), 2); // the Mac and the simulators are left out
        QCOMPARE(manager.devices().at(1), device(u"00008030-000A1B2C3D4E5F6A"_s, u"Old iPhone"_s, u"17.5"_s, true));
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

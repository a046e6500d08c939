#include "devices/android/AndroidDeviceManager.h"
#include "devices/android/AndroidElementXMLParser.h"
#include "devices/appium/AppiumClient.h"
#include "devices/ElementTreeSize.h"
#include "devices/GraphemeText.h"
#include "devices/appium/HttpTransportError.h"
#include "engine/AppError.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QCoreApplication>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(dataPath(QStringLiteral("android/") + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool sameGeometry(const RectValue &rect, double x, double y, double width, double height)
{
    return rect.x == x && rect.y == y && rect.width == width && rect.height == height;
}

} // namespace

class AndroidParsersTest : public QObject {
    Q_OBJECT

private slots:
    void uiautomatorDump()
    {
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(fixture(QStringLiteral("uiautomator-dump.xml")));
        // The hierarchy root has no bounds and the divider has zero height: both are skipped.
        QCOMPARE(elements.size(), 6);
        QCOMPARE(elements[0].id, QStringLiteral("android-0-[0,0][1080,2400]"));
        QCOMPARE(elements[0].type, QStringLiteral("android.widget.FrameLayout"));
        QVERIFY(sameGeometry(elements[1].rect, 0, 63, 1080, 147));

        QCOMPARE(elements[2].id, QStringLiteral("com.example.shop:id/title"));
        QCOMPARE(elements[2].value, std::optional<QString>(QStringLiteral("结算")));
        QVERIFY(!elements[2].label); // content-desc present but empty
        QCOMPARE(elements[3].label, std::optional<QString>(QStringLiteral("关闭")));
        QVERIFY(!elements[3].value); // text present but empty
        QCOMPARE(elements[5].value, std::optional<QString>(QStringLiteral("去支付 & 确认")));
        QVERIFY(sameGeometry(elements[5].rect, 720, 2090, 318, 120));
    }

    void appiumSourceLandscapeWithSingleQuotes()
    {
        const QList<DeviceElement> elements =
            AndroidElementXMLParser::parse(QString::fromUtf8(fixture(QStringLiteral("appium-source-landscape.xml"))));
        // The root's own bounds are missing; the negative and the spaced bounds do not match.
        QCOMPARE(elements.size(), 4);
        QVERIFY(sameGeometry(elements[0].rect, 0, 0, 2400, 1080));
        QCOMPARE(elements[1].id, QStringLiteral("com.example.video:id/player"));
        QCOMPARE(elements[2].type, QStringLiteral("android.widget.SeekBar"));
        QCOMPARE(elements[2].label, std::optional<QString>(QStringLiteral("播放进度")));
        QVERIFY(!elements[2].visible);                 // displayed="false"
        QVERIFY(elements[3].visible);                  // displayed="False" is not the word false
        QCOMPARE(elements[3].id, QStringLiteral("android-3-[120,40][600,110]"));
        QCOMPARE(ElementTreeSize::largest(elements)->width, 2400.0);
    }

    void missingClassAndIds()
    {
        const QString xml = QStringLiteral(
            "<hierarchy><node bounds=\"[0,0][1080,2400]\"/><node class=\"\" bounds=\"[0,63][1080,210]\"/>"
            "<node resource-id=\"\" bounds=\"[1,1][2,2]\" /></hierarchy>");
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(xml);
        QCOMPARE(elements.size(), 3);
        QCOMPARE(elements[0].type, QStringLiteral("android.view.View"));
        QCOMPARE(elements[1].type, QString()); // present but empty stays empty
        QCOMPARE(elements[2].id, QStringLiteral("android-2-[1,1][2,2]"));
    }

    void boundsPattern()
    {
        QVERIFY(AndroidElementXMLParser::parseBounds(QStringLiteral("[0,63][1080,210]")));
        const char *rejected[] = {"[0,0][0,200]x", " [0,0][10,10]", "[0,0][10,10] ", "[0,0][10,10]\n", "[-1,0][10,10]",
                                  "[0, 0][10,10]", "[0,0][10]", "[1.5,0][10,10]", "", "[٣,0][10,10]"};
        for (const char *text : rejected)
            QVERIFY2(!AndroidElementXMLParser::parseBounds(QString::fromUtf8(text)), text);
        // Digits enough to overflow: no finite bound, no element.
        const QString huge(400, u'9');
        for (const QString &text : {"[0,0][" + huge + ",10]", "[0,0][10," + huge + "]"})
            QVERIFY2(AndroidElementXMLParser::parse("<a bounds='" + text + "'/>").isEmpty(), qPrintable(text));
        // Reversed corners parse, and then fail the positive-size rule.
        const auto reversed = AndroidElementXMLParser::parseBounds(QStringLiteral("[10,10][0,0]"));
        QVERIFY(reversed && reversed->width == -10);
        QVERIFY(AndroidElementXMLParser::parse(QStringLiteral("<a bounds=\"[10,10][0,0]\"/>")).isEmpty());
        QVERIFY(AndroidElementXMLParser::parse(QStringLiteral("<a bounds=\"[0,0][0,200]\"/>")).isEmpty());
    }

    void truncatedDocumentKeepsWhatWasRead()
    {
        QByteArray dump = fixture(QStringLiteral("uiautomator-dump.xml"));
        const qsizetype cut = dump.indexOf("com.example.shop:id/total");
        QVERIFY(cut > 0);
        dump.truncate(cut);
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(dump);
        QCOMPARE(elements.size(), 4);
        QCOMPARE(elements.last().id, QStringLiteral("com.example.shop:id/close"));

        // A syntax error in the middle: elements before it are kept, nothing after it.
        const QList<DeviceElement> broken = AndroidElementXMLParser::parse(
            QStringLiteral("<h><n bounds=\"[0,0][5,5]\"/><n bounds=\"[0,0][6,6]\" <oops/><n bounds=\"[0,0][7,7]\"/></h>"));
        QCOMPARE(broken.size(), 1);
        QVERIFY(AndroidElementXMLParser::parse(QByteArray("not xml at all")).isEmpty());
    }

    void largestElementRule()
    {
        QList<DeviceElement> elements(3);
        elements[0].rect = RectValue(0, 0, 100, 50);  // area 5000
        elements[1].rect = RectValue(10, 10, 50, 100); // area 5000, later: loses the tie
        elements[2].rect = RectValue(0, 0, 70, 70);   // area 4900
        const auto size = ElementTreeSize::largest(elements);
        QVERIFY(size);
        QCOMPARE(*size, (SizeValue{100, 50}));
        QVERIFY(!ElementTreeSize::largest({}));

        QImage image(30, 20, QImage::Format_ARGB32);
        QCOMPARE(AndroidDeviceManager::screenSize({}, image), (SizeValue{30, 20}));
        QCOMPARE(AndroidDeviceManager::screenSize(elements, image), (SizeValue{100, 50}));
    }

    void deviceList()
    {
        const QString output = QStringLiteral(
            "List of devices attached\n"
            "R58N12ABCDE            device usb:1-1 product:a52qxx model:SM_A525F device:a52q transport_id:3\r\n"
            "emulator-5554\toffline\n"
            "0123456789ABCDEF       unauthorized usb:1-2 transport_id:4\n"
            "\n"
            "ZY22 no permissions; see [http://developer.android.com/tools/device.html]\n"
            "HT7A device device:generic_x86 weird model:\n"
            "lonely\n"
            "SERIAL recovery key:a:b:c model:First model:Second\x0B" "FF device\n");
        const QList<AndroidDevice> devices = AndroidDeviceManager::parseADBDevices(output);
        QCOMPARE(devices.size(), 7);
        QCOMPARE(devices[0].id, QStringLiteral("R58N12ABCDE"));
        QCOMPARE(devices[0].state, AndroidDevice::State::online);
        QCOMPARE(devices[0].name, QStringLiteral("SM A525F"));
        QCOMPARE(devices[0].model, QStringLiteral("SM A525F"));
        QCOMPARE(devices[1].state, AndroidDevice::State::offline);
        QCOMPARE(devices[1].name, QStringLiteral("Android"));
        QCOMPARE(devices[2].state, AndroidDevice::State::unauthorized);
        QCOMPARE(devices[3].id, QStringLiteral("ZY22"));
        QCOMPARE(devices[3].state, AndroidDevice::State::unknown); // "no"
        QCOMPARE(devices[4].name, QString()); // "model:" with an empty value still wins over device:
        QCOMPARE(devices[5].state, AndroidDevice::State::unknown);
        QCOMPARE(devices[5].name, QStringLiteral("First")); // a repeated key keeps its first value
        QCOMPARE(devices[6].id, QStringLiteral("FF"));        // a vertical tab ends a line

        const QList<AndroidDevice> generic = AndroidDeviceManager::parseADBDevices(
            QStringLiteral("List of devices attached\nHT7A device usb:1 device:generic_x86\n"));
        QCOMPARE(generic.size(), 1);
        QCOMPARE(generic[0].name, QStringLiteral("generic x86"));

        QVERIFY(AndroidDeviceManager::parseADBDevices(QStringLiteral("List of devices attached\n")).isEmpty());
        QVERIFY(AndroidDeviceManager::parseADBDevices(QString()).isEmpty());
        QVERIFY(AndroidDeviceManager::parseADBDevices(QStringLiteral("R58 device")).isEmpty()); // heading only
    }

    void leftoverServerKillTargets()
    {
        // "-1" would be every process of the user, "0" our own group.
        const QString own = QString::number(QCoreApplication::applicationPid());
        QCOMPARE(AndroidDeviceManager::killTargets(QStringLiteral("-1\n0\n+7\n 4321 \n12x\n99999999999\n4321\n") + own + u'\n'),
                 QStringList{QStringLiteral("4321")});
    }

    void logKeepsTheLastFiftyThousandCharacters()
    {
        AndroidDeviceManager manager;
        manager.appendLog(QString(50'000, u'a'));
        QCOMPARE(manager.logText().size(), 50'000);
        manager.appendLog(QStringLiteral("b"));
        QCOMPARE(manager.logText().size(), 50'000);
        QVERIFY(manager.logText().startsWith(u'a') && manager.logText().endsWith(u'b'));

        // User-perceived characters: a flag and an accented letter are one character each.
        AndroidDeviceManager emoji;
        const QString flag = QStringLiteral("🇨🇳"); // four code units
        const QString accented = QStringLiteral("e\u0301");
        QString text;
        for (int i = 0; i < 25'000; ++i)
            text += flag;
        for (int i = 0; i < 25'001; ++i)
            text += accented;
        emoji.appendLog(text);
        QCOMPARE(GraphemeText::count(emoji.logText()), 50'000);
        QVERIFY(emoji.logText().startsWith(flag.left(2) + flag.right(2)));
        QCOMPARE(emoji.logText().count(flag), 24'999);
        QCOMPARE(GraphemeText::left(QStringLiteral("a🇨🇳b"), 2), QStringLiteral("a🇨🇳"));
    }

    void appiumErrorMessages()
    {
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(
                     R"({"value":{"error":"unknown error","message":"Neither ANDROID_HOME nor ANDROID_SDK_ROOT environment variable was exported"}})"),
                 QStringLiteral("Appium 未获得 Android SDK 路径，请安装新版工具并重新连接"));
        const QString longMessage = QString(300, u'甲') + QString(300, u'x');
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("value"),
                                                           QJsonObject{{QStringLiteral("message"), longMessage}}}})
                                    .toJson();
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(body), longMessage.left(500) + QStringLiteral("…"));
        const QString exact(500, u'y');
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(
                     QJsonDocument(QJsonObject{{QStringLiteral("value"), QJsonObject{{QStringLiteral("message"), exact}}}}).toJson()),
                 exact);
        // Not the expected shape: the body as text.
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage("<html>Bad Gateway</html>"), QStringLiteral("<html>Bad Gateway</html>"));
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(R"({"value":{"message":42}})"), QStringLiteral(R"({"value":{"message":42}})"));
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(R"({"value":"plain"})"), QStringLiteral(R"({"value":"plain"})"));
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(QByteArray("\xff\xfe", 2)), QStringLiteral("Appium HTTP 请求失败"));
    }

    void sessionReplyAndServerArguments()
    {
        const auto id = [](const char *json) { return AppiumClient::sessionIdFrom(QJsonDocument::fromJson(json)); };
        QCOMPARE(id(R"({"value":{"sessionId":"inner"},"sessionId":"outer"})"), std::optional<QString>(QStringLiteral("inner")));
        QCOMPARE(id(R"({"value":{"capabilities":{}},"sessionId":"outer"})"), std::optional<QString>(QStringLiteral("outer")));
        QVERIFY(!id(R"({"value":{}})"));
        QVERIFY(!id(R"({"value":null,"sessionId":"outer"})")); // "value" must be an object
        QVERIFY(!id(R"({"value":{"sessionId":7}})"));
        QVERIFY(!id(R"([1,2])"));

        QCOMPARE(AppiumClient::androidServerArguments().mid(2, 2), (QStringList{"--port", "4731"}));
        QCOMPARE(AppiumClient::iosServerArguments(),
                 (QStringList{"--address", "127.0.0.1", "--port", "4723", "--base-path", "/"}));
        QVERIFY(AppiumClient::driverListMentions(QStringLiteral(R"({"uiautomator2":{"version":"3"}})"), QStringLiteral("uiautomator2")));
        QVERIFY(!AppiumClient::driverListMentions(QStringLiteral("uiautomator2 is missing"), QStringLiteral("uiautomator2")));
    }

    void stateMessagesAndTimeouts()
    {
        QCOMPARE(AndroidDeviceManager::stateMessage(AndroidDevice::State::offline), QStringLiteral("Android 设备离线，请重新插拔 USB"));
        QCOMPARE(AndroidDeviceManager::stateMessage(AndroidDevice::State::unauthorized),
                 QStringLiteral("请在 Android 手机上允许此电脑进行 USB 调试"));
        QCOMPARE(AndroidDeviceManager::stateMessage(AndroidDevice::State::unknown), QStringLiteral("Android 设备状态异常"));

        QVERIFY(AndroidDeviceManager::isTimeout(HttpTransportError(QNetworkReply::TimeoutError, true, QStringLiteral("x"))));
        QVERIFY(AndroidDeviceManager::isTimeout(AppError(QStringLiteral("d"), 14, QStringLiteral("Request Timed Out after 15s"))));
        QVERIFY(AndroidDeviceManager::isTimeout(AppError(QStringLiteral("d"), 14, QStringLiteral("请求超时"))));
        QVERIFY(!AndroidDeviceManager::isTimeout(
            HttpTransportError(QNetworkReply::ConnectionRefusedError, false, QStringLiteral("无法连接"))));
        QVERIFY(!AndroidDeviceManager::isTimeout(AppError(QStringLiteral("d"), 9, QStringLiteral("Appium 未返回 Android UI 层级"))));
    }
};

QTEST_GUILESS_MAIN(AndroidParsersTest)
#include "tst_android_parsers.moc"

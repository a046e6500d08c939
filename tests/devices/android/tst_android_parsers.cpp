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
using namespace Qt::StringLiterals;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(dataPath(u"android/"_s + name));
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
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(fixture(u"uiautomator-dump.xml"_s));
        // The hierarchy root has no bounds and the divider has zero height: both are skipped.
        QCOMPARE(elements.size(), 6);
        QCOMPARE(elements[0].id, u"android-0-[0,0][1080,2400]"_s);
        QCOMPARE(elements[0].type, u"android.widget.FrameLayout"_s);
        QVERIFY(sameGeometry(elements[1].rect, 0, 63, 1080, 147));

        QCOMPARE(elements[2].id, u"com.example.shop:id/title"_s);
        QCOMPARE(elements[2].value, u"结算"_s);
        QVERIFY(!elements[2].label); // content-desc present but empty
        QCOMPARE(elements[3].label, u"关闭"_s);
        QVERIFY(!elements[3].value); // text present but empty
        QCOMPARE(elements[5].value, u"去支付 & 确认"_s);
        QVERIFY(sameGeometry(elements[5].rect, 720, 2090, 318, 120));
    }

    void appiumSourceLandscapeWithSingleQuotes()
    {
        const QList<DeviceElement> elements =
            AndroidElementXMLParser::parse(QString::fromUtf8(fixture(u"appium-source-landscape.xml"_s)));
        // The root's own bounds are missing; the negative and the spaced bounds do not match.
        QCOMPARE(elements.size(), 4);
        QVERIFY(sameGeometry(elements[0].rect, 0, 0, 2400, 1080));
        QCOMPARE(elements[1].id, u"com.example.video:id/player"_s);
        QCOMPARE(elements[2].type, u"android.widget.SeekBar"_s);
        QCOMPARE(elements[2].label, u"播放进度"_s);
        QVERIFY(!elements[2].visible);                 // displayed="false"
        QVERIFY(elements[3].visible);                  // displayed="False" is not the word false
        QCOMPARE(elements[3].id, u"android-3-[120,40][600,110]"_s);
        QCOMPARE(ElementTreeSize::largest(elements)->width, 2400.0);
    }

    void missingClassAndIds()
    {
        const QString xml = QStringLiteral(
            "<hierarchy><node bounds=\"[0,0][1080,2400]\"/><node class=\"\" bounds=\"[0,63][1080,210]\"/>"
            "<node resource-id=\"\" bounds=\"[1,1][2,2]\" /></hierarchy>");
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(xml);
        QCOMPARE(elements.size(), 3);
        QCOMPARE(elements[0].type, u"android.view.View"_s);
        QCOMPARE(elements[1].type, QString()); // present but empty stays empty
        QCOMPARE(elements[2].id, u"android-2-[1,1][2,2]"_s);
    }

    void boundsPattern()
    {
        QVERIFY(AndroidElementXMLParser::parseBounds(u"[0,63][1080,210]"_s));
        const char *rejected[] = {"[0,0][0,200]x", " [0,0][10,10]", "[0,0][10,10] ", "[0,0][10,10]\n", "[-1,0][10,10]",
                                  "[0, 0][10,10]", "[0,0][10]", "[1.5,0][10,10]", "", "[٣,0][10,10]"};
        for (const char *text : rejected)
            QVERIFY2(!AndroidElementXMLParser::parseBounds(QString::fromUtf8(text)), text);
        // Digits enough to overflow: no finite bound, no element.
        const QString huge(400, u'9');
        for (const QString &text : {"[0,0][" + huge + ",10]", "[0,0][10," + huge + "]"})
            QVERIFY2(AndroidElementXMLParser::parse("<a bounds='" + text + "'/>").isEmpty(), qPrintable(text));
        // Reversed corners parse, and then fail the positive-size rule.
        const auto reversed = AndroidElementXMLParser::parseBounds(u"[10,10][0,0]"_s);
        QVERIFY(reversed && reversed->width == -10);
        QVERIFY(AndroidElementXMLParser::parse(u"<a bounds=\"[10,10][0,0]\"/>"_s).isEmpty());
        QVERIFY(AndroidElementXMLParser::parse(u"<a bounds=\"[0,0][0,200]\"/>"_s).isEmpty());
    }

    void truncatedDocumentKeepsWhatWasRead()
    {
        QByteArray dump = fixture(u"uiautomator-dump.xml"_s);
        const qsizetype cut = dump.indexOf("com.example.shop:id/total");
        QVERIFY(cut > 0);
        dump.truncate(cut);
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(dump);
        QCOMPARE(elements.size(), 4);
        QCOMPARE(elements.last().id, u"com.example.shop:id/close"_s);

        // A syntax error in the middle: elements before it are kept, nothing after it.
        const QList<DeviceElement> broken = AndroidElementXMLParser::parse(
            u"<h><n bounds=\"[0,0][5,5]\"/><n bounds=\"[0,0][6,6]\" <oops/><n bounds=\"[0,0][7,7]\"/></h>"_s);
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
        QCOMPARE(devices[0].id, u"R58N12ABCDE"_s);
        QCOMPARE(devices[0].state, AndroidDevice::State::online);
        QCOMPARE(devices[0].name, u"SM A525F"_s);
        QCOMPARE(devices[0].model, u"SM A525F"_s);
        QCOMPARE(devices[1].state, AndroidDevice::State::offline);
        QCOMPARE(devices[1].name, u"Android"_s);
        QCOMPARE(devices[2].state, AndroidDevice::State::unauthorized);
        QCOMPARE(devices[3].id, u"ZY22"_s);
        QCOMPARE(devices[3].state, AndroidDevice::State::unknown); // "no"
        QCOMPARE(devices[4].name, QString()); // "model:" with an empty value still wins over device:
        QCOMPARE(devices[5].state, AndroidDevice::State::unknown);
        QCOMPARE(devices[5].name, u"First"_s); // a repeated key keeps its first value
        QCOMPARE(devices[6].id, u"FF"_s);        // a vertical tab ends a line

        const QList<AndroidDevice> generic = AndroidDeviceManager::parseADBDevices(
            u"List of devices attached\nHT7A device usb:1 device:generic_x86\n"_s);
        QCOMPARE(generic.size(), 1);
        QCOMPARE(generic[0].name, u"generic x86"_s);

        QVERIFY(AndroidDeviceManager::parseADBDevices(u"List of devices attached\n"_s).isEmpty());
        QVERIFY(AndroidDeviceManager::parseADBDevices(QString()).isEmpty());
        QVERIFY(AndroidDeviceManager::parseADBDevices(u"R58 device"_s).isEmpty()); // heading only
    }

    void leftoverServerKillTargets()
    {
        // "-1" would be every process of the user, "0" our own group.
        const QString own = QString::number(QCoreApplication::applicationPid());
        QCOMPARE(AndroidDeviceManager::killTargets(u"-1\n0\n+7\n 4321 \n12x\n99999999999\n4321\n"_s + own + u'\n'),
                 QStringList{u"4321"_s});
    }

    void logKeepsTheLastFiftyThousandCharacters()
    {
        AndroidDeviceManager manager;
        manager.appendLog(QString(50'000, u'a'));
        QCOMPARE(manager.logText().size(), 50'000);
        manager.appendLog(u"b"_s);
        QCOMPARE(manager.logText().size(), 50'000);
        QVERIFY(manager.logText().startsWith(u'a') && manager.logText().endsWith(u'b'));

        // User-perceived characters: a flag and an accented letter are one character each.
        AndroidDeviceManager emoji;
        const QString flag = u"🇨🇳"_s; // four code units
        const QString accented = u"e\u0301"_s;
        QString text;
        for (int i = 0; i < 25'000; ++i)
            text += flag;
        for (int i = 0; i < 25'001; ++i)
            text += accented;
        emoji.appendLog(text);
        QCOMPARE(GraphemeText::count(emoji.logText()), 50'000);
        QVERIFY(emoji.logText().startsWith(flag.left(2) + flag.right(2)));
        QCOMPARE(emoji.logText().count(flag), 24'999);
        QCOMPARE(GraphemeText::left(u"a🇨🇳b"_s, 2), u"a🇨🇳"_s);
    }

    void appiumErrorMessages()
    {
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(
                     R"({"value":{"error":"unknown error","message":"Neither ANDROID_HOME nor ANDROID_SDK_ROOT environment variable was exported"}})"),
                 u"Appium 未获得 Android SDK 路径，请安装新版工具并重新连接"_s);
        const QString longMessage = QString(300, u'甲') + QString(300, u'x');
        const QByteArray body = QJsonDocument(QJsonObject{{u"value"_s,
                                                           QJsonObject{{u"message"_s, longMessage}}}})
                                    .toJson();
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(body), longMessage.left(500) + u"…"_s);
        const QString exact(500, u'y');
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(
                     QJsonDocument(QJsonObject{{u"value"_s, QJsonObject{{u"message"_s, exact}}}}).toJson()),
                 exact);
        // Not the expected shape: the body as text.
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage("<html>Bad Gateway</html>"), u"<html>Bad Gateway</html>"_s);
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(R"({"value":{"message":42}})"), uR"({"value":{"message":42}})"_s);
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(R"({"value":"plain"})"), uR"({"value":"plain"})"_s);
        QCOMPARE(AndroidDeviceManager::appiumErrorMessage(QByteArray("\xff\xfe", 2)), u"Appium HTTP 请求失败"_s);
    }

    void sessionReplyAndDriverList()
    {
        const auto id = [](const char *json) { return AppiumClient::sessionIdFrom(QJsonDocument::fromJson(json)); };
        QCOMPARE(id(R"({"value":{"sessionId":"inner"},"sessionId":"outer"})"), u"inner"_s);
        QVERIFY(!id(R"({"value":null,"sessionId":"outer"})")); // "value" must be an object
        QVERIFY(!id(R"({"value":{"sessionId":7}})"));
        QVERIFY(!id(R"([1,2])"));
        QVERIFY(AppiumClient::driverListMentions(uR"({"uiautomator2":{"version":"3"}})"_s, u"uiautomator2"_s));
        QVERIFY(!AppiumClient::driverListMentions(u"uiautomator2 is missing"_s, u"uiautomator2"_s));
    }

    void stateMessagesAndTimeouts()
    {
        // (The offline and unauthorised texts are checked through the listing in tst_android_devices.)
        QCOMPARE(AndroidDeviceManager::stateMessage(AndroidDevice::State::unknown), u"Android 设备状态异常"_s);

        QVERIFY(AndroidDeviceManager::isTimeout(HttpTransportError(QNetworkReply::TimeoutError, true, u"x"_s)));
        QVERIFY(AndroidDeviceManager::isTimeout(AppError(u"d"_s, 14, u"Request Timed Out after 15s"_s)));
        QVERIFY(AndroidDeviceManager::isTimeout(AppError(u"d"_s, 14, u"请求超时"_s)));
        QVERIFY(!AndroidDeviceManager::isTimeout(
            HttpTransportError(QNetworkReply::ConnectionRefusedError, false, u"无法连接"_s)));
        QVERIFY(!AndroidDeviceManager::isTimeout(AppError(u"d"_s, 9, u"Appium 未返回 Android UI 层级"_s)));
    }
};

QTEST_GUILESS_MAIN(AndroidParsersTest)
#include "tst_android_parsers.moc"

// The Android side's readers of outside text (element trees, bounds, adb's device list, lsof's
// answer, Appium's replies) and the log's cap. The parsed trees and lists are compared with
// expected transcripts in tests/data/golden.
#include "devices/android/AndroidDeviceManager.h"
#include "devices/android/AndroidElementXMLParser.h"
#include "devices/appium/AppiumClient.h"
#include "devices/appium/HttpTransportError.h"
#include "devices/ElementTreeSize.h"
#include "devices/GraphemeText.h"
#include "engine/AppError.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
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

QString quoted(const std::optional<QString> &text) { return text ? u'"' + *text + u'"' : u"-"_s; }

QString rect(const RectValue &r) { return u"%1,%2 %3x%4"_s.arg(r.x).arg(r.y).arg(r.width).arg(r.height); }

// One line per element, then the size the largest element gives.
QString describe(const QList<DeviceElement> &elements)
{
    QString text;
    for (const DeviceElement &e : elements)
        text += u"  %1 | %2 | %3 | %4 | %5%6\n"_s.arg(e.id, e.type, quoted(e.label), quoted(e.value), rect(e.rect),
                                                     e.visible ? QString() : u" | hidden"_s);
    const auto size = ElementTreeSize::largest(elements);
    return text + u"  largest: "_s + (size ? u"%1x%2"_s.arg(size->width).arg(size->height) : u"none"_s) + u'\n';
}

} // namespace

class AndroidParsersTest : public QObject {
    Q_OBJECT

private slots:
    void transcripts()
    {
        QByteArray cut = fixture(u"uiautomator-dump.xml"_s);
        cut.truncate(cut.indexOf("com.example.shop:id/total"));
        const QString huge(400, u'9');
        const QList<std::pair<QString, QByteArray>> trees{
            {u"uiautomator-dump.xml"_s, fixture(u"uiautomator-dump.xml"_s)},
            {u"dump cut short"_s, cut},
            {u"missing class and ids"_s, R"(<hierarchy><node bounds="[0,0][1080,2400]"/><node class="" bounds="[0,63][1080,210]"/>
                                          <node resource-id="" bounds="[1,1][2,2]" /></hierarchy>)"},
            {u"syntax error"_s, R"(<h><n bounds="[0,0][5,5]"/><n bounds="[0,0][6,6]" <oops/><n bounds="[0,0][7,7]"/></h>)"},
            {u"not xml"_s, "not xml at all"},
            {u"no size, reversed, overflowing"_s, "<h><a bounds='[0,0][0,200]'/><a bounds='[10,10][0,0]'/><a bounds='[0,0]["
                                                      + huge.toLatin1() + ",10]'/><a bounds='[0,0][10," + huge.toLatin1() + "]'/></h>"},
            {u"equal areas"_s, "<h><a bounds='[0,0][100,50]'/><a bounds='[10,10][60,110]'/><a bounds='[0,0][70,70]'/></h>"},
        };
        QString transcript;
        for (const auto &[name, xml] : trees)
            transcript += u"== "_s + name + u'\n' + describe(AndroidElementXMLParser::parse(xml));
        // Appium's page source arrives as text.
        transcript += u"== appium-source-landscape.xml\n"_s
            + describe(AndroidElementXMLParser::parse(QString::fromUtf8(fixture(u"appium-source-landscape.xml"_s))));

        transcript += u"== bounds\n"_s;
        for (const QString &bounds : {u"[0,63][1080,210]"_s, u"[10,10][0,0]"_s, u"[0,0][0,200]x"_s, u" [0,0][10,10]"_s,
                                      u"[0,0][10,10] "_s, u"[0,0][10,10]\n"_s, u"[-1,0][10,10]"_s, u"[0, 0][10,10]"_s,
                                      u"[0,0][10]"_s, u"[1.5,0][10,10]"_s, QString(), u"[٣,0][10,10]"_s}) {
            const auto parsed = AndroidElementXMLParser::parseBounds(bounds);
            transcript += u"  "_s + QString(bounds).replace(u'\n', u"\\n"_s) + u" -> "_s + (parsed ? rect(*parsed) : u"none"_s) + u'\n';
        }

        transcript += u"== adb-devices-l.txt\n"_s;
        for (const AndroidDevice &d : AndroidDeviceManager::parseADBDevices(QString::fromUtf8(fixture(u"adb-devices-l.txt"_s))))
            transcript += u"  "_s + u"%1 | %2 | \"%3\" | \"%4\" | %5"_s.arg(d.id, rawValue(d.state), d.name, d.model, AndroidDeviceManager::stateMessage(d.state)).trimmed() + u'\n';
        // Only a heading, or a first line that is taken for one.
        for (const QString &output : {u"List of devices attached\n"_s, QString(), u"R58 device"_s})
            transcript += u"  %1 devices\n"_s.arg(AndroidDeviceManager::parseADBDevices(output).size());
        // Appium's error bodies: the message shown, long ones by their length and ends.
        transcript += u"== Appium error bodies\n"_s;
        const auto withMessage = [](const QString &text) { return QJsonDocument(QJsonObject{{u"value"_s, QJsonObject{{u"message"_s, text}}}}).toJson(); };
        for (const QByteArray &body : {QByteArray(R"({"value":{"error":"unknown error","message":"Neither ANDROID_HOME nor ANDROID_SDK_ROOT environment variable was exported"}})"),
                                       withMessage(QString(300, u'甲') + QString(300, u'x')), withMessage(QString(500, u'y')), QByteArray("<html>Bad Gateway</html>"),
                                       QByteArray(R"({"value":{"message":42}})"), QByteArray(R"({"value":"plain"})"), QByteArray("\xff\xfe", 2)}) {
            const QString message = AndroidDeviceManager::appiumErrorMessage(body);
            transcript += u"  %1 characters: %2\n"_s.arg(GraphemeText::count(message)).arg(message.size() > 80 ? message.left(3) + u" ... "_s + message.right(3) : message);
        }
        transcript += u"== session IDs\n "_s;
        for (const char *reply : {R"({"value":{"sessionId":"inner"},"sessionId":"outer"})", R"({"value":null,"sessionId":"outer"})",
                                  R"({"value":{"sessionId":7}})", "[1,2]"})
            transcript += u' ' + AppiumClient::sessionIdFrom(QJsonDocument::fromJson(reply)).value_or(u"none"_s);
        // lsof's answer: "-1" would be every process of the user, "0" our own group.
        const QString own = QString::number(QCoreApplication::applicationPid());
        transcript += u"\n== kill targets\n  "_s + AndroidDeviceManager::killTargets(u"-1\n0\n+7\n 4321 \n12x\n99999999999\n4321\n"_s + own + u'\n').join(u' ') + u'\n';
        QVERIFY(compareWithGolden(u"android-parsers.txt"_s, transcript));
    }

    void logKeepsTheLastFiftyThousandCharacters()
    {
        // The newest 50000 user-perceived characters: a flag (four code units) and an accented
        // letter are one each.
        AndroidDeviceManager emoji;
        const QString flag = u"🇨🇳"_s;
        emoji.appendLog(flag.repeated(25'000) + u"e\u0301"_s.repeated(25'001));
        QCOMPARE(GraphemeText::count(emoji.logText()), 50'000);
        QVERIFY(emoji.logText().startsWith(flag));
        QCOMPARE(emoji.logText().count(flag), 24'999);
        QCOMPARE(GraphemeText::left(u"a🇨🇳b"_s, 2), u"a🇨🇳"_s);
    }

    void driverListAndTimeouts()
    {
        QVERIFY(AppiumClient::driverListMentions(uR"({"uiautomator2":{"version":"3"}})"_s, u"uiautomator2"_s));
        QVERIFY(!AppiumClient::driverListMentions(u"uiautomator2 is missing"_s, u"uiautomator2"_s));

        QVERIFY(AndroidDeviceManager::isTimeout(HttpTransportError(QNetworkReply::TimeoutError, true, u"x"_s)));
        QVERIFY(AndroidDeviceManager::isTimeout(AppError(u"d"_s, 14, u"Request Timed Out after 15s"_s)));
        QVERIFY(AndroidDeviceManager::isTimeout(AppError(u"d"_s, 14, u"请求超时"_s)));
        QVERIFY(!AndroidDeviceManager::isTimeout(HttpTransportError(QNetworkReply::ConnectionRefusedError, false, u"无法连接"_s)));
        QVERIFY(!AndroidDeviceManager::isTimeout(AppError(u"d"_s, 9, u"Appium 未返回 Android UI 层级"_s)));
    }
};

QTEST_GUILESS_MAIN(AndroidParsersTest)
#include "tst_android_parsers.moc"

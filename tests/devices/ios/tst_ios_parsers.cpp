// What the iPhone side reads: WebDriverAgent's element tree and the JPEGs of its MJPEG stream.
#include "devices/ios/DeviceElementXMLParser.h"
#include "devices/ios/MJPEGFrameScanner.h"

#include "support/Golden.h"
#include "support/MjpegTestData.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;

namespace {

QString frame(double x, double y, double w, double h)
{
    return uR"(x="%1" y="%2" width="%3" height="%4")"_s.arg(x).arg(y).arg(w).arg(h);
}

QString optional(const std::optional<QString> &text)
{
    return text ? u'"' + *text + u'"' : u"none"_s;
}

// One line per element: id | type | label | value | x y width height | visibility.
QString dump(const QList<DeviceElement> &elements)
{
    QString text;
    for (const DeviceElement &e : elements)
        text += u"  "_s + e.id + u" | "_s + e.type + u" | "_s + optional(e.label) + u" | "_s + optional(e.value) + u" | "_s
            + QString::number(e.rect.x, 'g', 17) + u' ' + QString::number(e.rect.y, 'g', 17) + u' '
            + QString::number(e.rect.width, 'g', 17) + u' ' + QString::number(e.rect.height, 'g', 17)
            + (e.visible ? u" | visible\n"_s : u" | hidden\n"_s);
    return text;
}

const QByteArray kSoi("\xFF\xD8", 2);
const QByteArray kEoi("\xFF\xD9", 2);

// Feeds the chunks one by one, taking the frames after each and limiting the buffer.
QList<QByteArray> scan(MJPEGFrameScanner &scanner, const QList<QByteArray> &chunks)
{
    QList<QByteArray> frames;
    for (const QByteArray &chunk : chunks) {
        scanner.append(chunk);
        while (auto frame = scanner.takeFrame())
            frames.append(*frame);
        scanner.limitSize();
    }
    return frames;
}

} // namespace

class IosParsersTest : public QObject {
    Q_OBJECT

private slots:
    // Every document's elements, compared with tests/data/golden/ios-elements.txt.
    void documents()
    {
        QFile settings(test::dataPath(u"ios/wda-source-settings.xml"_s));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QString one = frame(0, 0, 1, 1);
        const QString nested = uR"(<r><A name="1" %1><B name="2" %1/><C name="3" %1/></A><D name="4" %1/></r>)"_s.arg(one);
        QString notUnicode = uR"(<r><A name="x" %1/></r>)"_s.arg(one);
        notUnicode.insert(1, QChar(0xD800)); // a lone surrogate cannot be encoded as UTF-8
        const QList<std::pair<QString, QString>> documents{
            {u"settings screen"_s, QString::fromUtf8(settings.readAll())},
            // Sizes must be positive; a child is judged on its own size, not its parent's.
            {u"sizes"_s, uR"(<r><A type="A" name="zero" %1><B type="B" name="child" %2/></A><C type="C" name="negative" %3/>)"
                         R"(<D type="D" name="flat" %4/></r>)"_s.arg(frame(0, 0, 0, 10), frame(1, 1, 5, 5), frame(0, 0, -3, 10),
                                                                     frame(0, 0, 10, 0))},
            {u"ids and types"_s, uR"(<r><Tag uid="U1" name="N1" %1/><Tag name="same" %1/><Tag name="same" %1/><Other %2/></r>)"_s
                                     .arg(frame(1, 2, 3, 4), frame(-3, 1e3, 1, 1))},
            {u"visibility"_s, uR"(<r><A name="1" visible="false" %1/><A name="2" visible="False" %1/><A name="3" %1/>)"
                              R"(<A name="4" visible="0" %1/></r>)"_s.arg(one)},
            {u"cut inside the start tag of C"_s, nested.left(nested.indexOf(u"<C"_s) + 8)},
            {u"mismatched end tag before D"_s, QString(nested).replace(u"</A>"_s, u"</X>"_s)},
            {u"not xml"_s, u"not xml at all"_s},
            {u"empty"_s, QString()},
            {u"not unicode"_s, notUnicode},
        };
        QString transcript;
        for (const auto &[name, xml] : documents)
            transcript += u"## "_s + name + u'\n' + dump(DeviceElementXMLParser::parse(xml));
        QVERIFY(test::compareWithGolden(u"ios-elements.txt"_s, transcript));
    }

    // How numbers are read (as strtod does, finite only) and written back in their shortest form,
    // compared with tests/data/golden/ios-element-numbers.txt.
    void numbers()
    {
        QString transcript;
        for (const char *text : {"12", "12.5", "1e3", "+7", "0x10", ".5", " 20", "20 ", "", "12,5", "inf", "-INFINITY", "nan", "1e999"}) {
            const std::optional<double> number = DeviceElementXMLParser::readNumber(QString::fromLatin1(text));
            transcript += u"read ["_s + QLatin1String(text) + u"] "_s + (number ? QString::number(*number, 'g', 17) : u"none"_s) + u'\n';
        }
        for (double value : {16.0, 52.5, -0.0, 99.66666666666667, 1e16, 1e-5}) {
            const QString text = DeviceElementXMLParser::shortestDecimal(value);
            // Whatever the form, it reads back as the same number.
            QCOMPARE(DeviceElementXMLParser::readNumber(text).value_or(-1.5), value);
            transcript += u"write "_s + QString::number(value, 'g', 17) + u" as "_s + text + u'\n';
        }
        QVERIFY(test::compareWithGolden(u"ios-element-numbers.txt"_s, transcript));
    }

    void frames_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QByteArray>("left"); // what stays buffered
        const QByteArray red = test::jpegFrame({8, 8}, Qt::red);
        const QByteArray blue = test::jpegFrame({9, 7}, Qt::blue);
        const QByteArray twoParts = test::mjpegPart(red) + test::mjpegPart(blue);
        QList<QByteArray> bytes;
        for (char byte : twoParts)
            bytes << QByteArray(1, byte);
        QTest::newRow("two in one chunk, headers left out")
            << QList<QByteArray>{twoParts + "--Bound"} << QList<QByteArray>{red, blue} << QByteArray("\r\n--Bound");
        QTest::newRow("byte by byte") << bytes << QList<QByteArray>{red, blue} << QByteArray("\r\n");
        QTest::newRow("split inside both markers")
            << QList<QByteArray>{"xx\xFF", "\xD8" "body\xFF", "\xD9"} << QList<QByteArray>{kSoi + "body" + kEoi} << QByteArray();
        QTest::newRow("ends at the first end marker")
            << QList<QByteArray>{kSoi + "thumb" + kEoi + "rest" + kEoi} << QList<QByteArray>{kSoi + "thumb" + kEoi} << "rest" + kEoi;
        QTest::newRow("end before start ignored")
            << QList<QByteArray>{kEoi + "junk" + kSoi + "a", kEoi} << QList<QByteArray>{kSoi + "a" + kEoi} << QByteArray();
        // An unfinished frame is kept whole up to 16 MiB; past it, only its last 2 MiB, and a frame
        // after the cut is still found.
        const QByteArray full = kSoi + QByteArray((16 << 20) - 2, 'a');
        QTest::newRow("at the limit") << QList<QByteArray>{kSoi, full.mid(2)} << QList<QByteArray>{} << full;
        QTest::newRow("one byte past it") << QList<QByteArray>{kSoi, full.mid(2) + 'z'} << QList<QByteArray>{} << (full + 'z').right(2 << 20);
        QTest::newRow("after the cut")
            << QList<QByteArray>{kSoi, full.mid(2) + 'z', kSoi + "x" + kEoi} << QList<QByteArray>{kSoi + "x" + kEoi} << QByteArray();
    }
    void frames()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QByteArray, left);
        MJPEGFrameScanner scanner;
        QCOMPARE(scan(scanner, chunks), frames);
        QCOMPARE(scanner.buffer(), left);
    }

};

QTEST_GUILESS_MAIN(IosParsersTest)
#include "tst_ios_parsers.moc"

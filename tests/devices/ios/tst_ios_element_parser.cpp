#include "devices/ios/DeviceElementXMLParser.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;

namespace {

QString frame(double x, double y, double w, double h)
{
    return uR"(x="%1" y="%2" width="%3" height="%4")"_s
        .arg(x).arg(y).arg(w).arg(h);
}

QByteArray readData(const QString &name)
{
    QFile file(test::dataPath(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", qPrintable(name));
    return file.readAll();
}

} // namespace

class IosElementParserTest : public QObject {
    Q_OBJECT

private slots:
    void realisticSourceIsFlattenedInDocumentOrder()
    {
        const QList<DeviceElement> elements = DeviceElementXMLParser::parse(readData(u"ios/wda-source-settings.xml"_s));
        // Application, window, other, navigation bar, text, table, cell, switch, hidden cell, button.
        QCOMPARE(elements.size(), 10);
        QCOMPARE(elements.at(0).type, u"XCUIElementTypeApplication"_s);
        QCOMPARE(elements.at(0).id, u"设置"_s);
        // The window has neither uid nor name: type, x, y and the number already collected.
        QCOMPARE(elements.at(1).id, u"XCUIElementTypeWindow-0.0-0.0-1"_s);
        const DeviceElement &text = elements.at(4);
        QCOMPARE(text.type, u"XCUIElementTypeStaticText"_s);
        QCOMPARE(text.label, u"设置"_s);
        QCOMPARE(text.value, u"设置"_s);
        QCOMPARE(text.rect.y, 99.66666666666667);
        QCOMPARE(text.rect.width, 102.0);
        const DeviceElement &hiddenCell = elements.at(8);
        QVERIFY(!hiddenCell.visible);
        QCOMPARE(hiddenCell.label, std::optional<QString>(QString()));
        QVERIFY(hiddenCell.value == std::nullopt);
        QCOMPARE(hiddenCell.id, u"XCUIElementTypeCell-16.0-900.0-8"_s);
        QCOMPARE(elements.at(7).id, u"飞行模式"_s);
    }

    void sizesMustBePositiveAndDescendantsAreJudgedAlone()
    {
        const QString xml = QStringLiteral(
            R"(<r><A type="A" name="zero" %1><B type="B" name="child" %2/></A>)"
            R"(<C type="C" name="negative" %3/><D type="D" name="flat" %4/></r>)")
                                .arg(frame(0, 0, 0, 10), frame(1, 1, 5, 5), frame(0, 0, -3, 10), frame(0, 0, 10, 0));
        const QList<DeviceElement> elements = DeviceElementXMLParser::parse(xml);
        QCOMPARE(elements.size(), 1);
        QCOMPARE(elements.at(0).id, u"child"_s);
        QCOMPARE(elements.at(0).rect, RectValue(elements.at(0).rect.id, 1, 1, 5, 5));
    }

    void idPrefersUidThenNameAndTypeFallsBackToTag()
    {
        const QString xml = QStringLiteral(
            R"(<r><Tag uid="U1" name="N1" %1/><Tag name="same" %1/><Tag name="same" %1/><Other %2/></r>)")
                                .arg(frame(1, 2, 3, 4), frame(-3, 1e3, 1, 1));
        const QList<DeviceElement> elements = DeviceElementXMLParser::parse(xml);
        QCOMPARE(elements.size(), 4);
        QCOMPARE(elements.at(0).id, u"U1"_s);
        QCOMPARE(elements.at(1).id, u"same"_s);
        QCOMPARE(elements.at(2).id, u"same"_s);
        QCOMPARE(elements.at(3).type, u"Other"_s);
        QCOMPARE(elements.at(3).id, u"Other--3.0-1000.0-3"_s);
        QVERIFY(elements.at(0).label == std::nullopt);
    }

    void numbersFollowStrtodExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<double>("value");
        QTest::newRow("integer") << "12" << true << 12.0;
        QTest::newRow("fraction") << "12.5" << true << 12.5;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("plus sign") << "+7" << true << 7.0;
        QTest::newRow("hex float") << "0x10" << true << 16.0;
        QTest::newRow("leading dot") << ".5" << true << 0.5;
        QTest::newRow("leading space") << " 20" << false << 0.0;
        QTest::newRow("trailing space") << "20 " << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("comma decimal") << "12,5" << false << 0.0;
        QTest::newRow("infinity") << "inf" << false << 0.0;
        QTest::newRow("negative infinity") << "-INFINITY" << false << 0.0;
        QTest::newRow("not a number") << "nan" << false << 0.0;
        QTest::newRow("overflow") << "1e999" << false << 0.0;
    }

    void numbersFollowStrtodExactly()
    {
        QFETCH(QString, text);
        QFETCH(bool, reads);
        QFETCH(double, value);
        const std::optional<double> number = DeviceElementXMLParser::readNumber(text);
        QCOMPARE(number.has_value(), reads);
        if (reads)
            QCOMPARE(*number, value);
    }

    void shortestDecimalForm_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer") << 16.0 << "16.0";
        QTest::newRow("half") << 52.5 << "52.5";
        QTest::newRow("negative zero") << -0.0 << "-0.0";
        QTest::newRow("third") << 99.66666666666667 << "99.66666666666667";
        QTest::newRow("large") << 1e16 << "1e+16";
        QTest::newRow("tiny") << 1e-5 << "1e-05";
    }

    void shortestDecimalForm()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(DeviceElementXMLParser::shortestDecimal(value), text);
        // Whatever the form, it reads back as the same number.
        QCOMPARE(DeviceElementXMLParser::readNumber(text).value_or(-1.5), value);
    }

    void visibilityIsFalseOnlyForExactFalse()
    {
        const QString xml = QStringLiteral(
            R"(<r><A name="1" visible="false" %1/><A name="2" visible="False" %1/><A name="3" %1/><A name="4" visible="0" %1/></r>)")
                                .arg(frame(0, 0, 1, 1));
        const QList<DeviceElement> elements = DeviceElementXMLParser::parse(xml);
        QList<bool> visible;
        for (const DeviceElement &e : elements)
            visible << e.visible;
        QCOMPARE(visible, (QList<bool>{false, true, true, true}));
    }

    void malformedDocumentKeepsElementsBeforeTheError()
    {
        const QString full = QStringLiteral(
            R"(<r><A name="1" %1><B name="2" %1/><C name="3" %1/></A><D name="4" %1/></r>)")
                                 .arg(frame(0, 0, 1, 1));
        // Cut inside the start tag of C: A and B were read.
        const qsizetype cut = full.indexOf(u"<C"_s) + 8;
        const QList<DeviceElement> truncated = DeviceElementXMLParser::parse(full.left(cut));
        QCOMPARE(truncated.size(), 2);
        QCOMPARE(truncated.at(1).id, u"2"_s);

        // A mismatched end tag stops the reader; D comes after it and is never read.
        QString broken = full;
        broken.replace(u"</A>"_s, u"</X>"_s);
        const QList<DeviceElement> mismatched = DeviceElementXMLParser::parse(broken);
        QCOMPARE(mismatched.size(), 3);

        QVERIFY(DeviceElementXMLParser::parse(u"not xml at all"_s).isEmpty());
        QVERIFY(DeviceElementXMLParser::parse(QString()).isEmpty());
    }

    void textThatIsNotUnicodeYieldsNothing()
    {
        QString xml = uR"(<r><A name="x" x="0" y="0" width="1" height="1"/></r>)"_s;
        QCOMPARE(DeviceElementXMLParser::parse(xml).size(), 1);
        xml.insert(1, QChar(0xD800)); // a lone surrogate cannot be encoded as UTF-8
        QVERIFY(DeviceElementXMLParser::parse(xml).isEmpty());
    }
};

QTEST_GUILESS_MAIN(IosElementParserTest)
#include "tst_ios_element_parser.moc"

#include "engine/ModelJson.h"

#include <QJsonDocument>
#include <QTest>

using namespace vantrel;

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void settingsRoundTripKeepsEveryField()
    {
        ComparisonSettings s;
        s.pixelThreshold = 30.5;
        s.regionMinimumArea = 50;
        s.manualOffsetX = -3.25;
        s.designCropBottom = 0.1;
        s.ignoredRegions = {RectValue(0.1, 0.2, 0.3, 0.4)};
        s.ignoreStatusBar = true;
        const QJsonObject o = json::toJson(s);
        QCOMPARE(o.keys().size(), 12);
        QCOMPARE(json::settingsFromJson(o), s);
    }

    void settingsDecodeRejectsMissingOrMistypedKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined = remove the key
        QTest::newRow("missing ignoreStatusBar") << "ignoreStatusBar" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("missing ignoredRegions") << "ignoredRegions" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("fractional minimum area") << "regionMinimumArea" << QJsonValue(36.5);
        QTest::newRow("threshold as text") << "pixelThreshold" << QJsonValue(QStringLiteral("24"));
        QTest::newRow("null crop") << "designCropTop" << QJsonValue(QJsonValue::Null);
        QTest::newRow("boolean as number") << "ignoreStatusBar" << QJsonValue(1);
    }
    void settingsDecodeRejectsMissingOrMistypedKeys()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject o = json::toJson(ComparisonSettings());
        if (value.isUndefined())
            o.remove(key);
        else
            o.insert(key, value);
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, json::settingsFromJson(o));
    }

    void regionWithoutIdFailsTheWholeSettings()
    {
        QJsonObject o = json::toJson(ComparisonSettings());
        QJsonObject region = json::toJson(RectValue(0, 0, 1, 1));
        region.remove(QStringLiteral("id"));
        o.insert(QStringLiteral("ignoredRegions"), QJsonArray{region});
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, json::settingsFromJson(o));
    }

    void issueJsonOmitsAbsentRectanglesAndUsesLabels()
    {
        ComparisonIssue issue;
        issue.category = IssueCategory::missing;
        issue.severity = IssueSeverity::high;
        issue.title = QStringLiteral("缺少设计元素：标题");
        issue.detail = QStringLiteral("d");
        issue.designRect = RectValue(0.1, 0.1, 0.2, 0.2);
        const QJsonObject o = json::toJson(issue);
        QVERIFY(!o.contains(QStringLiteral("deviceRect")));
        QCOMPARE(o.value(QStringLiteral("category")).toString(), QStringLiteral("缺失"));
        QCOMPARE(o.value(QStringLiteral("severity")).toString(), QStringLiteral("高"));
        const QString id = o.value(QStringLiteral("id")).toString();
        QCOMPARE(id.size(), 36);
        QCOMPARE(id, id.toUpper());
        const ComparisonIssue back = json::issueFromJson(o);
        QCOMPARE(back, issue);
        QVERIFY(!back.deviceRect);

        QJsonObject withNull = o;
        withNull.insert(QStringLiteral("deviceRect"), QJsonValue::Null);
        QVERIFY(!json::issueFromJson(withNull).deviceRect);
    }

    void issueWithUnknownLabelsFails()
    {
        QJsonObject o = json::toJson(ComparisonIssue());
        o.insert(QStringLiteral("severity"), QStringLiteral("严重"));
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, json::issueFromJson(o));
        o = json::toJson(ComparisonIssue());
        o.insert(QStringLiteral("category"), QStringLiteral("visual"));
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, json::issueFromJson(o));
    }

    void designNodeOptionalFields()
    {
        DesignNode node;
        node.id = QStringLiteral("1:2");
        node.name = QStringLiteral("Title");
        node.type = QStringLiteral("TEXT");
        node.text = QString(); // present but empty stays present
        node.rect = RectValue(1, 2, 3, 4);
        node.fontSize = 17;
        const QJsonObject o = json::toJson(node);
        QVERIFY(o.contains(QStringLiteral("text")));
        QVERIFY(!o.contains(QStringLiteral("fillHex")));
        QVERIFY(!o.contains(QStringLiteral("cornerRadius")));
        QCOMPARE(json::designNodeFromJson(o), node);
    }

    void historyEntryDatesAreUtcWholeSeconds()
    {
        ComparisonHistoryEntry e;
        e.id = QUuid::createUuid();
        e.createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 30, 15, 678), Qt::UTC);
        e.designName = QStringLiteral("首页");
        e.deviceName = QStringLiteral("iPhone");
        e.score = 97.25;
        e.status = kStatusDifferent;
        e.directoryName = QStringLiteral("20250314-093015-ABCDEF12");
        const QJsonObject o = json::toJson(e);
        QCOMPARE(o.value(QStringLiteral("createdAt")).toString(), QStringLiteral("2025-03-14T09:30:15Z"));
        const ComparisonHistoryEntry back = json::historyEntryFromJson(o);
        QCOMPARE(back.createdAt, QDateTime(QDate(2025, 3, 14), QTime(9, 30, 15), Qt::UTC));
        QCOMPARE(back.id, e.id);

        QJsonObject noZone = o;
        noZone.insert(QStringLiteral("createdAt"), QStringLiteral("2025-03-14T09:30:15"));
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, json::historyEntryFromJson(noZone));
        QJsonObject badId = o;
        badId.insert(QStringLiteral("id"), QStringLiteral("not-a-uuid"));
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, json::historyEntryFromJson(badId));
    }

    void prettyBytesSortKeys()
    {
        const QByteArray bytes = json::prettyBytes(json::toJson(SizeValue{3, 4}));
        QVERIFY(bytes.indexOf("\"height\"") < bytes.indexOf("\"width\"") && bytes.contains('\n'));
    }

    void comparisonTextRules()
    {
        DeviceElement e;
        e.label = QStringLiteral("  确认 \n");
        e.value = QStringLiteral("x");
        QCOMPARE(e.comparisonText(), QStringLiteral("确认"));
        e.label = QStringLiteral("   ");
        e.value = QStringLiteral("  值 ");
        QCOMPARE(e.comparisonText(), QStringLiteral("  值 "));
        e.label.reset();
        e.value.reset();
        QCOMPARE(e.comparisonText(), QString());
    }

    void rectanglesWithOtherIdsDiffer()
    {
        const RectValue a(1, 2, 3, 4);
        RectValue b(1, 2, 3, 4);
        QVERIFY(a.id != b.id);
        QVERIFY(!(a == b));
        b.id = a.id;
        QVERIFY(a == b);
        QVERIFY(a.contains(1, 2));
        QVERIFY(!a.contains(4, 2)); // right edge is outside
    }

    void pixelSizeIgnoresPointSize()
    {
        QImage image(1179, 2556, QImage::Format_RGB32);
        image.setDevicePixelRatio(3);
        QCOMPARE(pixelSizeValue(image), (SizeValue{1179, 2556}));
        QVERIFY(!pngData(QImage()));
        QVERIFY(pngData(image)->startsWith("\x89PNG"));
    }

};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"

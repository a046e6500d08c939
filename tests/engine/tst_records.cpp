#include "engine/ModelJson.h"

#include <QTest>

using namespace vantrel;

namespace {

ComparisonHistoryEntry historyEntry()
{
    ComparisonHistoryEntry e;
    e.id = QUuid::createUuid();
    e.createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 30, 15), Qt::UTC);
    e.designName = QStringLiteral("首页");
    return e;
}

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordsRoundTripAndValueRules()
    {
        ComparisonSettings s;
        s.pixelThreshold = 30.5;
        s.manualOffsetX = -3.25;
        s.designCropBottom = 0.1;
        s.ignoredRegions = {RectValue(0.1, 0.2, 0.3, 0.4)};
        s.ignoreStatusBar = true;
        QCOMPARE(json::settingsFromJson(json::toJson(s)), s);

        DesignNode node;
        node.text = QString(); // a present empty text stays present
        QCOMPARE(json::designNodeFromJson(json::toJson(node)), node);

        ComparisonIssue issue;
        issue.category = IssueCategory::missing;
        issue.severity = IssueSeverity::high;
        issue.designRect = RectValue(0.1, 0.1, 0.2, 0.2);
        QJsonObject o = json::toJson(issue);
        QVERIFY(!o.contains(QStringLiteral("deviceRect")));
        QCOMPARE(json::issueFromJson(o), issue);
        o.insert(QStringLiteral("deviceRect"), QJsonValue::Null);
        QVERIFY(!json::issueFromJson(o).deviceRect);
        QCOMPARE(json::historyEntryFromJson(json::toJson(historyEntry())).designName, QStringLiteral("首页")); // a valid base

        // The trimmed label, else the value as it is.
        DeviceElement e;
        e.label = QStringLiteral("  确认 \n");
        e.value = QStringLiteral("x");
        QCOMPARE(e.comparisonText(), QStringLiteral("确认"));
        e.label = QStringLiteral("   ");
        e.value = QStringLiteral("  值 ");
        QCOMPARE(e.comparisonText(), QStringLiteral("  值 "));

        QVERIFY(RectValue(1, 2, 3, 4).contains(1, 2) && !RectValue(1, 2, 3, 4).contains(4, 2)); // right edge outside

        QImage image(1179, 2556, QImage::Format_RGB32);
        image.setDevicePixelRatio(3);
        QCOMPARE(pixelSizeValue(image), (SizeValue{1179, 2556}));
    }

    void decodersRefuseWhatTheyCannotHold_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined = remove the key
        QJsonObject region = json::toJson(RectValue(0, 0, 1, 1));
        region.remove(QStringLiteral("id"));
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("missing ignoreStatusBar") << "settings" << "ignoreStatusBar" << none;
        QTest::newRow("missing ignoredRegions") << "settings" << "ignoredRegions" << none;
        QTest::newRow("threshold as text") << "settings" << "pixelThreshold" << QJsonValue("24");
        QTest::newRow("null crop") << "settings" << "designCropTop" << QJsonValue(QJsonValue::Null);
        QTest::newRow("boolean as number") << "settings" << "ignoreStatusBar" << QJsonValue(1);
        QTest::newRow("region without id") << "settings" << "ignoredRegions" << QJsonValue(QJsonArray{region});
        QTest::newRow("unknown severity") << "issue" << "severity" << QJsonValue("严重");
        QTest::newRow("unknown category") << "issue" << "category" << QJsonValue("visual");
        QTest::newRow("date without zone") << "entry" << "createdAt" << QJsonValue("2025-03-14T09:30:15");
        QTest::newRow("id not a uuid") << "entry" << "id" << QJsonValue("not-a-uuid");
    }
    void decodersRefuseWhatTheyCannotHold()
    {
        QFETCH(QString, record);
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject o = record == "settings" ? json::toJson(ComparisonSettings())
                        : record == "issue"  ? json::toJson(ComparisonIssue())
                                             : json::toJson(historyEntry());
        if (value.isUndefined())
            o.remove(key);
        else
            o.insert(key, value);
        const auto decode = [&] {
            record == "settings" ? void(json::settingsFromJson(o))
            : record == "issue"  ? void(json::issueFromJson(o))
                                 : void(json::historyEntryFromJson(o));
        };
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, decode());
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"

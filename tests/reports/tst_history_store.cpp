#include "support/ReportTestData.h"
#include "support/TestEnvironment.h"

#include "engine/FileWriter.h"
#include "engine/ModelJson.h"
#include "reports/ComparisonHistoryStore.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace vantrel;
using vantrel::test::ReportTestData;

namespace {

ComparisonHistoryEntry save(const ComparisonHistoryStore &store, const QString &designName = QStringLiteral("d"))
{
    return store.save(ReportTestData::result(ReportTestData::numberedIssues(1)), designName, QStringLiteral("p"));
}

QString entryFile(const ComparisonHistoryStore &store, const ComparisonHistoryEntry &entry, const QString &name)
{
    return store.rootPath() + u'/' + entry.directoryName + u'/' + name;
}

} // namespace

class HistoryStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void saveWritesSevenFilesAndLoadsBack()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.filePath(QStringLiteral("nested/History")));
        ComparisonResult result = ReportTestData::result(ReportTestData::numberedIssues(2));
        const QDateTime createdAt = result.createdAt.addMSecs(450);
        result.createdAt = createdAt;
        const ComparisonHistoryEntry entry = store.save(result, QStringLiteral("首页"), QStringLiteral("iPhone 15"));

        QVERIFY(QRegularExpression(QStringLiteral("^20250314-093015-[0-9A-F]{8}$")).match(entry.directoryName).hasMatch());
        QVERIFY(json::uuidString(entry.id).startsWith(entry.directoryName.right(8)));
        QCOMPARE(QDir(store.rootPath() + u'/' + entry.directoryName).entryList(QDir::Files, QDir::Name),
                 (QStringList{"aligned-design.png", "design.png", "device.png", "entry.json", "heatmap.png",
                              "overlay.png", "result.json"}));

        const QList<ComparisonHistoryEntry> listed = store.entries();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].designName, QStringLiteral("首页"));
        QCOMPARE(listed[0].createdAt, createdAt.addMSecs(-450)); // whole seconds
        const std::optional<ComparisonResult> loaded = store.load(entry);
        QVERIFY(loaded);
        QCOMPARE(loaded->issues, result.issues);
        QCOMPARE(loaded->meanColorDelta, result.meanColorDelta);
        QCOMPARE(loaded->designImage.size(), result.designImage.size());
        // The straight-alpha heat map comes back neither wrapped nor brightened.
        QCOMPARE(loaded->heatmapImage.convertToFormat(QImage::Format_RGBA8888), result.heatmapImage);
    }

    void incompleteOrCorruptEntries()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        const ComparisonHistoryEntry noHeatmap = save(store);
        QVERIFY(QFile::remove(entryFile(store, noHeatmap, "heatmap.png")));
        QVERIFY(!store.load(noHeatmap));
        const ComparisonHistoryEntry badResult = save(store);
        FileWriter::writeAtomically(entryFile(store, badResult, "result.json"), "{\"score\": 1}");
        QVERIFY(!store.load(badResult));
        QCOMPARE(store.entries().size(), 2); // both still listed

        // An entry.json that does not decode, folders without one and stray files are left out.
        FileWriter::writeAtomically(entryFile(store, save(store), "entry.json"), "{ not json");
        QDir(store.rootPath()).mkdir(QStringLiteral("empty-folder"));
        FileWriter::writeAtomically(store.rootPath() + QStringLiteral("/stray.txt"), "x");
        QCOMPARE(store.entries().size(), 2);
        QVERIFY(ComparisonHistoryStore(dir.filePath(QStringLiteral("missing"))).entries().isEmpty());
    }

    void entriesAreNewestFirstAndStable()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        const QDateTime t(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC);
        // Folders whose names sort a, b, c: the two at the same second keep that listing order.
        const auto put = [&](const QString &folder, const QDateTime &when) {
            ComparisonHistoryEntry e;
            e.id = QUuid::createUuid();
            e.createdAt = when;
            e.designName = folder;
            e.status = kStatusConsistent;
            e.directoryName = folder;
            FileWriter::makeDirectory(dir.filePath(folder));
            FileWriter::writeAtomically(dir.filePath(folder + QStringLiteral("/entry.json")), json::prettyBytes(json::toJson(e)));
        };
        put(QStringLiteral("a"), t);
        put(QStringLiteral("b"), t.addSecs(60));
        put(QStringLiteral("c"), t);
        QStringList order;
        for (const ComparisonHistoryEntry &e : store.entries())
            order << e.designName;
        QCOMPARE(order, (QStringList{"b", "a", "c"}));
    }

    void imageThatCannotBeEncodedStopsTheSave()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        ComparisonResult result = ReportTestData::result({});
        result.designImage = QImage();
        try {
            store.save(result, QStringLiteral("d"), QStringLiteral("p"));
            QFAIL("save succeeded without a design image");
        } catch (const AppError &e) {
            QCOMPARE(e.code, 31);
            QCOMPARE(e.description, QStringLiteral("无法生成历史记录图片"));
        }
        const QStringList folders = QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        QCOMPARE(QDir(dir.filePath(folders[0])).entryList(QDir::Files, QDir::Name),
                 (QStringList{"device.png", "entry.json", "result.json"}));
        QVERIFY(!store.load(store.entries().value(0)));
    }

    void numbersJsonCannotHoldAreRefusedBeforeAnythingIsWritten()
    {
        QTemporaryDir dir;
        ComparisonResult result = ReportTestData::result(ReportTestData::numberedIssues(1));
        result.issues[0].deviceRect->x = std::numeric_limits<double>::infinity();
        try {
            ComparisonHistoryStore(dir.path()).save(result, QStringLiteral("d"), QStringLiteral("p"));
            QFAIL("an entry that could never be read back was saved");
        } catch (const FileWriteError &e) {
            QVERIFY(e.message.contains(QStringLiteral("字段 x")));
        }
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void tamperedDirectoryNamesNeverLeaveTheRoot()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.filePath(QStringLiteral("History")));
        ComparisonHistoryEntry entry = save(store);
        // A complete entry outside the root, reachable by a relative or absolute name.
        QVERIFY(QDir().rename(store.rootPath() + u'/' + entry.directoryName, dir.filePath(QStringLiteral("outside"))));
        for (const QString &name : {QStringLiteral("../outside"), dir.filePath(QStringLiteral("outside")),
                                    QStringLiteral("outside"), QStringLiteral(".."), QStringLiteral("."), QString()}) {
            entry.directoryName = name;
            QVERIFY2(!store.load(entry), qPrintable(name));
        }
        QVERIFY(QDir().rename(dir.filePath(QStringLiteral("outside")), store.rootPath() + QStringLiteral("/moved")));
        entry.directoryName = QStringLiteral("moved");
        QVERIFY(store.load(entry));
    }
};

QTEST_MAIN(HistoryStoreTest)
#include "tst_history_store.moc"

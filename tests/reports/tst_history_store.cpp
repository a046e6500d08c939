#include "support/TestEnvironment.h"

#include "engine/FileWriter.h"
#include "engine/ModelJson.h"
#include "reports/ComparisonHistoryStore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace vantrel;

namespace {

QImage filled(int w, int h, QColor c)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(c);
    return image;
}

ComparisonResult sampleResult(const QDateTime &createdAt)
{
    ComparisonResult r;
    r.createdAt = createdAt;
    r.score = 87.456;
    r.changedPixelRatio = 0.05;
    r.meanColorDelta = 3.25;
    r.status = kStatusDifferent;
    ComparisonIssue issue;
    issue.category = IssueCategory::text;
    issue.severity = IssueSeverity::high;
    issue.title = QStringLiteral("文本不一致：标题");
    issue.detail = QStringLiteral("设计稿“A”，真机“B”");
    issue.deviceRect = RectValue(0.1, 0.2, 0.3, 0.4);
    r.issues = {issue};
    r.deviceImage = filled(30, 60, Qt::white);
    r.designImage = filled(20, 40, Qt::blue);
    r.alignedDesignImage = filled(30, 60, Qt::blue);
    r.heatmapImage = filled(30, 60, QColor(255, 100, 28, 200));
    r.overlayImage = filled(30, 60, Qt::gray);
    return r;
}

void writeText(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class HistoryStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultRootIsUnderTheUserDataFolder()
    {
        const test::TemporaryHome home;
        QCOMPARE(ComparisonHistoryStore().rootPath(), home.path() + QStringLiteral("/.local/share/Vantrel/History"));
    }

    void saveWritesSevenFilesAndLoadsBack()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.filePath(QStringLiteral("nested/History")));
        const QDateTime createdAt(QDate(2025, 3, 14), QTime(9, 30, 15, 450), Qt::LocalTime);
        const ComparisonResult result = sampleResult(createdAt);
        const ComparisonHistoryEntry entry = store.save(result, QStringLiteral("首页"), QStringLiteral("iPhone 15"));

        QVERIFY(QRegularExpression(QStringLiteral("^20250314-093015-[0-9A-F]{8}$")).match(entry.directoryName).hasMatch());
        QVERIFY(json::uuidString(entry.id).startsWith(entry.directoryName.right(8)));
        const QDir entryDir(store.rootPath() + u'/' + entry.directoryName);
        QCOMPARE(entryDir.entryList(QDir::Files, QDir::Name),
                 (QStringList{"aligned-design.png", "design.png", "device.png", "entry.json", "heatmap.png",
                              "overlay.png", "result.json"}));

        const QList<ComparisonHistoryEntry> listed = store.entries();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].designName, QStringLiteral("首页"));
        QCOMPARE(listed[0].createdAt, createdAt.addMSecs(-450)); // whole seconds

        const std::optional<ComparisonResult> loaded = store.load(entry);
        QVERIFY(loaded);
        QCOMPARE(loaded->issues, result.issues);
        QCOMPARE(loaded->createdAt, createdAt.addMSecs(-450));
        QCOMPARE(loaded->meanColorDelta, 3.25);
        QCOMPARE(loaded->designImage.size(), QSize(20, 40));
        QCOMPARE(QColor(loaded->heatmapImage.pixel(0, 0)).green(), 100); // not wrapped or brightened
    }

    void incompleteOrCorruptEntries()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        const ComparisonHistoryEntry entry = store.save(sampleResult(QDateTime::currentDateTime()), QStringLiteral("d"), QStringLiteral("p"));
        QVERIFY(QFile::remove(store.rootPath() + u'/' + entry.directoryName + QStringLiteral("/heatmap.png")));
        QCOMPARE(store.entries().size(), 1);
        QVERIFY(!store.load(entry));

        const ComparisonHistoryEntry second = store.save(sampleResult(QDateTime::currentDateTime()), QStringLiteral("d"), QStringLiteral("p"));
        writeText(store.rootPath() + u'/' + second.directoryName + QStringLiteral("/result.json"), "{\"score\": 1}");
        QVERIFY(!store.load(second));

        // An entry.json that does not decode, folders without one and stray files are left out.
        const ComparisonHistoryEntry bad = store.save(sampleResult(QDateTime::currentDateTime()), QStringLiteral("bad"), QStringLiteral("p"));
        writeText(store.rootPath() + u'/' + bad.directoryName + QStringLiteral("/entry.json"), "{ not json");
        QDir(store.rootPath()).mkdir(QStringLiteral("empty-folder"));
        writeText(store.rootPath() + QStringLiteral("/stray.txt"), "x");
        const QList<ComparisonHistoryEntry> listed = store.entries();
        QCOMPARE(listed.size(), 2);
        QVERIFY(ComparisonHistoryStore(dir.filePath(QStringLiteral("missing"))).entries().isEmpty());
    }

    void entriesAreNewestFirstAndStable()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        const QDateTime t(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC);
        // Written in this order into folders whose names sort a, b, c: the two at the same second
        // keep that listing order.
        const auto put = [&](const QString &folder, const QDateTime &when, const QString &name) {
            ComparisonHistoryEntry e;
            e.id = QUuid::createUuid();
            e.createdAt = when;
            e.designName = name;
            e.status = kStatusConsistent;
            e.directoryName = folder;
            QDir(dir.path()).mkdir(folder);
            writeText(dir.path() + u'/' + folder + QStringLiteral("/entry.json"), json::prettyBytes(json::toJson(e)));
        };
        put(QStringLiteral("a"), t, QStringLiteral("first"));
        put(QStringLiteral("b"), t.addSecs(60), QStringLiteral("newest"));
        put(QStringLiteral("c"), t, QStringLiteral("second"));
        const QList<ComparisonHistoryEntry> listed = store.entries();
        QCOMPARE(listed.size(), 3);
        QCOMPARE(listed[0].designName, QStringLiteral("newest"));
        QCOMPARE(listed[1].designName, QStringLiteral("first"));
        QCOMPARE(listed[2].designName, QStringLiteral("second"));
    }

    void imageThatCannotBeEncodedStopsTheSave()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        ComparisonResult result = sampleResult(QDateTime::currentDateTime());
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
        QCOMPARE(QDir(dir.path() + u'/' + folders[0]).entryList(QDir::Files, QDir::Name),
                 (QStringList{"device.png", "entry.json", "result.json"}));
        QCOMPARE(store.entries().size(), 1);
        QVERIFY(!store.load(store.entries().first()));
    }

    void numbersJsonCannotHoldAreRefusedBeforeAnythingIsWritten()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.path());
        ComparisonResult result = sampleResult(QDateTime::currentDateTime());
        result.issues[0].deviceRect->x = std::numeric_limits<double>::infinity();
        try {
            store.save(result, QStringLiteral("d"), QStringLiteral("p"));
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
        const ComparisonHistoryEntry real = store.save(sampleResult(QDateTime::currentDateTime()), QStringLiteral("d"), QStringLiteral("p"));
        // A complete entry outside the root, reachable by a relative or absolute name.
        QVERIFY(QDir().rename(store.rootPath() + u'/' + real.directoryName, dir.filePath(QStringLiteral("outside"))));
        for (const QString &name : {QStringLiteral("../outside"), dir.filePath(QStringLiteral("outside")),
                                    QStringLiteral(".."), QStringLiteral("."), QString()}) {
            ComparisonHistoryEntry tampered = real;
            tampered.directoryName = name;
            QVERIFY2(!store.load(tampered), qPrintable(name));
        }
        ComparisonHistoryEntry plain = real;
        plain.directoryName = QStringLiteral("outside");
        QVERIFY(!store.load(plain)); // not below the root
        QVERIFY(QDir().rename(dir.filePath(QStringLiteral("outside")), store.rootPath() + QStringLiteral("/moved")));
        plain.directoryName = QStringLiteral("moved");
        QVERIFY(store.load(plain));
    }
};

QTEST_MAIN(HistoryStoreTest)
#include "tst_history_store.moc"

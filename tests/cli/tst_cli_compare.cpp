#include "support/CliRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include "engine/ModelJson.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QString example(const char *name)
{
    return QStringLiteral(VANTREL_SOURCE_DIR "/examples/") + QLatin1String(name);
}

QJsonObject parse(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

QString write(const TemporaryHome &home, const QString &name, const QByteArray &bytes)
{
    QFile file(home.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
}

} // namespace

class CliCompareTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exampleShowsDifferencesAsJson()
    {
        const TemporaryHome home;
        const CliRun run = runCli({"compare", "--device", example("checkout-device.png"), "--design",
                                   example("checkout-design.png"), "--json", "-"});
        QCOMPARE(run.exitCode, 1);
        const QJsonObject o = parse(run.out);
        QCOMPARE(o.value("status").toString(), QStringLiteral("存在差异"));
        const double score = o.value("score").toDouble();
        QVERIFY(score > 50 && score < 99.5);
        const QJsonArray issues = o.value("issues").toArray();
        QVERIFY(!issues.isEmpty() && issues.size() <= 24); // a visual-only design: visual issues only
        QCOMPARE(issues.first().toObject().value("category").toString(), QStringLiteral("视觉"));
        const QJsonObject first = issues.first().toObject();
        QVERIFY(first.contains("deviceRect") && first.contains("designRect"));
        QVERIFY(o.value("createdAt").toString().endsWith(u'Z'));
        QVERIFY(o.contains("changedPixelRatio") && o.contains("meanColorDelta"));
    }

    void identicalScreensExitZeroAndSaveHistory()
    {
        const TemporaryHome home;
        const CliRun empty = runCli({"history", "list", "--json"});
        const QJsonDocument none = QJsonDocument::fromJson(empty.out);
        QVERIFY2(empty.exitCode == 0 && none.isArray() && none.array().isEmpty(), empty.out.constData());
        const QString design = home.filePath("首页 设计.v2.png");
        QVERIFY(QFile::copy(example("checkout-device.png"), design));
        const QString json = home.filePath("out.json");
        const CliRun run = runCli({"compare", "--device", example("checkout-device.png"), "--design", design,
                                   "--json", json, "--save-history"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.outText().contains(QStringLiteral("一致")));
        QVERIFY(run.errText().contains(QStringLiteral("已保存到历史记录")));
        QFile file(json);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(parse(file.readAll()).value("score").toDouble(), 100.0);

        const CliRun list = runCli({"history", "list", "--json"});
        QCOMPARE(list.exitCode, 0);
        const QJsonArray entries = QJsonDocument::fromJson(list.out).array();
        QCOMPARE(entries.size(), 1);
        const ComparisonHistoryEntry entry = json::historyEntryFromJson(entries.first().toObject());
        QCOMPARE(entry.deviceName, QStringLiteral("导入截图"));
        QCOMPARE(entry.designName, QStringLiteral("首页 设计.v2"));
        QCOMPARE(entry.status, QStringLiteral("一致"));

        const CliRun text = runCli({"history", "list"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY(text.outText().contains(entry.directoryName));
    }

    void settingsFileIsReadStrictly()
    {
        const TemporaryHome home;
        ComparisonSettings settings;
        settings.pixelThreshold = 255; // nothing counts as changed
        const QString good = write(home, "settings.json", json::prettyBytes(json::toJson(settings)));
        const CliRun loose = runCli({"compare", "--device", example("checkout-device.png"), "--design",
                                     example("checkout-design.png"), "--settings", good, "--json", "-"});
        QCOMPARE(parse(loose.out).value("changedPixelRatio").toDouble(), 0.0);

        QJsonObject broken = json::toJson(ComparisonSettings());
        broken.insert("regionMinimumArea", 36.5);
        const QString bad = write(home, "bad.json", QJsonDocument(broken).toJson());
        const CliRun run = runCli({"compare", "--device", example("checkout-device.png"), "--design",
                                   example("checkout-design.png"), "--settings", bad});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(bad));
        QVERIFY(run.errText().contains("regionMinimumArea"));
        QCOMPARE(run.errText().count(u'\n'), 1);
        QVERIFY(run.out.isEmpty());
    }

    void inputErrorsAreOneClearLine()
    {
        const TemporaryHome home;
        // Option errors are one line in Chinese, followed by the usage.
        CliRun bad = runCli({"compare", "--colour", "red"});
        QCOMPARE(bad.exitCode, 2);
        QVERIFY2(bad.errText().startsWith(QStringLiteral("未知选项 colour。用法：compare ")), qPrintable(bad.errText()));
        bad = runCli({"compare", "--device"});
        QVERIFY2(bad.errText().startsWith(QStringLiteral("选项 --device 缺少取值。用法：")), qPrintable(bad.errText()));

        CliRun run = runCli({"compare", "--device", home.filePath("none.png"), "--design", example("checkout-design.png")});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errText(), QStringLiteral("文件不存在：") + home.filePath("none.png") + u'\n');

        // Not an image, and a cut-off palette PNG (Qt's decoder, whose libpng would print its own
        // "libpng error" line): one line each.
        QImage palette(64, 48, QImage::Format_Indexed8);
        palette.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        palette.fill(1);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && palette.save(&buffer, "png"));
        for (const QString &unreadable : {write(home, "notes.png", "this is not an image"),
                                          write(home, "cut.png", bytes.left(bytes.size() / 2))}) {
            run = runCli({"compare", "--device", example("checkout-device.png"), "--design", unreadable});
            QCOMPARE(run.exitCode, 2);
            QCOMPARE(run.errText(), QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP：") + unreadable + u'\n');
        }

        // A PNG header that claims 60000 x 60000 pixels is refused before any pixel is decoded.
        run = runCli({"compare", "--device", write(home, "huge.png", pngClaiming(60000, 60000)), "--design",
                      example("checkout-design.png")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errText().contains(QStringLiteral("图片尺寸过大")), qPrintable(run.errText()));

        run = runCli({"compare", "--device", example("checkout-device.png")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains("--design"));
        const QStringList bogus{"compare", "--device", example("checkout-device.png"), "--design",
                                example("checkout-design.png"), "--bogus"};
        for (const QStringList &arguments : {bogus, QStringList{"frobnicate"}, QStringList{"history"}})
            QCOMPARE(runCli(arguments).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(CliCompareTest)
#include "tst_cli_compare.moc"

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
        QCOMPARE(o.value("comparisonSize").toObject().value("width").toInt(), 720);
        QCOMPARE(o.value("comparisonSize").toObject().value("height").toInt(), 1561);
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
        QFile good(home.filePath("settings.json"));
        QVERIFY(good.open(QIODevice::WriteOnly));
        good.write(json::prettyBytes(json::toJson(settings)));
        good.close();
        const CliRun loose = runCli({"compare", "--device", example("checkout-device.png"), "--design",
                                     example("checkout-design.png"), "--settings", good.fileName(), "--json", "-"});
        QCOMPARE(parse(loose.out).value("changedPixelRatio").toDouble(), 0.0);

        QJsonObject broken = json::toJson(ComparisonSettings());
        broken.insert("regionMinimumArea", 36.5);
        QFile bad(home.filePath("bad.json"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QJsonDocument(broken).toJson());
        bad.close();
        const CliRun run = runCli({"compare", "--device", example("checkout-device.png"), "--design",
                                   example("checkout-design.png"), "--settings", bad.fileName()});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(bad.fileName()));
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

        QFile text(home.filePath("notes.png"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is not an image");
        text.close();
        run = runCli({"compare", "--device", example("checkout-device.png"), "--design", text.fileName()});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errText(), QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP：") + text.fileName() + u'\n');

        // A PNG header that claims 60000 x 60000 pixels is refused before any pixel is decoded.
        QFile big(home.filePath("huge.png"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(pngClaiming(60000, 60000));
        big.close();
        run = runCli({"compare", "--device", big.fileName(), "--design", example("checkout-design.png")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errText().contains(QStringLiteral("图片尺寸过大")), qPrintable(run.errText()));

        run = runCli({"compare", "--device", example("checkout-device.png")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains("--design"));
        run = runCli({"compare", "--device", example("checkout-device.png"), "--design", example("checkout-design.png"), "--bogus"});
        QCOMPARE(run.exitCode, 2);
        run = runCli({"frobnicate"});
        QCOMPARE(run.exitCode, 2);
    }

    void emptyHistory()
    {
        const TemporaryHome home;
        const CliRun run = runCli({"history", "list", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(run.out).array().size(), 0);
        QCOMPARE(runCli({"history"}).exitCode, 2);
    }
    void cutOffImageIsOneLine()
    {
        // A palette PNG goes to Qt's decoder, whose libpng would print its own "libpng error" line.
        const TemporaryHome home;
        QImage palette(64, 48, QImage::Format_Indexed8);
        palette.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        palette.fill(1);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && palette.save(&buffer, "png"));
        QFile cut(home.filePath("cut.png"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() / 2));
        cut.close();
        const CliRun run = runCli({"compare", "--device", example("checkout-device.png"), "--design", cut.fileName()});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errText(), QStringLiteral("无法读取该图片，请使用 PNG、JPG 或 WebP：") + cut.fileName() + u'\n');
    }
};

QTEST_GUILESS_MAIN(CliCompareTest)
#include "tst_cli_compare.moc"

#include "support/CliRunner.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include "engine/ModelJson.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

const QString kSource = QStringLiteral(VANTREL_SOURCE_DIR);
const QString kDevice = kSource + QStringLiteral("/examples/checkout-device.png");
const QString kDesign = kSource + QStringLiteral("/examples/checkout-design.png");

// Every id becomes <id N> by first appearance (its first 8 digits <id N>[:8]), so equal ids stay
// equal; times keep their format but not their digits.
QString normalised(QString text, const QString &home)
{
    text.replace(home, QStringLiteral("<home>")).replace(kSource, QStringLiteral("<src>"));
    static const QRegularExpression uuid(QStringLiteral("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"));
    for (int n = 1; uuid.match(text).hasMatch(); ++n) {
        const QString id = uuid.match(text).captured(), token = QStringLiteral("<id %1>").arg(n);
        text.replace(id, token).replace(id.left(8), token + QStringLiteral("[:8]"));
    }
    for (const char *format : {"YYYY-MM-DDThh:mm:ss", "YYYY-MM-DD hh:mm:ss", "YYYYMMDD-hhmmss"})
        text.replace(QRegularExpression(QString::fromLatin1(format).replace(QRegularExpression("[YMDhms]"), "\\d")), format);
    return text;
}

// A comparison's JSON with one line per issue, to keep the transcript readable.
QString readable(const QByteArray &output)
{
    QJsonObject o = QJsonDocument::fromJson(output).object();
    const QJsonArray issues = o.take(QStringLiteral("issues")).toArray();
    QString text = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + u'\n';
    for (const QJsonValue &issue : issues)
        text += QString::fromUtf8(QJsonDocument(issue.toObject()).toJson(QJsonDocument::Compact)) + u'\n';
    return o.isEmpty() ? QString::fromUtf8(output) : text;
}

} // namespace

class CliCompareTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One home, one run of each case: exit codes, stdout, stderr and the written JSON go into one
    // transcript compared with the expected one.
    void transcript()
    {
        const TemporaryHome home;
        const auto file = [&](const char *name, const QByteArray &bytes) { return writeFile(home.filePath(name), bytes); };
        QString transcript;
        const auto run = [&](const QStringList &arguments) {
            const CliRun r = runCli(arguments);
            transcript += QStringLiteral("$ %1\nexit %2\n%3").arg(arguments.join(u' ')).arg(r.exitCode).arg(readable(r.out));
            if (!r.err.isEmpty())
                transcript += QStringLiteral("stderr: ") + r.errText();
            transcript += u'\n';
        };
        const QStringList compare{"compare", "--device", kDevice, "--design"};

        run({"history", "list", "--json"});
        run(compare + QStringList{kDesign, "--json", "-"});
        // Status bar, own ignored region, crop, manual offset and threshold all change the figures.
        ComparisonSettings s;
        s.pixelThreshold = 40;
        s.regionMinimumArea = 100;
        s.manualOffsetX = 3;
        s.manualOffsetY = -2;
        s.designCropTop = 0.01;
        s.designCropRight = 0.02;
        s.ignoredRegions = {RectValue(0.5, 0.8, 0.5, 0.2)};
        s.ignoreStatusBar = true;
        run(compare + QStringList{kDesign, "--settings", file("settings.json", json::prettyBytes(json::toJson(s))), "--json", "-"});
        QJsonObject broken = json::toJson(ComparisonSettings());
        broken.insert("regionMinimumArea", 36.5);
        run(compare + QStringList{kDesign, "--settings", file("bad.json", QJsonDocument(broken).toJson())});

        // Identical screens: exit 0, and the entry saved to history under the design file's name.
        const QString design = home.filePath("首页 设计.v2.png");
        QVERIFY(QFile::copy(kDevice, design));
        run(compare + QStringList{design, "--json", home.filePath("out.json"), "--save-history"});
        QFile out(home.filePath("out.json"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        transcript += readable(out.readAll()) + u'\n';
        run({"history", "list", "--json"});
        run({"history", "list"});

        // Bad input: exit 2 and one line on stderr. The cut palette PNG goes through Qt's decoder,
        // whose libpng would print its own extra line.
        QImage palette(64, 48, QImage::Format_Indexed8);
        palette.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        palette.fill(1);
        const QByteArray png = pngBytes(palette);
        QFile big(file("big.png", png)); // sparse: 257 MiB on paper, refused by its size alone
        QVERIFY(big.resize(qint64(257) << 20));
        for (const QString &unreadable : {home.filePath("none.png"), file("notes.png", "this is not an image"),
                                          file("cut.png", png.left(png.size() / 2)),
                                          file("huge.png", pngClaiming(60000, 60000)), big.fileName()})
            run(compare + QStringList{unreadable});
        run({"compare", "--colour", "red"});
        run({"compare", "--device"});
        run({"compare", "--device", kDevice});
        run(compare + QStringList{kDesign, "--bogus"});
        run({"frobnicate"});
        run({"history"});
        QVERIFY(compareWithGolden(QStringLiteral("engine-cli-compare.txt"), normalised(transcript, home.path())));
    }
};

QTEST_GUILESS_MAIN(CliCompareTest)
#include "tst_cli_compare.moc"

#include "EngineTestImages.h"

#include "engine/ComparisonEngine.h"

#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

CapturedDeviceState capture(const QImage &image)
{
    return CapturedDeviceState{image, {}, pixelSizeValue(image)};
}

ImportedDesign visualDesign(const QImage &image)
{
    ImportedDesign d;
    d.image = image;
    d.name = QStringLiteral("design");
    d.pixelSize = pixelSizeValue(image);
    d.canvasSize = d.pixelSize;
    return d;
}

ComparisonIssue issueOf(IssueSeverity severity)
{
    ComparisonIssue issue;
    issue.severity = severity;
    return issue;
}

} // namespace

class PipelineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizeScoreAndStatus()
    {
        QCOMPARE(ComparisonEngine::comparisonSize({700, 1500}), (SizeValue{700, 1500}));
        QCOMPARE(ComparisonEngine::comparisonSize({1440, 1}), (SizeValue{720, 1})); // never below one row
        QCOMPARE(ComparisonEngine::score(0.9, 0), 0.0);
        const QList<ComparisonIssue> lowOnly{issueOf(IssueSeverity::low), issueOf(IssueSeverity::info)};
        QCOMPARE(ComparisonEngine::status(99.6, lowOnly), kStatusConsistent);
        QCOMPARE(ComparisonEngine::status(99.5, {}), kStatusConsistent);
        QCOMPARE(ComparisonEngine::status(99.6, {issueOf(IssueSeverity::medium)}), kStatusDifferent);
        QCOMPARE(ComparisonEngine::status(99.4, {}), kStatusDifferent);
    }

    void identicalScreensAreConsistent()
    {
        const QImage screen = qimage(1179, 600, texture);
        const ComparisonResult result =
            ComparisonEngine().compare(capture(screen), visualDesign(screen), ComparisonSettings());
        QCOMPARE(result.score, 100.0);
        QVERIFY(result.issues.isEmpty());
        QCOMPARE(result.heatmapImage.size(), QSize(720, 366));
        QCOMPARE(result.deviceImage.size(), QSize(1179, 600));
        // The overlay of two identical images is the resized device image.
        const QImage resized = ComparisonEngine::resize(screen, SizeValue{720, 366});
        QCOMPARE(result.overlayImage.convertToFormat(QImage::Format_RGB32), resized.convertToFormat(QImage::Format_RGB32));
    }

    void differencesProduceVisualAndElementIssues()
    {
        const QImage device = qimage(360, 640, [](int x, int y) { return x > 100 && x < 200 && y > 300 && y < 400 ? 0xFF0000u : 0xFFFFFFu; });
        const QImage designImage = qimage(360, 640, [](int, int) { return 0xFFFFFFu; });
        ImportedDesign design = visualDesign(designImage);
        DesignNode title;
        title.id = QStringLiteral("1");
        title.name = QStringLiteral("标题");
        title.type = QStringLiteral("TEXT");
        title.text = QStringLiteral("欢迎");
        title.rect = RectValue(10, 10, 100, 30);
        design.nodes = {title};
        design.isVisualOnly = true;

        const ComparisonResult visualOnly = ComparisonEngine().compare(capture(device), design, ComparisonSettings());
        QCOMPARE(visualOnly.issues.size(), 1);
        QCOMPARE(visualOnly.issues[0].category, IssueCategory::visual);
        QCOMPARE(visualOnly.status, kStatusDifferent);
        QVERIFY(visualOnly.score < 100);
        QVERIFY(visualOnly.changedPixelRatio > 0.03 && visualOnly.changedPixelRatio < 0.05);

        design.isVisualOnly = false;
        const ComparisonResult full = ComparisonEngine().compare(capture(device), design, ComparisonSettings());
        QCOMPARE(full.issues.size(), 2);
        QCOMPARE(full.issues[0].category, IssueCategory::visual); // visual issues first
        QCOMPARE(full.issues[1].category, IssueCategory::missing);
    }

    void unreadableImagesFail()
    {
        try {
            ComparisonEngine().compare(capture(QImage()), visualDesign(qimage(10, 10, texture)), ComparisonSettings());
            QFAIL("compare accepted an empty screenshot");
        } catch (const AppError &e) {
            QCOMPARE(e.domain, QStringLiteral("Vantrel"));
            QCOMPARE(e.code, 20);
            QCOMPARE(e.description, QStringLiteral("图像像素读取失败"));
        }
    }
    void cropStaysInsideTheDesign_data()
    {
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("top");
        QTest::newRow("left 0.25 of 786 columns") << 0.25 << 0.0;
        QTest::newRow("top 0.0625 of 1704 rows") << 0.0 << 0.0625;
    }

    void cropStaysInsideTheDesign()
    {
        QFETCH(double, left);
        QFETCH(double, top);
        QImage white(786, 1704, QImage::Format_RGB32);
        white.fill(Qt::white);
        ComparisonSettings settings;
        settings.designCropLeft = left;
        settings.designCropTop = top;
        const ComparisonResult result = ComparisonEngine().compare(capture(white), visualDesign(white), settings);
        QCOMPARE(result.score, 100.0);
        QVERIFY(result.issues.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PipelineTest)
#include "tst_pipeline.moc"

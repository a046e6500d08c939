#include "EngineTestImages.h"

#include "engine/ComparisonEngine.h"

#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

class AlignmentTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pixelsRoundsSizesAndStaysPremultiplied()
    {
        const QImage red = qimage(3, 3, [](int, int) { return 0xFF0000u; });
        const PixelImage one = ComparisonEngine::pixels(red, SizeValue{0.4, 0.4});
        QCOMPARE(one.width, 1);
        QCOMPARE(one.height, 1);
        QCOMPARE(one.bytes.size(), 4);
        QCOMPARE(ComparisonEngine::pixels(red, SizeValue{2.5, 1.49}).width, 3); // half away from zero

        QImage half(1, 1, QImage::Format_ARGB32);
        half.setPixel(0, 0, qRgba(200, 100, 50, 128));
        const PixelImage p = ComparisonEngine::pixels(half, SizeValue{1, 1});
        QCOMPARE(int(p.data()[3]), 128);
        QVERIFY(std::abs(int(p.data()[0]) - 100) <= 1); // 200 * 128/255
    }

    void cropRules()
    {
        const QImage design = qimage(200, 100, [](int x, int) { return x < 100 ? 0x0000FFu : 0xFF0000u; });
        ComparisonSettings s;
        const QImage same = ComparisonEngine::crop(design, s);
        QCOMPARE(same.cacheKey(), design.cacheKey()); // the image itself

        s.designCropLeft = 0.6; // acts as 0.45
        QCOMPARE(ComparisonEngine::crop(design, s).size(), QSize(110, 100));
        s = ComparisonSettings();
        s.designCropTop = 0.45;
        s.designCropBottom = 0.45;
        QCOMPARE(ComparisonEngine::crop(design, s).size(), QSize(200, 10));
        s = ComparisonSettings();
        s.designCropLeft = 0.5; // clamped to 0.45: starts at x = 90 (blue), then red from 100
        const QImage cut = ComparisonEngine::crop(design, s);
        QCOMPARE(QColor(cut.pixel(0, 0)), QColor(Qt::blue));
        QCOMPARE(QColor(cut.pixel(10, 0)), QColor(Qt::red));
        s = ComparisonSettings();
        s.designCropTop = -0.2; // negative counts as 0, so nothing is cut
        QCOMPARE(ComparisonEngine::crop(design, s).cacheKey(), design.cacheKey());
    }

    void translationFindsTheDisplacement()
    {
        const PixelImage device = pixelImage(120, 160, texture);
        QCOMPARE(ComparisonEngine::estimateTranslation(device, device), QPointF(0, 0));

        // Design content 3 pixels lower than the device's: it must move up by 3.
        const PixelImage lower = pixelImage(120, 160, [](int x, int y) { return texture(x, y - 3); });
        QCOMPARE(ComparisonEngine::estimateTranslation(device, lower), QPointF(0, -3));
        const PixelImage leftUp = pixelImage(120, 160, [](int x, int y) { return texture(x + 5, y + 7); });
        QCOMPARE(ComparisonEngine::estimateTranslation(device, leftUp), QPointF(5, 7));
    }

    void translationNeverLooksBeyondEightPixels()
    {
        const PixelImage device = pixelImage(120, 160, texture);
        const PixelImage far = pixelImage(120, 160, [](int x, int y) { return texture(x - 12, y); });
        const QPointF found = ComparisonEngine::estimateTranslation(device, far);
        QVERIFY(std::abs(found.x()) <= 8 && std::abs(found.y()) <= 8);
        QVERIFY(found != QPointF(-12, 0));
    }

    void tiesKeepTheShortestThenTheFirstCandidate()
    {
        // A uniform image scores 0 everywhere: (0, 0) wins as the shortest displacement.
        const PixelImage flat = solid(64, 64, 0x808080);
        QCOMPARE(ComparisonEngine::estimateTranslation(flat, flat), QPointF(0, 0));

        // Vertical stripes, period 2: every even dx scores 0, every dy is equal. Only dx = 0 has
        // length 0; with dy fixed the nearest ties (dx = -2 and +2) lose to it.
        const PixelImage stripes = pixelImage(64, 64, [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; });
        QCOMPARE(ComparisonEngine::estimateTranslation(stripes, stripes), QPointF(0, 0));

        // Floating shifted by one column of a period-2 pattern: dx = -1 and dx = +1 tie at length 1;
        // the one met first (dx = -1) stays, giving +1.
        const PixelImage shifted = pixelImage(64, 64, [](int x, int) { return (x + 1) % 2 ? 0xFFFFFFu : 0u; });
        QCOMPARE(ComparisonEngine::estimateTranslation(stripes, shifted), QPointF(1, 0));
    }

    void narrowImagesHaveNoSamples()
    {
        const PixelImage narrow = pixelImage(16, 100, texture);
        const PixelImage other = pixelImage(16, 100, [](int x, int y) { return texture(x, y + 4); });
        QCOMPARE(ComparisonEngine::estimateTranslation(narrow, other), QPointF(0, 0));
    }

    void manualOffsetIsConvertedFromDesignUnits()
    {
        ComparisonSettings s;
        s.manualOffsetX = 10;
        const QPointF offset =
            ComparisonEngine::alignmentOffset(QPointF(1, 2), SizeValue{720, 1560}, SizeValue{375, 812}, s);
        QCOMPARE(offset.x(), 1 + 19.2);
        QCOMPARE(offset.y(), 2.0);
        s.designCropLeft = 0.2; // visible width 300 units
        s.manualOffsetY = -4;
        const QPointF cropped =
            ComparisonEngine::alignmentOffset(QPointF(0, 0), SizeValue{720, 1560}, SizeValue{375, 812}, s);
        QCOMPARE(cropped.x(), 24.0);
        QCOMPARE(cropped.y(), 1560 * -4 / 812.0);
    }

    void shiftLeavesTransparentStrips()
    {
        const QImage image = qimage(20, 10, [](int, int) { return 0x00FF00u; });
        const PixelImage moved = ComparisonEngine::pixels(
            ComparisonEngine::shift(image, QPointF(3, -2), SizeValue{20, 10}), SizeValue{20, 10});
        const auto alpha = [&](int x, int y) { return int(moved.pixel(x, y)[3]); };
        QCOMPARE(alpha(2, 0), 0);
        QCOMPARE(alpha(3, 0), 255);
        QCOMPARE(alpha(19, 7), 255);
        QCOMPARE(alpha(10, 8), 0);
        QCOMPARE(int(moved.pixel(3, 0)[1]), 255);

        // A fractional move blends the edge column.
        const PixelImage half = ComparisonEngine::pixels(
            ComparisonEngine::shift(image, QPointF(0.5, 0), SizeValue{20, 10}), SizeValue{20, 10});
        QCOMPARE(int(half.pixel(0, 5)[3]) < 255, true);
        QCOMPARE(int(half.pixel(10, 5)[3]), 255);
    }

    void statusBarBandIsAppendedLast()
    {
        ComparisonSettings s;
        s.ignoredRegions = {RectValue(0.1, 0.1, 0.1, 0.1), RectValue(0.5, 0.5, 0.1, 0.1)};
        QCOMPARE(ComparisonEngine::effectiveIgnoredRegions(s), s.ignoredRegions);
        s.ignoreStatusBar = true;
        const QList<RectValue> regions = ComparisonEngine::effectiveIgnoredRegions(s);
        QCOMPARE(regions.size(), 3);
        QCOMPARE(regions.first(), s.ignoredRegions.first());
        QCOMPARE(regions.last().height, 0.065);
        QCOMPARE(regions.last().width, 1.0);
    }
    void fractionalMovesInterpolate_data()
    {
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<QPoint>("probe");
        QTest::addColumn<int>("red");
        // White from column 10 and row 10 on, black above and left of that.
        QTest::newRow("0.4 right") << QPointF(0.4, 0) << QPoint(10, 20) << 153;  // 0.6 of the white column
        QTest::newRow("0.4 left") << QPointF(-0.4, 0) << QPoint(9, 20) << 102;   // 0.4 of it
        QTest::newRow("19.2 right") << QPointF(19.2, 0) << QPoint(29, 20) << 204; // 0.8 of it
        QTest::newRow("19.2 down") << QPointF(0, 19.2) << QPoint(20, 29) << 204;
        QTest::newRow("0.4 both") << QPointF(0.4, 0.4) << QPoint(10, 10) << 92;   // 0.6 × 0.6
    }

    void fractionalMovesInterpolate()
    {
        QFETCH(QPointF, offset);
        QFETCH(QPoint, probe);
        QFETCH(int, red);
        const QImage corner = qimage(40, 40, [](int x, int y) { return x >= 10 && y >= 10 ? 0xFFFFFFu : 0u; });
        const PixelImage moved =
            ComparisonEngine::pixels(ComparisonEngine::shift(corner, offset, SizeValue{40, 40}), SizeValue{40, 40});
        QVERIFY2(std::abs(int(moved.pixel(probe.x(), probe.y())[0]) - red) <= 2,
                 qPrintable(QString::number(moved.pixel(probe.x(), probe.y())[0])));
        QCOMPARE(int(moved.pixel(probe.x(), probe.y())[3]), 255);
    }
};

QTEST_GUILESS_MAIN(AlignmentTest)
#include "tst_alignment.moc"

#include "EngineTestImages.h"

#include "engine/ComparisonEngine.h"

#include "support/TestImages.h"

#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::array<int, 4> heat(const VisualOutput &out, int x, int y)
{
    const std::uint8_t *p = out.heatmap.pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

} // namespace

class VisualDiffTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void identicalBuffersGiveADimmedGreyCopy()
    {
        const PixelImage device = pixelImage(30, 20, texture);
        const VisualOutput out = ComparisonEngine::visualDiff(device, device, 24, 36, {});
        QCOMPARE(out.changedPixelRatio, 0.0);
        QCOMPARE(out.meanColorDelta, 0.0);
        QVERIFY(out.regions.isEmpty());
        const std::uint8_t *d = device.pixel(7, 5);
        const int g = int((0.299 * d[0] + 0.587 * d[1] + 0.114 * d[2]) * 0.22);
        QCOMPARE(heat(out, 7, 5), (std::array<int, 4>{g, g, g, 255}));
    }

    void changedPixelsAreCountedAndPainted()
    {
        PixelImage device = solid(24, 24, 0x000000);
        const PixelImage design = solid(24, 24, 0x000000);
        setPixel(device, 1, 1, 0x181818); // d = 24 exactly: changed at threshold 24
        setPixel(device, 2, 1, 0x171717); // d = 23: unchanged
        setPixel(device, 3, 1, 0xFFFFFF); // d = 255
        const VisualOutput out = ComparisonEngine::visualDiff(device, design, 24, 36, {});
        QCOMPARE(out.changedPixelRatio, 2.0 / 576);
        QCOMPARE(out.meanColorDelta, (24.0 + 23 + 255) / 576);
        QCOMPARE(heat(out, 1, 1), (std::array<int, 4>{255, 156, 28, 104}));
        QCOMPARE(heat(out, 3, 1), (std::array<int, 4>{255, 0, 28, 230}));
        QCOMPARE(heat(out, 2, 1)[3], 255);
    }

    void regionsAreHalfOpenAndTestedPerPixel()
    {
        const PixelImage device = solid(10, 10, 0xFFFFFF);
        const PixelImage design = solid(10, 10, 0x000000);
        const VisualOutput out =
            ComparisonEngine::visualDiff(device, design, 24, 36, {RectValue(0.2, 0.2, 0.3, 0.3)});
        QCOMPARE(heat(out, 2, 2)[3], 45);
        QCOMPARE(heat(out, 4, 4)[3], 45);
        QCOMPARE(heat(out, 5, 4)[3], 230); // x = 0.5 is the right edge: outside
        QCOMPARE(heat(out, 1, 3)[3], 230);
        QCOMPARE(out.changedPixelRatio, 1.0);

        // Everything ignored: nothing compared, no division by zero.
        const VisualOutput none = ComparisonEngine::visualDiff(device, design, 24, 36, {RectValue(0, 0, 1, 1)});
        QCOMPARE(none.changedPixelRatio, 0.0);
        QCOMPARE(none.meanColorDelta, 0.0);
        QVERIFY(none.regions.isEmpty());
    }

    void tileFlagsNeedEnoughChangedPixels()
    {
        PixelImage device = solid(48, 48, 0);
        for (int i = 0; i < 6; ++i)
            setPixel(device, 13 + i, 14, 0xFFFFFF); // six changed pixels in tile (1, 1)
        const PixelImage design = solid(48, 48, 0);
        VisualOutput out = ComparisonEngine::visualDiff(device, design, 24, 36, {});
        QCOMPARE(out.regions.size(), 1);
        const RectValue r = out.regions.first();
        QCOMPARE(r.x, 12 / 48.0);
        QCOMPARE(r.width, 12 / 48.0);

        out = ComparisonEngine::visualDiff(device, design, 24, 200, {}); // needs 33 pixels: not flagged
        QVERIFY(out.regions.isEmpty());
        out = ComparisonEngine::visualDiff(device, design, 24, 41, {}); // 41 / 6 = 6: flagged again
        QCOMPARE(out.regions.size(), 1);
        setPixel(device, 13, 14, 0); // five left: below 6
        QVERIFY(ComparisonEngine::visualDiff(device, design, 24, 36, {}).regions.isEmpty());
    }

    void tileRegionsGroupDiagonalNeighboursAndCutAtEdges()
    {
        // 4 x 2 grid: tiles (0, 0) and (1, 1) touch only at a corner -> one region; (3, 0) alone.
        QList<bool> flags(8, false);
        flags[0] = true;
        flags[5] = true;
        flags[3] = true;
        const QList<RectValue> regions = ComparisonEngine::tileRegions(flags, 4, 2, 12, 42, 24, 36);
        QCOMPARE(regions.size(), 2);
        QCOMPARE(regions[0].x, 0.0);
        QCOMPARE(regions[0].width, 24 / 42.0);
        QCOMPARE(regions[0].height, 1.0);
        QCOMPARE(regions[1].x, 36 / 42.0);
        QCOMPARE(regions[1].width, 6 / 42.0); // the partial last column

        // The right edge of a 725-pixel image: a region starting at 720 is 5 pixels wide.
        QList<bool> wide(61, false);
        wide[60] = true;
        const QList<RectValue> edge = ComparisonEngine::tileRegions(wide, 61, 1, 12, 725, 12, 36);
        QCOMPARE(edge.size(), 1);
        QCOMPARE(edge[0].width, 5 / 725.0);
        // Kept only when the uncut span reaches the minimum area.
        QVERIFY(ComparisonEngine::tileRegions(wide, 61, 1, 12, 725, 12, 145).isEmpty());
    }

    void visualIssuesAreCappedAndGraded()
    {
        QList<RectValue> regions(30, RectValue(0, 0, 0.01, 0.01));
        regions[0] = RectValue(0, 0, 0.25, 0.25);
        regions[1] = RectValue(0, 0, 0.25, 0.125);
        const QList<ComparisonIssue> issues = ComparisonEngine::visualIssues(regions);
        QCOMPARE(issues.size(), 24);
        QCOMPARE(issues[0].severity, IssueSeverity::high);
        QCOMPARE(issues[1].severity, IssueSeverity::medium);
    }

    void heatmapStaysRedOrangeAsPng()
    {
        PixelImage device = solid(4, 1, 0xFFFFFF);
        const VisualOutput out = ComparisonEngine::visualDiff(device, solid(4, 1, 0), 24, 36, {});
        const QByteArray png = test::pngBytes(ComparisonEngine::heatmapImage(out.heatmap));
        QCOMPARE(QImage::fromData(png, "png").convertToFormat(QImage::Format_ARGB32).pixel(0, 0), qRgba(255, 0, 28, 230));
    }
};

QTEST_GUILESS_MAIN(VisualDiffTest)
#include "tst_visual_diff.moc"

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

    void cropIsClampedAndStaysInside()
    {
        const QImage design = qimage(200, 100, [](int x, int) { return x < 100 ? 0x0000FFu : 0xFF0000u; });
        const auto cropped = [&](double top, double left, double bottom) {
            ComparisonSettings s;
            s.designCropTop = top;
            s.designCropLeft = left;
            s.designCropBottom = bottom;
            return ComparisonEngine::crop(design, s);
        };
        QCOMPARE(cropped(0, 0.6, 0).size(), QSize(110, 100)); // each side at most 0.45
        QCOMPARE(cropped(0.45, 0, 0.45).size(), QSize(200, 10));
        QCOMPARE(cropped(-0.2, 0, 0).size(), QSize(200, 100)); // negative counts as 0
        const QImage cut = cropped(0, 0.5, 0); // clamped: starts at x = 90 (blue), red from 100
        QCOMPARE(QColor(cut.pixel(0, 0)), QColor(Qt::blue));
        QCOMPARE(QColor(cut.pixel(10, 0)), QColor(Qt::red));
    }

    void translation_data()
    {
        QTest::addColumn<int>("pair");
        QTest::addColumn<QPointF>("expected");
        QTest::newRow("identical") << 0 << QPointF(0, 0);
        QTest::newRow("design 3 lower: moves up") << 1 << QPointF(0, -3);
        QTest::newRow("design left and up") << 2 << QPointF(5, 7);
        QTest::newRow("12 away: stops at 8") << 3 << QPointF(-8, 0);
        QTest::newRow("flat: the shortest displacement wins") << 4 << QPointF(0, 0);
        QTest::newRow("stripes: zero length beats the equal -2 and +2") << 5 << QPointF(0, 0);
        QTest::newRow("equal lengths: the first met (-1) stays") << 6 << QPointF(1, 0);
        QTest::newRow("narrow images have no samples") << 7 << QPointF(0, 0);
    }

    void translation()
    {
        QFETCH(int, pair);
        QFETCH(QPointF, expected);
        const auto ramp = [](int x, int) { return 0x010101u * std::uint32_t(std::max(0, 2 * x)); };
        const auto stripes = [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; };
        const std::function<std::uint32_t(int, int)> floating[] = {
            texture, [](int x, int y) { return texture(x, y - 3); }, [](int x, int y) { return texture(x + 5, y + 7); },
            [&](int x, int y) { return ramp(x - 12, y); }, [](int, int) { return 0x808080u; }, stripes,
            [&](int x, int y) { return stripes(x + 1, y); }, [](int x, int y) { return texture(x, y + 4); }};
        const std::function<std::uint32_t(int, int)> reference[] = {texture, texture, texture, ramp, floating[4],
                                                                    stripes, stripes, texture};
        const int width = pair == 7 ? 16 : 120;
        QCOMPARE(ComparisonEngine::estimateTranslation(pixelImage(width, 100, reference[pair]),
                                                       pixelImage(width, 100, floating[pair])),
                 expected);
    }

    void shiftInterpolatesAndLeavesTransparentStrips_data()
    {
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<QPoint>("probe");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("alpha");
        // White from column 10 and row 10 on, black above and left of that.
        QTest::newRow("0.4 right") << QPointF(0.4, 0) << QPoint(10, 20) << 153 << 255; // 0.6 of the white column
        QTest::newRow("0.4 left") << QPointF(-0.4, 0) << QPoint(9, 20) << 102 << 255;  // 0.4 of it
        QTest::newRow("19.2 right") << QPointF(19.2, 0) << QPoint(29, 20) << 204 << 255; // 0.8 of it
        QTest::newRow("19.2 down") << QPointF(0, 19.2) << QPoint(20, 29) << 204 << 255;
        QTest::newRow("0.4 both") << QPointF(0.4, 0.4) << QPoint(10, 10) << 92 << 255; // 0.6 × 0.6
        QTest::newRow("3 right, 2 up: moved corner") << QPointF(3, -2) << QPoint(13, 8) << 255 << 255;
        QTest::newRow("3 right, 2 up: left strip") << QPointF(3, -2) << QPoint(2, 20) << 0 << 0;
        QTest::newRow("3 right, 2 up: bottom strip") << QPointF(3, -2) << QPoint(20, 38) << 0 << 0;
        QTest::newRow("0.5 right: edge column blended") << QPointF(0.5, 0) << QPoint(0, 20) << 0 << 128;
    }

    void shiftInterpolatesAndLeavesTransparentStrips()
    {
        QFETCH(QPointF, offset);
        QFETCH(QPoint, probe);
        QFETCH(int, red);
        QFETCH(int, alpha);
        const QImage corner = qimage(40, 40, [](int x, int y) { return x >= 10 && y >= 10 ? 0xFFFFFFu : 0u; });
        const PixelImage moved =
            ComparisonEngine::pixels(ComparisonEngine::shift(corner, offset, SizeValue{40, 40}), SizeValue{40, 40});
        const std::uint8_t *p = moved.pixel(probe.x(), probe.y());
        QVERIFY2(std::abs(p[0] - red) <= 2 && std::abs(p[3] - alpha) <= 2, qPrintable(QStringLiteral("%1 %2").arg(p[0]).arg(p[3])));
    }
};

QTEST_GUILESS_MAIN(AlignmentTest)
#include "tst_alignment.moc"

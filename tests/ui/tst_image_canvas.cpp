#include "ui/ImageCanvas.h"

#include <QSignalSpy>
#include <QTest>

using namespace vantrel;

// A 400 × 400 canvas showing a 200 × 400 image: the image is displayed at x 100 … 300, y 0 … 400.
class ImageCanvasTest : public QObject {
    Q_OBJECT

    static QImage blueImage()
    {
        QImage image(200, 400, QImage::Format_RGB32);
        image.fill(QColor(20, 40, 200));
        return image;
    }

private Q_SLOTS:
    void dragCreatesRegionOnlyWhenLargeEnough_data()
    {
        QTest::addColumn<bool>("drawing");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        QTest::addColumn<bool>("created");
        QTest::addColumn<QRectF>("expected"); // normalised
        QTest::newRow("5 x 40 creates none") << true << QPoint(150, 100) << QPoint(155, 140) << false << QRectF();
        QTest::newRow("40 x 5 creates none") << true << QPoint(150, 100) << QPoint(190, 105) << false << QRectF();
        QTest::newRow("6 x 6 creates one") << true << QPoint(150, 100) << QPoint(156, 106) << true
                                           << QRectF(0.25, 0.25, 0.03, 0.015);
        QTest::newRow("dragged up and left") << true << QPoint(156, 106) << QPoint(150, 100) << true
                                             << QRectF(0.25, 0.25, 0.03, 0.015);
        QTest::newRow("from outside, clipped to 6 wide") << true << QPoint(40, 100) << QPoint(106, 140) << true
                                                         << QRectF(0, 0.25, 0.03, 0.1);
        QTest::newRow("from outside, clipped to 5 wide") << true << QPoint(40, 100) << QPoint(105, 140) << false
                                                         << QRectF();
        QTest::newRow("beyond the far corner") << true << QPoint(280, 380) << QPoint(390, 399) << true
                                               << QRectF(0.9, 0.95, 0.1, 0.0475);
        QTest::newRow("drawing off") << false << QPoint(150, 100) << QPoint(190, 140) << false << QRectF();
    }
    void dragCreatesRegionOnlyWhenLargeEnough()
    {
        QFETCH(bool, drawing);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        QFETCH(bool, created);
        QFETCH(QRectF, expected);
        ImageCanvas canvas;
        canvas.resize(400, 400);
        canvas.setImage(blueImage());
        canvas.setDrawingEnabled(drawing);
        QCOMPARE(canvas.displayedImageRect(), QRectF(100, 0, 200, 400));
        QSignalSpy drawn(&canvas, &ImageCanvas::ignoredRegionDrawn);
        QTest::mousePress(&canvas, Qt::LeftButton, {}, start);
        QTest::mouseMove(&canvas, (start + end) / 2);
        QTest::mouseMove(&canvas, end);
        QTest::mouseRelease(&canvas, Qt::LeftButton, {}, end);
        QCOMPARE(drawn.size(), created ? 1 : 0);
        if (!created)
            return;
        const auto region = drawn.first().first().value<RectValue>();
        QVERIFY(!region.id.isNull());
        QCOMPARE(region.toRectF(), expected);
    }

    void zoomedImagePansOnlyAsFarAsItOverhangs()
    {
        ImageCanvas canvas;
        canvas.resize(400, 400);
        canvas.setImage(blueImage());
        QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(200, 200));
        QTest::mouseMove(&canvas, QPoint(260, 260));
        QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(260, 260));
        QCOMPARE(canvas.pan(), QPointF()); // a fitted image does not move

        canvas.setZoom(2); // 400 × 800: overhangs 200 above and below, not at the sides
        QTest::mousePress(&canvas, Qt::LeftButton, {}, QPoint(200, 100));
        QTest::mouseMove(&canvas, QPoint(300, 250));
        QCOMPARE(canvas.pan(), QPointF(0, 150));
        QTest::mouseMove(&canvas, QPoint(300, 390));
        QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(300, 390));
        QCOMPARE(canvas.pan(), QPointF(0, 200));
        QCOMPARE(canvas.displayedImageRect(), QRectF(0, 0, 400, 800));

        canvas.setZoom(1); // zooming back re-centres
        QCOMPARE(canvas.displayedImageRect(), QRectF(100, 0, 200, 400));
    }

    void regionsAreDrawnAtTheDisplayedScale()
    {
        ImageCanvas canvas;
        canvas.resize(400, 400);
        canvas.setImage(blueImage());
        canvas.setHighlightedRegions({RectValue(0.5, 0.5, 0.25, 0.25)}); // view 200 … 250, 200 … 300
        const QImage shot = canvas.grab().toImage();
        const auto isImage = [&](int x, int y) { return shot.pixelColor(x, y) == QColor(20, 40, 200); };
        QVERIFY(isImage(180, 180));
        QVERIFY(!isImage(201, 250)); // the outline's left edge
        QVERIFY(!isImage(225, 299)); // its bottom edge
        QVERIFY(isImage(260, 250) && isImage(225, 310));
        QVERIFY(!isImage(50, 50)); // outside the image: the canvas background
    }
};

QTEST_MAIN(ImageCanvasTest)
#include "tst_image_canvas.moc"

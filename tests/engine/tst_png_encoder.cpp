#include "EngineTestImages.h"

#include "engine/PngEncoder.h"

#include <QTest>

using namespace vantrel;

class PngEncoderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opaqueImagesRoundTripExactly()
    {
        const QImage image = test::qimage(123, 45, test::texture);
        const std::optional<QByteArray> png = PngEncoder::encode(image);
        QVERIFY(png && png->startsWith("\x89PNG\r\n\x1a\n"));
        const QImage back = QImage::fromData(*png, "png");
        QVERIFY(!back.hasAlphaChannel());
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image);
    }

    void alphaIsWrittenStraight()
    {
        // A premultiplied half-transparent orange and a straight-alpha heat map pixel both come
        // back as the colour they show.
        QImage premultiplied(2, 1, QImage::Format_ARGB32_Premultiplied);
        premultiplied.setPixelColor(0, 0, QColor(255, 128, 0, 128));
        premultiplied.setPixelColor(1, 0, Qt::transparent);
        QImage back = QImage::fromData(*PngEncoder::encode(premultiplied), "png").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(qAlpha(back.pixel(0, 0)), 128);
        QVERIFY(std::abs(qGreen(back.pixel(0, 0)) - 128) <= 1);
        QCOMPARE(qAlpha(back.pixel(1, 0)), 0);

        QImage straight(1, 1, QImage::Format_RGBA8888);
        uchar *bytes = straight.bits();
        bytes[0] = 255;
        bytes[1] = 100;
        bytes[2] = 28;
        bytes[3] = 104;
        back = QImage::fromData(*PngEncoder::encode(straight), "png").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(back.pixel(0, 0), qRgba(255, 100, 28, 104));
    }

    void nothingForNullImages()
    {
        QVERIFY(!PngEncoder::encode(QImage()));
    }
};

QTEST_GUILESS_MAIN(PngEncoderTest)
#include "tst_png_encoder.moc"

#include "EngineTestImages.h"

#include "engine/ImageFileReader.h"
#include "support/TestEnvironment.h"

#include <QColorSpace>
#include <QtEndian>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

enum ColourType { grey = 0, rgb = 2, palette = 3, greyAlpha = 4, rgba = 6 };

// A PNG file whose image data is `raw` (filter byte and pixel bytes per row), with `extra`
// chunks before the data.
QByteArray file(int width, int height, ColourType type, int depth, const QByteArray &raw, bool interlaced = false,
                const QByteArray &extra = {})
{
    const QByteArray header =
        bigEndian(quint32(width)) + bigEndian(quint32(height)) + char(depth) + char(type) + '\0' + '\0' + char(interlaced);
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header) + extra + pngChunk("IDAT", qCompress(raw).mid(4))
           + pngChunk("IEND", {});
}

// A file of varied pixel bytes whose rows take each of the five row filters in turn; an
// interlaced one holds the seven passes one after the other.
QByteArray image(int width, int height, ColourType type, int depth = 8, bool interlaced = false, const QByteArray &extra = {})
{
    static const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    const int channels = type == rgb ? 3 : type == rgba ? 4 : type == greyAlpha ? 2 : 1;
    QList<QSize> parts{QSize(width, height)};
    if (interlaced) {
        parts.clear();
        for (const auto &p : passes)
            parts << QSize((width - p[0] + p[2] - 1) / p[2], (height - p[1] + p[3] - 1) / p[3]);
    }
    QByteArray raw;
    quint32 seed = 12345;
    int filter = 0;
    for (const QSize &part : parts) {
        for (int y = 0; y < part.height() && part.width() > 0; ++y) {
            raw += char(filter++ % 5);
            for (int i = 0; i < part.width() * channels * depth / 8; ++i)
                raw += char((seed = seed * 1103515245u + 12345u) >> 23);
        }
    }
    return file(width, height, type, depth, raw, interlaced, extra);
}

// A 32 × 32 progressive JPEG whose frame header is rewritten to declare width × height.
QByteArray progressiveJpegClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = imageBytes(QImage(32, 32, QImage::Format_RGB32), "jpeg", true);
    return bytes.replace(bytes.indexOf("\xFF\xC2") + 5, 4, bigEndian(quint32(height) << 16 | quint32(width)));
}

// An icon file whose one entry says 16 × 16 and holds a PNG of another size.
QByteArray iconHolding(const QByteArray &png)
{
    const quint32 sizeAndOffset[] = {qToLittleEndian(quint32(png.size())), qToLittleEndian(quint32(22))};
    return QByteArray("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0", 14) + QByteArray(reinterpret_cast<const char *>(sizeAndOffset), 8) + png;
}

} // namespace

class PngDecoderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesAsQtDoes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("rgb") << image(37, 23, rgb);
        QTest::newRow("rgba") << image(37, 23, rgba);
        QTest::newRow("rgb 16-bit") << image(37, 23, rgb, 16);
        QTest::newRow("rgba 16-bit") << image(37, 23, rgba, 16);
        QTest::newRow("grey") << image(37, 23, grey);
        QTest::newRow("grey + alpha") << image(37, 23, greyAlpha);
        QByteArray entries;
        for (int i = 0; i < 768; ++i)
            entries += char(i * 7);
        QTest::newRow("palette") << image(37, 23, palette, 8, false, pngChunk("PLTE", entries));
        QTest::newRow("rgb interlaced") << image(37, 23, rgb, 8, true);
        QTest::newRow("rgba interlaced") << image(37, 23, rgba, 8, true);
        QTest::newRow("rgb, one pixel") << image(1, 1, rgb);
        QTest::newRow("rgba, one row") << image(300, 1, rgba);
        QTest::newRow("rgb, one column") << image(1, 40, rgb);
        QTest::newRow("rgb with gamma") << image(37, 23, rgb, 8, false, pngChunk("gAMA", bigEndian(55556)));
        QTest::newRow("rgb with resolution")
            << image(37, 23, rgb, 8, false, pngChunk("pHYs", bigEndian(5669) + bigEndian(2835) + '\1'));
        // Three rows of data for a two-row image: libpng lets it pass, and so must the decoder.
        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("surplus image data") << file(4, 2, rgb, 8, row + row + row);
        QTest::newRow("JPEG") << imageBytes(qimage(24, 16, texture), "jpeg");
        QTest::newRow("WebP") << imageBytes(qimage(24, 16, texture), "webp");
    }

    void decodesAsQtDoes()
    {
        QFETCH(QByteArray, bytes);
        const QImage expected = QImage::fromData(bytes);
        QVERIFY(!expected.isNull());
        const QImage image = ImageFileReader::readBytes(bytes); // files take the same path (CLI transcript)
        QCOMPARE(image.format(), expected.format());
        QCOMPARE(image, expected);
        QCOMPARE(image.dotsPerMeterX(), expected.dotsPerMeterX());
        QCOMPARE(image.dotsPerMeterY(), expected.dotsPerMeterY());
        QCOMPARE(image.colorSpace(), expected.colorSpace());
    }

    void refusesDamagedAndHostileImages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("reason");
        const int tooLarge = int(ImageReadError::Reason::tooLarge);
        const int unsupported = int(ImageReadError::Reason::unsupported);
        const QByteArray good = image(37, 23, rgb);
        const qsizetype dataAt = good.indexOf("IDAT") + 4;
        QTest::newRow("cut inside the header") << good.left(20) << unsupported;
        QTest::newRow("cut inside the image data") << good.left(dataAt + 40) << unsupported;
        QTest::newRow("cut before the end") << good.left(good.size() - 12) << unsupported;
        QByteArray damaged = good;
        damaged[dataAt + 30] = char(damaged[dataAt + 30] ^ 0x55);
        QTest::newRow("image data damaged") << damaged << unsupported;
        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("fewer rows than the header says") << file(4, 3, rgb, 8, row + row) << unsupported;
        QTest::newRow("unknown row filter") << file(4, 2, rgb, 8, row + QByteArray(1, '\5') + row.mid(1)) << unsupported;
        // Sizes declared far beyond what the file holds: refused before decoding.
        QTest::newRow("PNG header claiming 20000 × 20000") << test::pngClaiming(20000, 20000) << tooLarge;
        QTest::newRow("progressive JPEG declaring 10000 × 10000") << progressiveJpegClaiming(10000, 10000) << tooLarge;
        QTest::newRow("PNG 40000 pixels wide") << file(40000, 1, rgb, 8, QByteArray(1 + 3 * 40000, '\0')) << tooLarge;
        const QByteArray jpeg = imageBytes(qimage(64, 64, texture), "jpeg");
        QTest::newRow("JPEG cut before its end marker") << jpeg.chopped(2) << unsupported;
        QTest::newRow("icon holding a PNG") << iconHolding(image(64, 64, rgb)) << unsupported;
        QTest::newRow("GIF") << QByteArray::fromHex("47494638396101000100800000000000ffffff2c0000000001000100000202440100"
                                                    "3b") << unsupported;
        QTest::newRow("BMP") << imageBytes(qimage(4, 4, texture), "bmp") << unsupported;
    }

    void refusesDamagedAndHostileImages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, reason);
        try {
            ImageFileReader::readBytes(bytes);
            QFAIL("a damaged or hostile image was decoded");
        } catch (const ImageReadError &error) {
            QCOMPARE(int(error.reason), reason);
            if (error.reason == ImageReadError::Reason::unsupported)
                QCOMPARE(error.message, kUnsupportedImageMessage);
        }
        // Refused before decoding: nothing near the 10000 × 10000 image's gigabyte was ever touched.
        QVERIFY2(ownMemoryKiB("VmHWM") < 256 * 1024, qPrintable(QString::number(ownMemoryKiB("VmHWM"))));
    }
};

QTEST_GUILESS_MAIN(PngDecoderTest)
#include "tst_png_decoder.moc"

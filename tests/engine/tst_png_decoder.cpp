#include "engine/ImageFileReader.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <libdeflate.h>

using namespace vantrel;

namespace {

QByteArray word(quint32 v)
{
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type) + data;
    return word(quint32(data.size())) + body + word(quint32(libdeflate_crc32(0, body.constData(), std::size_t(body.size()))));
}

enum ColourType { grey = 0, rgb = 2, palette = 3, greyAlpha = 4, rgba = 6 };

// A PNG file whose image data is `raw` (filter byte and pixel bytes per row), with `extra`
// chunks before the data.
QByteArray file(int width, int height, ColourType type, int depth, const QByteArray &raw, bool interlaced = false,
                const QByteArray &extra = {})
{
    const QByteArray header = word(quint32(width)) + word(quint32(height)) + char(depth) + char(type) + '\0' + '\0' + char(interlaced);
    return QByteArray("\x89PNG\r\n\x1a\n") + chunk("IHDR", header) + extra + chunk("IDAT", qCompress(raw).mid(4))
           + chunk("IEND", {});
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

QImage qtDecoded(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "png").read();
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
        QTest::newRow("palette") << image(37, 23, palette, 8, false, chunk("PLTE", entries));
        QTest::newRow("rgb interlaced") << image(37, 23, rgb, 8, true);
        QTest::newRow("rgba interlaced") << image(37, 23, rgba, 8, true);
        QTest::newRow("rgb, one pixel") << image(1, 1, rgb);
        QTest::newRow("rgba, one row") << image(300, 1, rgba);
        QTest::newRow("rgb, one column") << image(1, 40, rgb);
        QTest::newRow("rgb with gamma") << image(37, 23, rgb, 8, false, chunk("gAMA", word(55556)));
        QTest::newRow("rgb with resolution")
            << image(37, 23, rgb, 8, false, chunk("pHYs", word(5669) + word(2835) + '\1'));
        // Three rows of data for a two-row image: libpng lets it pass, and so must the decoder.
        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("surplus image data") << file(4, 2, rgb, 8, row + row + row);
    }

    void decodesAsQtDoes()
    {
        QFETCH(QByteArray, bytes);
        const QImage expected = qtDecoded(bytes);
        QVERIFY(!expected.isNull());

        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("image.png")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        for (const QImage &image : {ImageFileReader::readBytes(bytes), ImageFileReader::readFile(file.fileName())}) {
            QCOMPARE(image.format(), expected.format());
            QCOMPARE(image, expected);
            QCOMPARE(image.dotsPerMeterX(), expected.dotsPerMeterX());
            QCOMPARE(image.dotsPerMeterY(), expected.dotsPerMeterY());
            QCOMPARE(image.colorSpace(), expected.colorSpace());
        }
    }

    void refusesDamagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("tooLarge");
        const QByteArray good = image(37, 23, rgb);
        QVERIFY(!ImageFileReader::readBytes(good).isNull());
        const qsizetype dataAt = good.indexOf("IDAT") + 4;

        QTest::newRow("cut inside the header") << good.left(20) << false;
        QTest::newRow("cut inside the image data") << good.left(dataAt + 40) << false;
        QTest::newRow("cut before the end") << good.left(good.size() - 12) << false;
        QByteArray damaged = good;
        damaged[dataAt + 30] = char(damaged[dataAt + 30] ^ 0x55);
        QTest::newRow("image data damaged") << damaged << false;
        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("fewer rows than the header says") << file(4, 3, rgb, 8, row + row) << false;
        QTest::newRow("unknown row filter") << file(4, 2, rgb, 8, row + QByteArray(1, '\5') + row.mid(1)) << false;
        // 20000 × 20000 pixels declared by a file holding one pixel: refused before decoding.
        QTest::newRow("oversized header") << test::pngClaiming(20000, 20000) << true;
    }

    void refusesDamagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, tooLarge);
        try {
            ImageFileReader::readBytes(bytes);
            QFAIL("a damaged file was decoded");
        } catch (const ImageReadError &error) {
            QCOMPARE(error.reason, tooLarge ? ImageReadError::Reason::tooLarge : ImageReadError::Reason::unsupported);
            if (!tooLarge)
                QCOMPARE(error.message, kUnsupportedImageMessage);
        }
    }
};

QTEST_GUILESS_MAIN(PngDecoderTest)
#include "tst_png_decoder.moc"

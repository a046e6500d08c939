#include "EngineTestImages.h"

#include "engine/ImageFileReader.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <libdeflate.h>
#include <png.h>

#include <csetjmp>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// Channel c of pixel (x, y): smooth runs, edges and noise, so that every row filter has work.
int sample(int x, int y, int c)
{
    const int noise = int((unsigned(x * 7919 + y * 104729 + c * 31337) * 2654435761u) >> 27);
    return ((x / 5 + y / 3) % 2 ? x * 9 + y * 3 + c * 50 : 200 - y * 4 + c * 20) + noise;
}

struct PngKind {
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    int filters = PNG_ALL_FILTERS;
    bool interlaced = false;
    bool gamma = false;
    bool resolution = false;
};

void writeToArray(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

bool writeImage(png_structp png, png_infop info, const PngKind &kind, int w, int h, std::vector<png_bytep> &rows,
                std::vector<png_color> &palette)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), kind.depth, kind.colourType,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kind.filters);
    if (kind.colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), 256);
    if (kind.gamma)
        png_set_gAMA(png, info, 1 / 1.8);
    if (kind.resolution)
        png_set_pHYs(png, info, 5669, 2835, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    return true;
}

// A PNG of the given kind written by libpng, with the row filters it is told to use.
QByteArray encode(const PngKind &kind, int w, int h)
{
    const int channels = kind.colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                         : kind.colourType == PNG_COLOR_TYPE_RGB     ? 3
                         : kind.colourType == PNG_COLOR_TYPE_GA      ? 2
                                                                     : 1;
    const int bytes = kind.depth / 8;
    std::vector<std::vector<png_byte>> data(std::size_t(h), std::vector<png_byte>(std::size_t(w * channels * bytes)));
    std::vector<png_bytep> rows;
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w * channels * bytes; ++i)
            data[std::size_t(y)][std::size_t(i)] = png_byte(sample(i / (channels * bytes), y, i % (channels * bytes)));
        rows.push_back(data[std::size_t(y)].data());
    }
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[std::size_t(i)] = {png_byte(i), png_byte(255 - i), png_byte(i * 7)};
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, writeToArray, nullptr);
    const bool written = writeImage(png, info, kind, w, h, rows, palette);
    png_destroy_write_struct(&png, &info);
    return written ? out : QByteArray();
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    QByteArray out;
    const auto appendWord = [&out](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char(v >> shift));
    };
    appendWord(quint32(data.size()));
    const QByteArray body = QByteArray(type) + data;
    out += body;
    appendWord(quint32(libdeflate_crc32(0, body.constData(), std::size_t(body.size()))));
    return out;
}

// An 8-bit RGB file of `height` rows whose image data is `raw` (filter byte and pixels per row).
QByteArray handMade(int width, int height, const QByteArray &raw)
{
    QByteArray header(13, '\0');
    for (int i = 0; i < 4; ++i) {
        header[3 - i] = char(width >> (8 * i));
        header[7 - i] = char(height >> (8 * i));
    }
    header[8] = 8;
    header[9] = 2;
    return QByteArray("\x89PNG\r\n\x1a\n") + chunk("IHDR", header) + chunk("IDAT", qCompress(raw).mid(4))
           + chunk("IEND", {});
}

QImage qtDecoded(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "png").read();
}

QByteArray written(const QImage &image, const char *format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

// A 32 × 32 progressive JPEG whose frame header is rewritten to declare width × height.
QByteArray progressiveJpegClaiming(int width, int height)
{
    QByteArray bytes = written(QImage(32, 32, QImage::Format_RGB32), "jpeg", true);
    const qsizetype frame = bytes.indexOf("\xFF\xC2");
    for (const auto &[at, value] : {std::pair{frame + 5, height}, {frame + 7, width}}) {
        bytes[at] = char(value >> 8);
        bytes[at + 1] = char(value);
    }
    return bytes;
}

// An icon file whose one entry says 16 × 16 and holds a PNG of another size.
QByteArray iconHolding(const QByteArray &png)
{
    QByteArray icon("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0", 14);
    for (const quint32 word : {quint32(png.size()), quint32(22)})
        for (int i = 0; i < 4; ++i)
            icon.append(char(word >> (8 * i)));
    return icon + png;
}

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("VmHWM:");
    return at < 0 ? -1 : text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').first().toLongLong();
}

} // namespace

class PngDecoderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesAsQtDoes_data()
    {
        QTest::addColumn<int>("colourType");
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("filters");
        QTest::addColumn<bool>("interlaced");
        QTest::addColumn<bool>("gamma");
        QTest::addColumn<bool>("resolution");
        QTest::addColumn<QSize>("size");
        const int rgb = PNG_COLOR_TYPE_RGB;
        const int rgba = PNG_COLOR_TYPE_RGB_ALPHA;
        const QSize odd(37, 23);
        const std::pair<const char *, int> filters[] = {{"none", PNG_FILTER_NONE}, {"sub", PNG_FILTER_SUB},
                                                        {"up", PNG_FILTER_UP},     {"average", PNG_FILTER_AVG},
                                                        {"paeth", PNG_FILTER_PAETH}, {"any filter", PNG_ALL_FILTERS}};
        for (const auto &[name, mask] : filters) {
            QTest::addRow("rgb, %s", name) << rgb << 8 << mask << false << false << false << odd;
            QTest::addRow("rgba, %s", name) << rgba << 8 << mask << false << false << false << odd;
        }
        QTest::newRow("rgb, one pixel") << rgb << 8 << PNG_ALL_FILTERS << false << false << false << QSize(1, 1);
        QTest::newRow("rgba, one row") << rgba << 8 << PNG_ALL_FILTERS << false << false << false << QSize(300, 1);
        QTest::newRow("rgb, one column") << rgb << 8 << PNG_ALL_FILTERS << false << false << false << QSize(1, 40);
        QTest::newRow("rgb with resolution") << rgb << 8 << PNG_ALL_FILTERS << false << false << true << odd;
        QTest::newRow("rgb with gamma") << rgb << 8 << PNG_ALL_FILTERS << false << true << false << odd;
        QTest::newRow("rgb interlaced") << rgb << 8 << PNG_ALL_FILTERS << true << false << false << odd;
        QTest::newRow("rgba interlaced") << rgba << 8 << PNG_ALL_FILTERS << true << false << false << odd;
        QTest::newRow("rgb 16-bit") << rgb << 16 << PNG_ALL_FILTERS << false << false << false << odd;
        QTest::newRow("rgba 16-bit") << rgba << 16 << PNG_ALL_FILTERS << false << false << false << odd;
        QTest::newRow("palette") << int(PNG_COLOR_TYPE_PALETTE) << 8 << PNG_ALL_FILTERS << false << false << false << odd;
        QTest::newRow("grey") << int(PNG_COLOR_TYPE_GRAY) << 8 << PNG_ALL_FILTERS << false << false << false << odd;
        QTest::newRow("grey + alpha") << int(PNG_COLOR_TYPE_GA) << 8 << PNG_ALL_FILTERS << false << false << false << odd;
    }

    void decodesAsQtDoes()
    {
        QFETCH(int, colourType);
        QFETCH(int, depth);
        QFETCH(int, filters);
        QFETCH(bool, interlaced);
        QFETCH(bool, gamma);
        QFETCH(bool, resolution);
        QFETCH(QSize, size);
        const QByteArray bytes = encode({colourType, depth, filters, interlaced, gamma, resolution}, size.width(), size.height());
        const QImage expected = qtDecoded(bytes);
        QVERIFY(!expected.isNull());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("image.png"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        for (const QImage &image : {ImageFileReader::readBytes(bytes), ImageFileReader::readFile(path)}) {
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
        const QByteArray good = encode({}, 37, 23);
        QVERIFY(!ImageFileReader::readBytes(good).isNull());
        const qsizetype dataAt = good.indexOf("IDAT") + 4;

        QTest::newRow("cut inside the header") << good.left(20);
        QTest::newRow("cut inside the image data") << good.left(dataAt + 40);
        QTest::newRow("cut before the end") << good.left(good.size() - 12);
        QByteArray damaged = good;
        damaged[dataAt + 30] = char(damaged[dataAt + 30] ^ 0x55);
        QTest::newRow("image data damaged") << damaged;

        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("fewer rows than the header says") << handMade(4, 3, row + row);
        QTest::newRow("unknown row filter") << handMade(4, 2, row + QByteArray(1, '\5') + row.mid(1));
    }

    void refusesDamagedFiles()
    {
        QFETCH(QByteArray, bytes);
        try {
            ImageFileReader::readBytes(bytes);
            QFAIL("a damaged file was decoded");
        } catch (const ImageReadError &error) {
            QCOMPARE(error.reason, ImageReadError::Reason::unsupported);
            QCOMPARE(error.message, kUnsupportedImageMessage);
        }
    }

    void leavesSurplusImageDataToQt()
    {
        // Three rows of data for a two-row image: libpng lets it pass, and so must the decoder.
        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        const QByteArray bytes = handMade(4, 2, row + row + row);
        const QImage expected = qtDecoded(bytes);
        QVERIFY(!expected.isNull());
        QCOMPARE(ImageFileReader::readBytes(bytes), expected);
    }

    void refusesOversizedHeadersBeforeDecoding()
    {
        // 20000 × 20000 pixels declared by a file holding one row.
        QByteArray bytes = handMade(20000, 20000, QByteArray(1 + 3 * 20000, '\0'));
        try {
            ImageFileReader::readBytes(bytes);
            QFAIL("an oversized image was accepted");
        } catch (const ImageReadError &error) {
            QCOMPARE(error.reason, ImageReadError::Reason::tooLarge);
        }
    }
    void readsJpegAndWebpByContent()
    {
        for (const char *format : {"jpeg", "webp"}) {
            const QByteArray bytes = written(qimage(24, 16, texture), format);
            QVERIFY2(!bytes.isEmpty(), format);
            QCOMPARE(ImageFileReader::readBytes(bytes).size(), QSize(24, 16));
        }
    }

    void refusesHostileImages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("reason");
        const int tooLarge = int(ImageReadError::Reason::tooLarge);
        const int unsupported = int(ImageReadError::Reason::unsupported);
        QTest::newRow("progressive JPEG declaring 10000 × 10000") << progressiveJpegClaiming(10000, 10000) << tooLarge;
        QTest::newRow("PNG 40000 pixels wide") << handMade(40000, 1, QByteArray(1 + 3 * 40000, '\0')) << tooLarge;
        const QByteArray jpeg = written(qimage(64, 64, texture), "jpeg");
        QTest::newRow("JPEG cut before its end marker") << jpeg.chopped(2) << unsupported;
        QTest::newRow("icon holding a PNG") << iconHolding(encode({}, 64, 64)) << unsupported;
        QTest::newRow("GIF") << QByteArray::fromHex("47494638396101000100800000000000ffffff2c0000000001000100000202440100"
                                                    "3b") << unsupported;
        QTest::newRow("BMP") << written(qimage(4, 4, texture), "bmp") << unsupported;
    }

    void refusesHostileImages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, reason);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("design.png"))); // the name claims PNG whatever the bytes are
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        for (int source = 0; source < 2; ++source) {
            try {
                source ? ImageFileReader::readFile(file.fileName()) : ImageFileReader::readBytes(bytes);
                QFAIL("a hostile image was decoded");
            } catch (const ImageReadError &error) {
                QCOMPARE(int(error.reason), reason);
            }
        }
        // Refused before decoding: nothing near the 10000 × 10000 image's gigabyte was ever touched.
        QVERIFY2(peakResidentKiB() < 256 * 1024, qPrintable(QString::number(peakResidentKiB())));
    }
};

QTEST_GUILESS_MAIN(PngDecoderTest)
#include "tst_png_decoder.moc"

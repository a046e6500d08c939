#include "engine/ImageFileReader.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <libdeflate.h>
#include <png.h>

#include <csetjmp>
#include <vector>

using namespace vantrel;

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

} // namespace

class PngDecoderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesAsQtDoes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *name, PngKind kind, QSize size = QSize(37, 23)) {
            QTest::newRow(name) << encode(kind, size.width(), size.height());
        };
        const int rgb = PNG_COLOR_TYPE_RGB;
        const int rgba = PNG_COLOR_TYPE_RGB_ALPHA;
        const std::pair<const char *, int> filters[] = {{"none", PNG_FILTER_NONE}, {"sub", PNG_FILTER_SUB},
                                                        {"up", PNG_FILTER_UP},     {"average", PNG_FILTER_AVG},
                                                        {"paeth", PNG_FILTER_PAETH}, {"any filter", PNG_ALL_FILTERS}};
        for (const auto &[name, mask] : filters) {
            QTest::addRow("rgb, %s", name) << encode({rgb, 8, mask}, 37, 23);
            QTest::addRow("rgba, %s", name) << encode({rgba, 8, mask}, 37, 23);
        }
        row("rgb, one pixel", {}, QSize(1, 1));
        row("rgba, one row", {rgba}, QSize(300, 1));
        row("rgb, one column", {}, QSize(1, 40));
        row("rgb with resolution", {.resolution = true});
        row("rgb with gamma", {.gamma = true});
        row("rgb interlaced", {.interlaced = true});
        row("rgba interlaced", {rgba, 8, PNG_ALL_FILTERS, true});
        row("rgb 16-bit", {rgb, 16});
        row("rgba 16-bit", {rgba, 16});
        row("palette", {PNG_COLOR_TYPE_PALETTE});
        row("grey", {PNG_COLOR_TYPE_GRAY});
        row("grey + alpha", {PNG_COLOR_TYPE_GA});
        // Three rows of data for a two-row image: libpng lets it pass, and so must the decoder.
        const QByteArray pixels = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("surplus image data") << handMade(4, 2, pixels + pixels + pixels);
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
        const bool unsupported = false;
        const QByteArray good = encode({}, 37, 23);
        QVERIFY(!ImageFileReader::readBytes(good).isNull());
        const qsizetype dataAt = good.indexOf("IDAT") + 4;

        QTest::newRow("cut inside the header") << good.left(20) << unsupported;
        QTest::newRow("cut inside the image data") << good.left(dataAt + 40) << unsupported;
        QTest::newRow("cut before the end") << good.left(good.size() - 12) << unsupported;
        QByteArray damaged = good;
        damaged[dataAt + 30] = char(damaged[dataAt + 30] ^ 0x55);
        QTest::newRow("image data damaged") << damaged << unsupported;

        const QByteArray row = QByteArray(1, '\0') + QByteArray(3 * 4, 'x');
        QTest::newRow("fewer rows than the header says") << handMade(4, 3, row + row) << unsupported;
        QTest::newRow("unknown row filter") << handMade(4, 2, row + QByteArray(1, '\5') + row.mid(1)) << unsupported;
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

#include "engine/ComparisonEngine.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace vantrel {

namespace {

AppError pixelReadError()
{
    return AppError(QStringLiteral("Vantrel"), 20, QStringLiteral("图像像素读取失败"));
}

int atLeastOne(double v)
{
    return std::max(1, int(std::lround(v)));
}

// Each byte of `out` lies between the bytes of a and b, `weight` (0 to 256) of the way to b.
// Premultiplied pixels interpolate channel by channel; the sums fit 16 bits, so this vectorises.
void interpolateBytes(const std::uint8_t *a, const std::uint8_t *b, std::uint8_t *out, std::size_t count,
                      std::uint16_t weight)
{
    const auto keep = std::uint16_t(256 - weight);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = std::uint8_t(std::uint16_t(a[i] * keep + b[i] * weight) >> 8);
}

// Draws `source` (premultiplied, the canvas's size) onto the transparent canvas moved by
// (dx, dy), |dx| and |dy| below the size. A whole-pixel move copies rows; a fractional one
// samples the source at the fractional position, bilinearly, with transparency beyond its edges.
// (Qt's painter snaps a move without scaling to whole pixels, so it cannot do this.)
void translateInto(QImage &canvas, const QImage &source, double dx, double dy)
{
    const int w = canvas.width();
    const int h = canvas.height();
    const int ox = int(std::floor(dx));
    const int oy = int(std::floor(dy));
    // Canvas pixel (x, y) reads source column x - ox - 1 and the one right of it with this weight,
    // and rows likewise.
    const auto weightOf = [](double fraction) { return std::uint16_t(std::lround((1 - fraction) * 256)); };
    const std::uint16_t wx = weightOf(dx - ox);
    const std::uint16_t wy = weightOf(dy - oy);
    if (wx == 256 && wy == 256) {
        const int x0 = std::max(0, ox);
        const int x1 = std::min(w, w + ox);
        for (int y = std::max(0, oy); y < std::min(h, h + oy); ++y) {
            const auto *from = reinterpret_cast<const quint32 *>(source.constScanLine(y - oy)) + (x0 - ox);
            std::memcpy(reinterpret_cast<quint32 *>(canvas.scanLine(y)) + x0, from, std::size_t(x1 - x0) * 4);
        }
        return;
    }
    // A source row moved across. The row is framed by one transparent pixel on each side, so that
    // canvas column x reads framed[x - ox] and framed[x - ox + 1]; columns outside [x0, x1) see no
    // source pixel and stay transparent.
    const std::size_t n = std::size_t(w);
    std::vector<quint32> framed(n + 2, 0u);
    std::vector<quint32> above(n, 0u);
    std::vector<quint32> below(n, 0u);
    const int x0 = std::max(0, ox);
    const int x1 = std::min(w, w + ox + 1);
    const auto bytesOf = [](const quint32 *pixels, int at) { return reinterpret_cast<const std::uint8_t *>(pixels + at); };
    const auto moveRow = [&](int row, std::vector<quint32> &out) {
        if (row < 0 || row >= h) {
            std::fill(out.begin(), out.end(), 0u);
            return;
        }
        std::memcpy(framed.data() + 1, source.constScanLine(row), n * 4);
        interpolateBytes(bytesOf(framed.data(), x0 - ox), bytesOf(framed.data(), x0 - ox + 1),
                         reinterpret_cast<std::uint8_t *>(out.data() + x0), std::size_t(x1 - x0) * 4, wx);
    };
    moveRow(-oy - 1, above);
    for (int y = 0; y < h; ++y) {
        moveRow(y - oy, below);
        interpolateBytes(bytesOf(above.data(), 0), bytesOf(below.data(), 0), canvas.scanLine(y), n * 4, wy);
        std::swap(above, below);
    }
}

} // namespace

PixelImage ComparisonEngine::pixels(const QImage &source, const SizeValue &size)
{
    const int w = atLeastOne(size.width);
    const int h = atLeastOne(size.height);
    if (source.isNull())
        throw pixelReadError();

    const QImage scaled = source.size() == QSize(w, h)
                              ? source
                              : source.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Qt's 32-bit formats hold a pixel as one word 0xAARRGGBB (RGB32 with alpha 0xFF), which this
    // loop lays out as the bytes R, G, B, A. Any other format is brought to that one first.
    const QImage words = scaled.format() == QImage::Format_ARGB32_Premultiplied || scaled.format() == QImage::Format_RGB32
                             ? scaled
                             : scaled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (words.isNull() || words.size() != QSize(w, h))
        throw pixelReadError();

    PixelImage out;
    out.width = w;
    out.height = h;
    out.bytes = QByteArray(qsizetype(w) * h * 4, Qt::Uninitialized);
    const std::uint32_t opaque = words.format() == QImage::Format_RGB32 ? 0xFF000000u : 0u;
    std::uint8_t *to = out.data();
    for (int y = 0; y < h; ++y) {
        const auto *from = reinterpret_cast<const std::uint32_t *>(words.constScanLine(y));
        for (int x = 0; x < w; ++x, to += 4) {
            const std::uint32_t p = from[x] | opaque;
            to[0] = std::uint8_t(p >> 16);
            to[1] = std::uint8_t(p >> 8);
            to[2] = std::uint8_t(p);
            to[3] = std::uint8_t(p >> 24);
        }
    }
    return out;
}

namespace {

bool hasAllBytes(const PixelImage &pixels)
{
    return pixels.width >= 1 && pixels.height >= 1 && pixels.bytes.size() >= qsizetype(pixels.width) * pixels.height * 4;
}

} // namespace

QImage ComparisonEngine::image(const PixelImage &pixels)
{
    if (!hasAllBytes(pixels))
        return QImage();
    const QImage wrapped(pixels.data(), pixels.width, pixels.height, pixels.width * 4,
                         QImage::Format_RGBA8888_Premultiplied);
    return wrapped.copy(); // own the bytes
}

QImage ComparisonEngine::heatmapImage(PixelImage heatmap)
{
    // The heat map's changed pixels carry colour bytes above their alpha. Read as premultiplied,
    // they would wrap or brighten when shown or written; read as straight alpha, the same bytes
    // are the intended red-orange, and every other heat map pixel means the same either way
    // (opaque grey, or black at alpha 45).
    if (!hasAllBytes(heatmap))
        return QImage();
    // The image takes the bytes over instead of copying them; data() makes them its own first
    // if they are still shared.
    auto *bytes = new QByteArray(std::move(heatmap.bytes));
    const QImage image(reinterpret_cast<uchar *>(bytes->data()), heatmap.width, heatmap.height,
                       qsizetype(heatmap.width) * 4, QImage::Format_RGBA8888,
                       [](void *owned) { delete static_cast<QByteArray *>(owned); }, bytes);
    if (image.isNull())
        delete bytes;
    return image;
}

QImage ComparisonEngine::resize(const QImage &source, const SizeValue &size)
{
    const int w = atLeastOne(std::max(size.width, 1.0));
    const int h = atLeastOne(std::max(size.height, 1.0));
    if (source.size() == QSize(w, h))
        return source;
    return source.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage ComparisonEngine::crop(const QImage &design, const ComparisonSettings &settings)
{
    const auto clamp = [](double v) { return std::clamp(v, 0.0, 0.45); };
    const double top = clamp(settings.designCropTop);
    const double right = clamp(settings.designCropRight);
    const double bottom = clamp(settings.designCropBottom);
    const double left = clamp(settings.designCropLeft);
    if (top + right + bottom + left <= 0)
        return design;
    const double wf = std::max(1 - left - right, 0.1);
    const double hf = std::max(1 - top - bottom, 0.1);
    // Each edge is rounded on its own and kept inside the image: rounding the origin and the
    // size separately could reach one row or column past the design, which reads as black.
    const auto edges = [](double from, double fraction, int extent) {
        const int first = std::clamp(int(std::lround(from * extent)), 0, extent - 1);
        const int last = std::clamp(int(std::lround((from + fraction) * extent)), first + 1, extent);
        return std::pair(first, last - first);
    };
    if (design.isNull())
        return design;
    const auto [x, w] = edges(left, wf, design.width());
    const auto [y, h] = edges(top, hf, design.height());
    return design.copy(x, y, w, h);
}

QPointF ComparisonEngine::alignmentOffset(const QPointF &automatic, const SizeValue &comparison,
                                          const SizeValue &canvas, const ComparisonSettings &s)
{
    const double vw = std::max(1.0, canvas.width * (1 - s.designCropLeft - s.designCropRight));
    const double vh = std::max(1.0, canvas.height * (1 - s.designCropTop - s.designCropBottom));
    return QPointF(automatic.x() + comparison.width * s.manualOffsetX / vw,
                   automatic.y() + comparison.height * s.manualOffsetY / vh);
}

QImage ComparisonEngine::shift(const QImage &source, const QPointF &offset, const SizeValue &size)
{
    const int w = atLeastOne(size.width);
    const int h = atLeastOne(size.height);
    QImage canvas(w, h, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    if (source.isNull())
        return canvas;

    const double dx = offset.x();
    const double dy = offset.y();
    if (source.size() == QSize(w, h)) {
        // Moved by the image's own size or more (or by no number at all), nothing stays in view.
        // RGB32 words are opaque premultiplied pixels already.
        const bool premultiplied =
            source.format() == QImage::Format_ARGB32_Premultiplied || source.format() == QImage::Format_RGB32;
        if (std::isfinite(dx) && std::isfinite(dy) && std::abs(dx) < w && std::abs(dy) < h)
            translateInto(canvas, premultiplied ? source : source.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                          dx, dy);
        return canvas;
    }
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QRectF(dx, dy, w, h), source, QRectF(source.rect()));
    painter.end();
    return canvas;
}

QList<RectValue> ComparisonEngine::effectiveIgnoredRegions(const ComparisonSettings &settings)
{
    QList<RectValue> regions = settings.ignoredRegions;
    if (settings.ignoreStatusBar)
        regions.append(RectValue(0, 0, 1.0, 0.065));
    return regions;
}

} // namespace vantrel

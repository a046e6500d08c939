#include "engine/ComparisonEngine.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

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

bool isIntegral(double v)
{
    return v == std::floor(v);
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
    const double wd = design.width();
    const double hd = design.height();
    const QRect kept(int(std::lround(left * wd)), int(std::lround(top * hd)), atLeastOne(wf * wd),
                     atLeastOne(hf * hd));
    return design.copy(kept);
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
    if (source.size() == QSize(w, h) && isIntegral(dx) && isIntegral(dy)) {
        // A whole-pixel move of a same-size image is a plain copy of the overlapping rows.
        const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const int ox = int(dx);
        const int oy = int(dy);
        const int x0 = std::max(0, ox);
        const int x1 = std::min(w, w + ox);
        if (x1 <= x0)
            return canvas;
        for (int y = std::max(0, oy); y < std::min(h, h + oy); ++y) {
            const auto *from = reinterpret_cast<const quint32 *>(src.constScanLine(y - oy)) + (x0 - ox);
            auto *to = reinterpret_cast<quint32 *>(canvas.scanLine(y)) + x0;
            std::memcpy(to, from, std::size_t(x1 - x0) * 4);
        }
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

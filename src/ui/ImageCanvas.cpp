#include "ui/ImageCanvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

const QColor kBackground(0xEE, 0xF0, 0xF3);
const QColor kIgnoredStroke(0x5B, 0x61, 0x70);
const QColor kIgnoredFill(0x5B, 0x61, 0x70, 80);
// A blue outline without fill: it stands out on red-orange heat maps and red designs alike and
// leaves the pixels inside as they are.
const QColor kHighlightStroke(0x0A, 0x6C, 0xFF);

// Ctrl + wheel: one notch (120 units) zooms by about 20 %.
constexpr double kWheelZoomBase = 1.0015;
// Plain wheel over a zoomed image: one notch pans by 60 points.
constexpr double kWheelPanPerUnit = 0.5;

} // namespace

bool ImageCanvas::Layer::set(const QImage &newImage)
{
    if (newImage.cacheKey() == image.cacheKey())
        return false; // the same pixels: keep the scaled copies
    image = newImage;
    // Straight-alpha images (the heat map) are premultiplied once, so that scaling and drawing
    // blend their colours as intended instead of wrapping them.
    source = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied) : image;
    scaled = QPixmap();
    original = QPixmap();
    return true;
}

const QPixmap &ImageCanvas::Layer::pixmapFor(QSize devicePixels)
{
    if (devicePixels.width() >= source.width() || devicePixels.height() >= source.height()) {
        if (original.isNull())
            original = QPixmap::fromImage(source);
        return original;
    }
    if (scaled.size() != devicePixels)
        scaled = QPixmap::fromImage(source.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return scaled;
}

ImageCanvas::ImageCanvas(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    updateCursor();
}

void ImageCanvas::setImage(const QImage &image)
{
    const bool sizeChanged = image.size() != m_base.image.size();
    if (!m_base.set(image))
        return;
    if (sizeChanged)
        setPan(m_pan); // re-clamp for the new displayed size
    updateCursor();
    updateAccessibleDescription();
    update();
}

void ImageCanvas::setOverlayImage(const QImage &image)
{
    if (m_overlay.set(image))
        update();
}

void ImageCanvas::setOverlayOpacity(double opacity)
{
    m_overlayOpacity = std::clamp(opacity, 0.0, 1.0);
    update();
}

void ImageCanvas::setPlaceholder(const QString &title, const QString &hint)
{
    m_placeholderTitle = title;
    m_placeholderHint = hint;
    updateAccessibleDescription();
    update();
}

void ImageCanvas::setIgnoredRegions(const QList<RectValue> &regions)
{
    m_ignoredRegions = regions;
    update();
}

void ImageCanvas::setHighlightedRegions(const QList<RectValue> &regions)
{
    m_highlightedRegions = regions;
    update();
}

void ImageCanvas::setDrawingEnabled(bool enabled)
{
    m_drawingEnabled = enabled;
    if (!enabled) {
        m_dragStart.reset();
        m_dragEnd.reset();
    }
    updateCursor();
    update();
}

void ImageCanvas::setZoom(double zoom)
{
    if (!(zoom > 0) || zoom == m_zoom)
        return;
    m_zoom = zoom;
    setPan(m_pan);
    updateCursor();
    update();
}

QRectF ImageCanvas::fittedRect() const
{
    if (m_base.image.isNull())
        return QRectF();
    const QRectF area = contentsRect();
    const QSizeF fitted = QSizeF(m_base.image.size()).scaled(area.size(), Qt::KeepAspectRatio) * m_zoom;
    return QRectF(area.center() - QPointF(fitted.width(), fitted.height()) / 2, fitted);
}

QRectF ImageCanvas::displayedImageRect() const
{
    return fittedRect().translated(m_pan);
}

void ImageCanvas::setPan(QPointF pan)
{
    // The image may be moved only as far as it overhangs the view on that axis.
    const QSizeF overhang = (fittedRect().size() - QSizeF(contentsRect().size())) / 2;
    const double maxX = std::max(0.0, overhang.width());
    const double maxY = std::max(0.0, overhang.height());
    const QPointF clamped(std::clamp(pan.x(), -maxX, maxX), std::clamp(pan.y(), -maxY, maxY));
    if (clamped != m_pan) {
        m_pan = clamped;
        update();
    }
}

void ImageCanvas::setPanByUser(QPointF pan)
{
    const QPointF before = m_pan;
    setPan(pan);
    if (m_pan != before)
        Q_EMIT panned(m_pan);
}

void ImageCanvas::updateCursor()
{
    if (m_drawingEnabled)
        setCursor(Qt::CrossCursor);
    else if (m_zoom > 1.0 && !m_base.image.isNull())
        setCursor(m_panAnchor ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    else
        unsetCursor();
}

void ImageCanvas::updateAccessibleDescription()
{
    // Compared first: every setter announces a change to assistive tools, and live frames arrive
    // many times a second.
    const QString description = m_base.image.isNull() && !m_placeholderTitle.isEmpty()
                                    ? m_placeholderTitle + QLatin1Char('\n') + m_placeholderHint
                                    : QString();
    if (description != accessibleDescription())
        setAccessibleDescription(description);
}

std::optional<RectValue> ImageCanvas::regionForDrag(QPointF start, QPointF end, const QRectF &imageRect)
{
    const QRectF dragged(QPointF(std::min(start.x(), end.x()), std::min(start.y(), end.y())),
                         QSizeF(std::abs(end.x() - start.x()), std::abs(end.y() - start.y())));
    const QRectF clipped = dragged.intersected(imageRect);
    if (!(clipped.width() > kMinimumRegionExtent && clipped.height() > kMinimumRegionExtent))
        return std::nullopt;
    return RectValue((clipped.left() - imageRect.left()) / imageRect.width(),
                     (clipped.top() - imageRect.top()) / imageRect.height(), clipped.width() / imageRect.width(),
                     clipped.height() / imageRect.height());
}

QRectF ImageCanvas::viewRect(const RectValue &region, const QRectF &imageRect)
{
    return QRectF(imageRect.left() + region.x * imageRect.width(), imageRect.top() + region.y * imageRect.height(),
                  region.width * imageRect.width(), region.height * imageRect.height());
}

void ImageCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    if (m_base.image.isNull()) {
        paintPlaceholder(painter);
        return;
    }
    const QRectF target = displayedImageRect();
    const QSize devicePixels = (target.size() * devicePixelRatioF()).toSize();
    if (!devicePixels.isEmpty()) {
        painter.drawPixmap(target, m_base.pixmapFor(devicePixels), QRectF());
        if (!m_overlay.image.isNull() && m_overlayOpacity > 0) {
            painter.setOpacity(m_overlayOpacity);
            painter.drawPixmap(target, m_overlay.pixmapFor(devicePixels), QRectF());
            painter.setOpacity(1.0);
        }
    }
    paintRegions(painter, target);
}

void ImageCanvas::paintPlaceholder(QPainter &painter)
{
    const QRectF area = contentsRect().adjusted(16, 0, -16, 0);
    QFont titleFont = font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    const QFontMetricsF titleMetrics(titleFont);
    const QRectF titleRect(area.left(), area.center().y() - titleMetrics.height() - 4, area.width(),
                           titleMetrics.height());
    painter.setFont(titleFont);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(titleRect, Qt::AlignHCenter | Qt::AlignBottom, m_placeholderTitle);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(QRectF(area.left(), area.center().y() + 4, area.width(), area.height() / 2 - 4),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_placeholderHint);
}

void ImageCanvas::paintRegions(QPainter &painter, const QRectF &imageRect)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kIgnoredStroke, 1.5, Qt::DashLine));
    painter.setBrush(kIgnoredFill);
    for (const RectValue &region : m_ignoredRegions)
        painter.drawRect(viewRect(region, imageRect));
    painter.setPen(QPen(kHighlightStroke, 3));
    painter.setBrush(Qt::NoBrush);
    for (const RectValue &region : m_highlightedRegions)
        painter.drawRect(viewRect(region, imageRect));
    if (m_dragStart && m_dragEnd) {
        // The band is drawn as the ignored region it is about to become.
        painter.setPen(QPen(kIgnoredStroke, 1.5, Qt::DashLine));
        painter.setBrush(kIgnoredFill);
        painter.drawRect(QRectF(*m_dragStart, *m_dragEnd).normalized());
    }
}

void ImageCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (m_drawingEnabled) {
        m_dragStart = event->position();
        m_dragEnd = event->position();
    } else if (m_zoom > 1.0) {
        m_panAnchor = event->position() - m_pan;
        updateCursor();
    }
    event->accept();
}

void ImageCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragStart) {
        m_dragEnd = event->position();
        update();
    } else if (m_panAnchor) {
        setPanByUser(event->position() - *m_panAnchor);
    }
    event->accept();
}

void ImageCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (m_dragStart) {
        const QPointF start = *m_dragStart;
        m_dragStart.reset();
        m_dragEnd.reset();
        update();
        if (const auto region = regionForDrag(start, event->position(), displayedImageRect()))
            Q_EMIT ignoredRegionDrawn(*region);
    }
    m_panAnchor.reset();
    updateCursor();
    event->accept();
}

void ImageCanvas::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        if (angle.y() != 0)
            Q_EMIT zoomRequested(std::pow(kWheelZoomBase, angle.y()));
        event->accept();
        return;
    }
    const QSizeF overhang = fittedRect().size() - QSizeF(contentsRect().size());
    if (overhang.width() <= 0 && overhang.height() <= 0) {
        event->ignore();
        return;
    }
    const QPointF step = event->pixelDelta().isNull() ? QPointF(angle) * kWheelPanPerUnit : QPointF(event->pixelDelta());
    setPanByUser(m_pan + step);
    event->accept();
}

void ImageCanvas::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    setPan(m_pan);
}

} // namespace vantrel

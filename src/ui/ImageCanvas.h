#pragma once

#include "engine/Geometry.h"

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QWidget>

#include <optional>

namespace vantrel {

// Shows one image fitted into the widget (times a zoom factor), optionally with a second image
// drawn over it at an opacity, and draws normalised regions (fractions 0..1 of the image, origin
// top left) over the displayed image. With drawing enabled, a drag with the left button outlines
// a new ignored region. Without it, a zoomed image can be panned by dragging or with the wheel;
// Ctrl + wheel asks the owner to zoom.
//
// Scaled pixmaps are cached per image and displayed size, so a repaint never rescales: a live
// picture costs one scaling per frame.
class ImageCanvas : public QWidget {
    Q_OBJECT

public:
    // Smaller drags (in view points, after clipping to the image) create no region.
    static constexpr double kMinimumRegionExtent = 5;

    explicit ImageCanvas(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    const QImage &image() const { return m_base.image; }
    // Drawn over the image, in the same rectangle; a null image draws nothing.
    void setOverlayImage(const QImage &image);
    void setOverlayOpacity(double opacity);
    // Shown while there is no image. The accessible description follows it.
    void setPlaceholder(const QString &title, const QString &hint);

    void setIgnoredRegions(const QList<RectValue> &regions);
    void setHighlightedRegions(const QList<RectValue> &regions);
    const QList<RectValue> &ignoredRegions() const { return m_ignoredRegions; }
    const QList<RectValue> &highlightedRegions() const { return m_highlightedRegions; }

    void setDrawingEnabled(bool enabled);
    bool isDrawingEnabled() const { return m_drawingEnabled; }

    // 1.0 fits the image into the widget; the displayed image is centred, then panned.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // The displayed image's offset from the centred position, limited to how far it overhangs.
    QPointF pan() const { return m_pan; }
    void setPan(QPointF pan);

    // Where the image is drawn, in widget coordinates; empty without an image.
    QRectF displayedImageRect() const;
    // The region a drag from start to end creates over an image displayed at imageRect: the
    // dragged rectangle clipped to the image, normalised to it; none when the clipped rectangle
    // is not wider and taller than kMinimumRegionExtent.
    static std::optional<RectValue> regionForDrag(QPointF start, QPointF end, const QRectF &imageRect);
    // A normalised region in widget coordinates over an image displayed at imageRect.
    static QRectF viewRect(const RectValue &region, const QRectF &imageRect);

    QSize sizeHint() const override { return QSize(360, 640); }
    QSize minimumSizeHint() const override { return QSize(120, 160); }

Q_SIGNALS:
    void ignoredRegionDrawn(const vantrel::RectValue &region);
    // Ctrl + wheel: the owner multiplies its zoom by factor.
    void zoomRequested(double factor);
    // The user moved the image (dragging or the wheel); not sent for setPan.
    void panned(QPointF pan);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // An image and its pixmap scaled for the current displayed size.
    struct Layer {
        QImage image;
        QImage source; // premultiplied when the image has alpha
        QPixmap scaled;
        QPixmap original; // used instead of a scaled copy when enlarging (crisp pixels)
        bool set(const QImage &newImage); // false when it is the image already held
        const QPixmap &pixmapFor(QSize devicePixels);
    };

    QRectF fittedRect() const;
    void setPanByUser(QPointF pan);
    void updateCursor();
    void updateAccessibleDescription();
    void paintPlaceholder(QPainter &painter);
    void paintRegions(QPainter &painter, const QRectF &imageRect);

    Layer m_base;
    Layer m_overlay;
    double m_overlayOpacity = 0.5;
    QString m_placeholderTitle;
    QString m_placeholderHint;
    QList<RectValue> m_ignoredRegions;
    QList<RectValue> m_highlightedRegions;
    bool m_drawingEnabled = false;
    double m_zoom = 1.0;
    QPointF m_pan;
    std::optional<QPointF> m_dragStart;
    std::optional<QPointF> m_dragEnd;
    std::optional<QPointF> m_panAnchor;
};

} // namespace vantrel

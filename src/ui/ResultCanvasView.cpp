#include "ui/ResultCanvasView.h"

#include "ui/ImageCanvas.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel {

namespace {

QWidget *canvasColumn(QLabel *caption, ImageCanvas *canvas, QWidget *parent)
{
    auto *column = new QWidget(parent);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    QFont font = caption->font();
    font.setWeight(QFont::DemiBold);
    caption->setFont(font);
    layout->addWidget(caption);
    layout->addWidget(canvas, 1);
    return column;
}

} // namespace

ResultCanvasView::ResultCanvasView(QWidget *parent)
    : QWidget(parent)
    , m_primaryCaption(new QLabel(this))
    , m_secondaryCaption(new QLabel(QStringLiteral("设计稿"), this))
    , m_primary(new ImageCanvas(this))
    , m_secondary(new ImageCanvas(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(canvasColumn(m_primaryCaption, m_primary, this), 1);
    m_secondaryColumn = canvasColumn(m_secondaryCaption, m_secondary, this);
    layout->addWidget(m_secondaryColumn, 1);
    for (ImageCanvas *canvas : {m_primary, m_secondary})
        connect(canvas, &ImageCanvas::zoomRequested, this, &ResultCanvasView::zoomRequested);
    // Side by side, the two pictures move together.
    connect(m_primary, &ImageCanvas::panned, m_secondary, &ImageCanvas::setPan);
    connect(m_secondary, &ImageCanvas::panned, m_primary, &ImageCanvas::setPan);
    refresh();
}

void ResultCanvasView::setResult(const ComparisonResult &result)
{
    m_result = result;
    if (m_selectedIssueID && std::none_of(result.issues.begin(), result.issues.end(), [&](const ComparisonIssue &i) {
            return i.id == *m_selectedIssueID;
        }))
        m_selectedIssueID.reset();
    refresh();
}

void ResultCanvasView::setMode(ComparisonDisplayMode mode)
{
    m_mode = mode;
    refresh();
}

void ResultCanvasView::setOverlayOpacity(double opacity)
{
    m_overlayOpacity = opacity;
    refresh();
}

void ResultCanvasView::setBlink(bool enabled, bool phase)
{
    m_blinkEnabled = enabled;
    m_blinkPhase = phase;
    refresh();
}

void ResultCanvasView::setZoom(double zoom)
{
    m_primary->setZoom(zoom);
    m_secondary->setZoom(zoom);
}

void ResultCanvasView::setSelectedIssueID(std::optional<QUuid> id)
{
    m_selectedIssueID = id;
    refresh();
}

void ResultCanvasView::refresh()
{
    const auto issue = std::find_if(m_result.issues.cbegin(), m_result.issues.cend(),
                                    [&](const ComparisonIssue &i) { return i.id == m_selectedIssueID; });
    const bool selected = m_selectedIssueID && issue != m_result.issues.cend();
    const std::optional<RectValue> deviceRect = selected ? issue->deviceRect : std::nullopt;
    const std::optional<RectValue> designRect = selected ? issue->designRect : std::nullopt;
    const auto regions = [](const std::optional<RectValue> &rect) {
        return rect ? QList<RectValue>{*rect} : QList<RectValue>{};
    };
    const bool alternate = m_blinkEnabled && m_blinkPhase;

    m_secondaryColumn->setVisible(m_mode == ComparisonDisplayMode::sideBySide);
    m_primaryCaption->setVisible(m_mode != ComparisonDisplayMode::overlay);
    switch (m_mode) {
    case ComparisonDisplayMode::sideBySide:
        m_primaryCaption->setText(QStringLiteral("真机界面"));
        m_primary->setImage(m_result.deviceImage);
        m_primary->setOverlayImage(QImage());
        m_primary->setHighlightedRegions(regions(deviceRect));
        m_secondary->setImage(m_result.designImage);
        m_secondary->setHighlightedRegions(regions(designRect));
        break;
    case ComparisonDisplayMode::overlay:
        m_primaryCaption->clear();
        m_primary->setImage(m_result.deviceImage);
        m_primary->setOverlayImage(m_result.alignedDesignImage);
        m_primary->setOverlayOpacity(m_blinkEnabled ? (m_blinkPhase ? 1.0 : 0.0) : m_overlayOpacity);
        // The design is aligned to the screenshot, so an issue known only on the design lies
        // at the same place here.
        m_primary->setHighlightedRegions(regions(deviceRect ? deviceRect : designRect));
        break;
    case ComparisonDisplayMode::heatmap:
        m_primaryCaption->setText(alternate ? QStringLiteral("真机界面") : QStringLiteral("差异热力图"));
        m_primary->setImage(alternate ? m_result.deviceImage : m_result.heatmapImage);
        m_primary->setOverlayImage(QImage());
        m_primary->setHighlightedRegions(regions(deviceRect ? deviceRect : designRect));
        break;
    }
    m_primary->setAccessibleName(m_primaryCaption->isVisible() ? m_primaryCaption->text() : rawValue(m_mode));
    m_secondary->setAccessibleName(m_secondaryCaption->text());
}

} // namespace vantrel

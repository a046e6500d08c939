#pragma once

#include "engine/ComparisonResult.h"
#include "engine/Selectors.h"

#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;

namespace vantrel {

class ImageCanvas;

// The pictures of one comparison result in a display mode: side by side (the device screenshot
// "真机界面" beside the design "设计稿"), overlay (the aligned design over the screenshot at an
// opacity) or heat map ("差异热力图"). The selected issue's rectangles are outlined: its device
// rectangle on the screenshot, heat map and overlay, its design rectangle on the design. Side by
// side, panning one picture pans the other alike.
//
// Blinking alternates, on one canvas, the screenshot with the design (overlay mode) or with the
// heat map (heat map mode); side by side is not affected.
class ResultCanvasView : public QWidget {
    Q_OBJECT

public:
    explicit ResultCanvasView(QWidget *parent = nullptr);

    void setResult(const ComparisonResult &result);
    void setMode(ComparisonDisplayMode mode);
    void setOverlayOpacity(double opacity);
    void setBlink(bool enabled, bool phase);
    void setZoom(double zoom);
    void setSelectedIssueID(std::optional<QUuid> id);

    ComparisonDisplayMode mode() const { return m_mode; }
    // The screenshot, overlay or heat map canvas, and the design canvas (shown side by side only).
    ImageCanvas *primaryCanvas() const { return m_primary; }
    ImageCanvas *secondaryCanvas() const { return m_secondary; }

Q_SIGNALS:
    // Ctrl + wheel over either canvas: multiply the zoom by factor.
    void zoomRequested(double factor);

private:
    void refresh();

    ComparisonResult m_result;
    ComparisonDisplayMode m_mode = ComparisonDisplayMode::overlay;
    double m_overlayOpacity = 0.5;
    bool m_blinkEnabled = false;
    bool m_blinkPhase = false;
    std::optional<QUuid> m_selectedIssueID;
    QLabel *m_primaryCaption;
    QLabel *m_secondaryCaption;
    ImageCanvas *m_primary;
    ImageCanvas *m_secondary;
    QWidget *m_secondaryColumn;
};

} // namespace vantrel

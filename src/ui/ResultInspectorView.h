#pragma once

#include "engine/ComparisonResult.h"
#include "engine/Selectors.h"

#include <QUuid>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QSlider;
class QTimer;

namespace vantrel {

class DisplayModePicker;
class IssueListView;
class ResultCanvasView;

// The high-resolution inspector of one result: a toolbar (view "视图", blink "闪烁", design
// opacity "设计稿", zoom "缩小" / "适合窗口" / "放大" with the zoom in percent), a header with the
// status and score, the zoomable pictures and the issue list. Zoom follows the buttons, the zoom
// keys (Ctrl + "+", Ctrl + "-", Ctrl + 0 to fit), Ctrl + wheel and pinch gestures, always within
// kMinimumZoom … kMaximumZoom; a zoomed picture pans by dragging or with the wheel. All state here
// is the view's own.
class ResultInspectorView : public QWidget {
    Q_OBJECT

public:
    static constexpr double kMinimumZoom = 0.25;
    static constexpr double kMaximumZoom = 4.0;
    static constexpr double kZoomStep = 0.25;
    static constexpr double kFitZoomSideBySide = 0.65;
    static constexpr double kFitZoom = 0.8;
    static constexpr double kOpacityStep = 0.05;
    static constexpr int kBlinkIntervalMs = 650;

    explicit ResultInspectorView(QWidget *parent = nullptr);

    void setResult(const ComparisonResult &result);

    ComparisonDisplayMode mode() const { return m_mode; }
    double zoom() const { return m_zoom; }
    double overlayOpacity() const { return m_overlayOpacity; }
    bool blinkEnabled() const { return m_blinkEnabled; }
    bool blinkPhase() const { return m_blinkPhase; }
    std::optional<QUuid> selectedIssueID() const { return m_selectedIssueID; }
    ResultCanvasView *canvasView() const { return m_canvas; }

public Q_SLOTS:
    void setMode(vantrel::ComparisonDisplayMode mode);
    void setZoom(double zoom); // clamped to kMinimumZoom … kMaximumZoom
    void zoomIn();
    void zoomOut();
    void zoomToFit();
    void setOverlayOpacity(double opacity);
    void setBlinkEnabled(bool enabled);
    // One tick of the blink timer: flips blinkPhase while blinking is on, else does nothing.
    void blinkTick();
    void selectIssue(std::optional<QUuid> id);
    // A magnification gesture reached this total magnification (1.0 at its start) ...
    void magnificationChanged(double magnification);
    // ... and ended.
    void magnificationEnded();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildToolbar();
    bool handleGesture(QEvent *event);
    void showZoom();
    void showPictures();

    ComparisonResult m_result;
    ComparisonDisplayMode m_mode = ComparisonDisplayMode::overlay;
    double m_zoom = 1.0;
    double m_overlayOpacity = 0.5;
    bool m_blinkEnabled = false;
    bool m_blinkPhase = false;
    std::optional<QUuid> m_selectedIssueID;
    double m_lastMagnification = 1.0;

    QTimer *m_blinkTimer;
    QLabel *m_header;
    DisplayModePicker *m_modePicker = nullptr;
    QCheckBox *m_blinkToggle = nullptr;
    QSlider *m_opacitySlider = nullptr;
    QLabel *m_zoomLabel = nullptr;
    ResultCanvasView *m_canvas;
    IssueListView *m_issues;
};

} // namespace vantrel

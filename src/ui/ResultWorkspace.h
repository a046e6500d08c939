#pragma once

#include <QWidget>

class QLabel;
class QSlider;

namespace vantrel {

class AppState;
class DisplayModePicker;
class IssueListView;
class ResultCanvasView;

// The result workspace: the banner (status, score, issue count, "导出 PDF"), the four metrics,
// the view picker "结果视图", the design opacity "设计稿透明度", the zoom buttons, "高清检查器",
// the "更多" menu, the pictures and the issue list "差异清单".
class ResultWorkspace : public QWidget {
    Q_OBJECT
public:
    static constexpr double kZoomStep = 0.15;
    static constexpr double kMinimumZoom = 0.25;
    static constexpr double kMaximumZoom = 2.5;

    explicit ResultWorkspace(AppState &state, QWidget *parent = nullptr);

    ResultCanvasView *canvas() const { return m_canvas; }
    IssueListView *issues() const { return m_issues; }

private:
    void showResult();
    void showView();
    void zoomBy(double step);

    AppState &m_state;
    QLabel *m_bannerStatus;
    QLabel *m_bannerScore;
    QLabel *m_bannerCount;
    QLabel *m_status;
    QLabel *m_score;
    QLabel *m_changed;
    QLabel *m_issueCount;
    DisplayModePicker *m_mode;
    QSlider *m_opacity;
    ResultCanvasView *m_canvas;
    IssueListView *m_issues;
};

} // namespace vantrel

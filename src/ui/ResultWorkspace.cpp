#include "ui/ResultWorkspace.h"

#include "app/AppState.h"
#include "engine/NumberText.h"
#include "ui/Controls.h"
#include "ui/DisplayModePicker.h"
#include "ui/IssueListView.h"
#include "ui/MainWindowTexts.h"
#include "ui/ResultCanvasView.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel {

namespace {

// One metric: a caption over a value that screen readers read with it.
QLabel *metricLabel(const QString &caption, QGridLayout *grid, int column, QWidget *parent)
{
    auto *value = new QLabel(parent);
    QFont font = value->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setWeight(QFont::DemiBold);
    value->setFont(font);
    value->setAccessibleName(caption);
    grid->addWidget(new QLabel(caption, parent), 0, column);
    grid->addWidget(value, 1, column);
    return value;
}

} // namespace

ResultWorkspace::ResultWorkspace(AppState &state, QWidget *parent)
    : QWidget(parent),
      m_state(state),
      m_bannerStatus(new QLabel(this)),
      m_bannerScore(new QLabel(this)),
      m_bannerCount(new QLabel(this)),
      m_mode(new DisplayModePicker(QStringLiteral("结果视图"), this)),
      m_opacity(new QSlider(Qt::Horizontal, this)),
      m_canvas(new ResultCanvasView(this)),
      m_issues(new IssueListView(this))
{
    auto *layout = new QVBoxLayout(this);
    auto *banner = new QFrame(this);
    banner->setFrameShape(QFrame::StyledPanel);
    auto *bannerLayout = new QHBoxLayout(banner);
    QFont bold = m_bannerStatus->font();
    bold.setWeight(QFont::Bold);
    m_bannerStatus->setFont(bold);
    bannerLayout->addWidget(m_bannerStatus);
    bannerLayout->addWidget(m_bannerScore);
    bannerLayout->addWidget(m_bannerCount);
    bannerLayout->addStretch(1);
    auto *exportPdf = controls::button(QStringLiteral("导出 PDF"), banner);
    bannerLayout->addWidget(exportPdf);
    layout->addWidget(banner);

    auto *metrics = new QGridLayout;
    m_status = metricLabel(QStringLiteral("结论"), metrics, 0, this);
    m_score = metricLabel(QStringLiteral("一致度"), metrics, 1, this);
    m_changed = metricLabel(QStringLiteral("差异像素"), metrics, 2, this);
    m_issueCount = metricLabel(QStringLiteral("问题"), metrics, 3, this);
    layout->addLayout(metrics);

    auto *tools = new QHBoxLayout;
    tools->addWidget(m_mode);
    m_opacity->setRange(0, 100);
    m_opacity->setMaximumWidth(180);
    tools->addWidget(controls::caption(QStringLiteral("设计稿透明度"), m_opacity, this));
    tools->addWidget(m_opacity);
    auto *zoomOut = controls::button(QStringLiteral("缩小"), this);
    auto *zoomIn = controls::button(QStringLiteral("放大"), this);
    auto *inspector = controls::button(QStringLiteral("高清检查器"), this);
    auto *more = controls::button(QStringLiteral("更多"), this);
    auto *moreMenu = new QMenu(more);
    moreMenu->addAction(QStringLiteral("导出 HTML + PNG…"), &m_state, &AppState::exportReport);
    more->setMenu(moreMenu);
    more->setPopupMode(QToolButton::InstantPopup);
    for (QWidget *widget : std::initializer_list<QWidget *>{zoomOut, zoomIn, inspector, more})
        tools->addWidget(widget);
    tools->addStretch(1);
    layout->addLayout(tools);

    auto *body = new QHBoxLayout;
    body->addWidget(m_canvas, 3);
    m_issues->setSelectionHint(QStringLiteral("选择问题可在画面中定位"));
    m_issues->setEmptyHint(QStringLiteral("当前容差下界面与设计稿一致"));
    m_issues->setMinimumWidth(300);
    body->addWidget(m_issues, 1);
    layout->addLayout(body, 1);

    connect(exportPdf, &QToolButton::clicked, &m_state, &AppState::exportPDFReport);
    connect(inspector, &QToolButton::clicked, &m_state, &AppState::openResultInspector);
    connect(zoomOut, &QToolButton::clicked, this, [this] { zoomBy(-kZoomStep); });
    connect(zoomIn, &QToolButton::clicked, this, [this] { zoomBy(kZoomStep); });
    connect(m_canvas, &ResultCanvasView::zoomRequested, this, [this](double factor) {
        m_state.setResultZoom(std::clamp(m_state.resultZoom() * factor, kMinimumZoom, kMaximumZoom));
    });
    connect(m_mode, &DisplayModePicker::modeChosen, &m_state, &AppState::setDisplayMode);
    connect(m_opacity, &QSlider::valueChanged, this, [this](int value) { m_state.setResultOverlayOpacity(value / 100.0); });
    connect(m_issues, &IssueListView::issueSelected, this, [this](const QUuid &id) {
        m_state.setSelectedIssueID(id.isNull() ? std::nullopt : std::optional<QUuid>(id));
    });
    connect(&m_state, &AppState::resultChanged, this, &ResultWorkspace::showResult);
    for (auto signal : {&AppState::displayModeChanged, &AppState::resultOverlayOpacityChanged, &AppState::resultZoomChanged,
                        &AppState::selectedIssueIDChanged})
        connect(&m_state, signal, this, &ResultWorkspace::showView);
    showResult();
    showView();
}

void ResultWorkspace::zoomBy(double step)
{
    m_state.setResultZoom(std::clamp(m_state.resultZoom() + step, kMinimumZoom, kMaximumZoom));
}

void ResultWorkspace::showResult()
{
    const std::optional<ComparisonResult> &result = m_state.result();
    if (!result) {
        m_canvas->setResult(ComparisonResult());
        m_issues->setIssues({});
        for (QLabel *label : {m_bannerStatus, m_bannerScore, m_bannerCount, m_status, m_score, m_changed, m_issueCount})
            label->clear();
        return;
    }
    const QString count = QString::number(result->issues.size());
    const bool match = result->status == kStatusConsistent;
    m_bannerStatus->setText(match ? QStringLiteral("✓ ") + result->status : result->status);
    m_bannerScore->setText(QStringLiteral("一致度 ") + NumberText::fixed(result->score, 2));
    m_bannerCount->setText(count + QStringLiteral(" 项差异"));
    m_status->setText(result->status);
    m_score->setText(texts::percent(result->score));
    m_changed->setText(texts::percent(result->changedPixelRatio * 100));
    m_issueCount->setText(count);
    m_canvas->setResult(*result);
    m_issues->setIssues(result->issues);
    showView();
}

void ResultWorkspace::showView()
{
    m_mode->setMode(m_state.displayMode());
    m_canvas->setMode(m_state.displayMode());
    m_canvas->setOverlayOpacity(m_state.resultOverlayOpacity());
    m_canvas->setZoom(m_state.resultZoom());
    m_canvas->setSelectedIssueID(m_state.selectedIssueID());
    m_issues->setSelectedIssueID(m_state.selectedIssueID());
    const QSignalBlocker blocker(m_opacity);
    m_opacity->setValue(qRound(m_state.resultOverlayOpacity() * 100));
    // The opacity only acts on the overlay.
    m_opacity->setEnabled(m_state.displayMode() == ComparisonDisplayMode::overlay);
}

} // namespace vantrel

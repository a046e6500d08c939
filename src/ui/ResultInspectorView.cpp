#include "ui/ResultInspectorView.h"

#include "engine/NumberText.h"
#include "ui/Controls.h"
#include "ui/DisplayModePicker.h"
#include "ui/ImageCanvas.h"
#include "ui/IssueListView.h"
#include "ui/ResultCanvasView.h"

#include <QCheckBox>
#include <QGestureEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QNativeGestureEvent>
#include <QPinchGesture>
#include <QShortcut>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

constexpr int kIssueListWidth = 300;
const QColor kConsistentColor(0x1E, 0x9E, 0x4A);
const QColor kDifferentColor(0xE0, 0x6A, 0x00);

} // namespace

ResultInspectorView::ResultInspectorView(QWidget *parent)
    : QWidget(parent)
    , m_blinkTimer(new QTimer(this))
    , m_header(new QLabel(this))
    , m_canvas(new ResultCanvasView(this))
    , m_issues(new IssueListView(this))
{
    QFont headerFont = m_header->font();
    headerFont.setPointSizeF(headerFont.pointSizeF() * 1.25);
    headerFont.setWeight(QFont::DemiBold);
    m_header->setFont(headerFont);
    // Live texts keep no accessible name of their own: screen readers read their text.
    m_header->setObjectName(QStringLiteral("resultHeader"));

    m_issues->setFixedWidth(kIssueListWidth);
    m_issues->setEmptyHint(QString());
    auto *body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(m_canvas, 1);
    body->addWidget(m_issues);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(buildToolbar());
    layout->addWidget(m_header);
    layout->addLayout(body, 1);

    connect(m_issues, &IssueListView::issueSelected, this, [this](const QUuid &id) {
        selectIssue(id.isNull() ? std::nullopt : std::optional<QUuid>(id));
    });
    connect(m_canvas, &ResultCanvasView::zoomRequested, this, [this](double factor) { setZoom(m_zoom * factor); });

    // Pinch gestures: Qt's gesture recogniser on touch screens, native zoom gestures from
    // touchpads (they arrive at the canvas under the pointer).
    grabGesture(Qt::PinchGesture);
    for (ImageCanvas *canvas : {m_canvas->primaryCanvas(), m_canvas->secondaryCanvas()}) {
        canvas->grabGesture(Qt::PinchGesture);
        canvas->installEventFilter(this);
    }

    m_blinkTimer->setTimerType(Qt::PreciseTimer);
    m_blinkTimer->setInterval(kBlinkIntervalMs);
    connect(m_blinkTimer, &QTimer::timeout, this, &ResultInspectorView::blinkTick);
    m_blinkTimer->start();

    showZoom();
    showPictures();
}

QWidget *ResultInspectorView::buildToolbar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    m_modePicker = new DisplayModePicker(QStringLiteral("视图"), bar);
    m_modePicker->setMode(m_mode);
    connect(m_modePicker, &DisplayModePicker::modeChosen, this, &ResultInspectorView::setMode);
    row->addWidget(m_modePicker);
    row->addSpacing(12);

    m_blinkToggle = controls::toggle(QStringLiteral("闪烁"), bar);
    connect(m_blinkToggle, &QCheckBox::toggled, this, &ResultInspectorView::setBlinkEnabled);
    row->addWidget(m_blinkToggle);
    row->addSpacing(12);

    m_opacitySlider = new QSlider(Qt::Horizontal, bar);
    m_opacitySlider->setRange(0, int(std::lround(1.0 / kOpacityStep)));
    m_opacitySlider->setPageStep(2);
    m_opacitySlider->setValue(int(std::lround(m_overlayOpacity / kOpacityStep)));
    m_opacitySlider->setMinimumWidth(120);
    connect(m_opacitySlider, &QSlider::valueChanged, this,
            [this](int steps) { setOverlayOpacity(steps * kOpacityStep); });
    row->addWidget(controls::caption(QStringLiteral("设计稿"), m_opacitySlider, bar));
    row->addWidget(m_opacitySlider);
    row->addStretch(1);

    QToolButton *zoomOutButton = controls::button(QStringLiteral("缩小"), bar);
    QToolButton *fitButton = controls::button(QStringLiteral("适合窗口"), bar);
    QToolButton *zoomInButton = controls::button(QStringLiteral("放大"), bar);
    connect(zoomOutButton, &QToolButton::clicked, this, &ResultInspectorView::zoomOut);
    connect(fitButton, &QToolButton::clicked, this, &ResultInspectorView::zoomToFit);
    connect(zoomInButton, &QToolButton::clicked, this, &ResultInspectorView::zoomIn);
    m_zoomLabel = new QLabel(bar);
    m_zoomLabel->setObjectName(QStringLiteral("zoomLabel"));
    m_zoomLabel->setMinimumWidth(m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("400%")) + 8);
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    for (QWidget *w : std::initializer_list<QWidget *>{zoomOutButton, m_zoomLabel, zoomInButton, fitButton})
        row->addWidget(w);

    // The usual zoom keys, while the inspector has the focus.
    const auto shortcut = [this](const QKeySequence &keys, void (ResultInspectorView::*slot)()) {
        auto *s = new QShortcut(keys, this, this, slot);
        s->setContext(Qt::WidgetWithChildrenShortcut);
    };
    shortcut(QKeySequence::ZoomIn, &ResultInspectorView::zoomIn);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), &ResultInspectorView::zoomIn);
    shortcut(QKeySequence::ZoomOut, &ResultInspectorView::zoomOut);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), &ResultInspectorView::zoomToFit);
    return bar;
}

void ResultInspectorView::setResult(const ComparisonResult &result)
{
    m_result = result;
    m_header->setText(result.status + QStringLiteral(" · 一致度 ") + NumberText::fixed(result.score, 2));
    QPalette palette = m_header->palette();
    palette.setColor(QPalette::WindowText, result.status == kStatusConsistent ? kConsistentColor : kDifferentColor);
    m_header->setPalette(palette);
    m_issues->setIssues(result.issues);
    m_canvas->setResult(result);
    const bool known = m_selectedIssueID && std::any_of(result.issues.begin(), result.issues.end(), [&](const auto &i) {
                           return i.id == *m_selectedIssueID;
                       });
    selectIssue(known ? m_selectedIssueID : std::nullopt);
}

void ResultInspectorView::setMode(ComparisonDisplayMode mode)
{
    m_mode = mode;
    m_modePicker->setMode(mode);
    showPictures();
}

void ResultInspectorView::setZoom(double zoom)
{
    if (!std::isfinite(zoom))
        return;
    m_zoom = std::clamp(zoom, kMinimumZoom, kMaximumZoom);
    showZoom();
}

void ResultInspectorView::zoomIn()
{
    setZoom(m_zoom + kZoomStep);
}

void ResultInspectorView::zoomOut()
{
    setZoom(m_zoom - kZoomStep);
}

void ResultInspectorView::zoomToFit()
{
    setZoom(m_mode == ComparisonDisplayMode::sideBySide ? kFitZoomSideBySide : kFitZoom);
}

void ResultInspectorView::setOverlayOpacity(double opacity)
{
    m_overlayOpacity = std::clamp(opacity, 0.0, 1.0);
    const int steps = int(std::lround(m_overlayOpacity / kOpacityStep));
    if (m_opacitySlider->value() != steps)
        m_opacitySlider->setValue(steps);
    showPictures();
}

void ResultInspectorView::setBlinkEnabled(bool enabled)
{
    m_blinkEnabled = enabled;
    m_blinkToggle->setChecked(enabled);
    showPictures();
}

void ResultInspectorView::blinkTick()
{
    if (!m_blinkEnabled)
        return;
    m_blinkPhase = !m_blinkPhase;
    showPictures();
}

void ResultInspectorView::selectIssue(std::optional<QUuid> id)
{
    m_selectedIssueID = id;
    m_issues->setSelectedIssueID(id);
    m_canvas->setSelectedIssueID(id);
}

void ResultInspectorView::magnificationChanged(double magnification)
{
    if (!(magnification > 0) || !std::isfinite(magnification))
        return;
    setZoom(m_zoom * (magnification / m_lastMagnification));
    m_lastMagnification = magnification;
}

void ResultInspectorView::magnificationEnded()
{
    m_lastMagnification = 1.0;
}

bool ResultInspectorView::handleGesture(QEvent *event)
{
    if (event->type() == QEvent::Gesture) {
        auto *gestures = static_cast<QGestureEvent *>(event);
        auto *pinch = static_cast<QPinchGesture *>(gestures->gesture(Qt::PinchGesture));
        if (!pinch)
            return false;
        if (pinch->changeFlags() & QPinchGesture::ScaleFactorChanged)
            magnificationChanged(pinch->totalScaleFactor());
        if (pinch->state() == Qt::GestureFinished || pinch->state() == Qt::GestureCanceled)
            magnificationEnded();
        gestures->accept(pinch);
        return true;
    }
    if (event->type() == QEvent::NativeGesture) {
        auto *native = static_cast<QNativeGestureEvent *>(event);
        switch (native->gestureType()) {
        case Qt::ZoomNativeGesture:
            // Each event carries the change since the previous one.
            magnificationChanged(m_lastMagnification * (1.0 + native->value()));
            native->accept(); // handled: not passed on to the parents
            return true;
        case Qt::EndNativeGesture:
            magnificationEnded();
            native->accept();
            return true;
        default:
            return false;
        }
    }
    return false;
}

bool ResultInspectorView::event(QEvent *event)
{
    if (handleGesture(event))
        return true;
    return QWidget::event(event);
}

bool ResultInspectorView::eventFilter(QObject *watched, QEvent *event)
{
    if (handleGesture(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void ResultInspectorView::showZoom()
{
    m_zoomLabel->setText(QString::number(std::lround(m_zoom * 100)) + QLatin1Char('%'));
    m_canvas->setZoom(m_zoom);
}

void ResultInspectorView::showPictures()
{
    m_canvas->setMode(m_mode);
    m_canvas->setOverlayOpacity(m_overlayOpacity);
    m_canvas->setBlink(m_blinkEnabled, m_blinkPhase);
}

} // namespace vantrel

#include "ui/CaptureWorkspace.h"

#include "app/AppState.h"
#include "ui/Controls.h"
#include "ui/ImageCanvas.h"
#include "ui/MainWindowTexts.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vantrel {

namespace {

// A card: a bold title, a subtitle, optional controls on the title row, and the canvas.
QFrame *card(QLabel *title, QLabel *subtitle, QWidget *extra, ImageCanvas *canvas, QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(frame);
    auto *heading = new QHBoxLayout;
    auto *texts = new QVBoxLayout;
    QFont font = title->font();
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    subtitle->setForegroundRole(QPalette::PlaceholderText);
    texts->addWidget(title);
    texts->addWidget(subtitle);
    heading->addLayout(texts, 1);
    if (extra)
        heading->addWidget(extra);
    layout->addLayout(heading);
    layout->addWidget(canvas, 1);
    return frame;
}

} // namespace

CaptureWorkspace::CaptureWorkspace(AppState &state, QWidget *parent)
    : QWidget(parent),
      m_state(state),
      m_deviceTitle(new QLabel(this)),
      m_deviceSubtitle(new QLabel(this)),
      m_designSubtitle(new QLabel(this)),
      m_draw(controls::toggle(QStringLiteral("拖拽框选忽略区域"), this)),
      m_deviceCanvas(new ImageCanvas(this)),
      m_designCanvas(new ImageCanvas(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(card(m_deviceTitle, m_deviceSubtitle, m_draw, m_deviceCanvas, this), 1);
    layout->addWidget(card(new QLabel(QStringLiteral("设计稿"), this), m_designSubtitle, nullptr, m_designCanvas, this), 1);
    m_designCanvas->setPlaceholder(QStringLiteral("导入设计稿"), QStringLiteral("拖入图片，或粘贴 Figma、CoDesign、公开图片链接"));
    m_designCanvas->setAccessibleName(QStringLiteral("设计稿"));

    connect(m_draw, &QCheckBox::toggled, &m_state, &AppState::setDrawingIgnoreRegion);
    connect(m_deviceCanvas, &ImageCanvas::ignoredRegionDrawn, &m_state, &AppState::addIgnoredRegion);
    connect(&m_state, &AppState::currentDeviceImageChanged, this, &CaptureWorkspace::showDeviceImage);
    connect(&m_state, &AppState::isShowingHistoryChanged, this, &CaptureWorkspace::showDeviceImage);
    connect(&m_state, &AppState::designChanged, this, &CaptureWorkspace::showDesign);
    connect(&m_state, &AppState::resultChanged, this, &CaptureWorkspace::showDesign);
    connect(&m_state, &AppState::isShowingHistoryChanged, this, &CaptureWorkspace::showDesign);
    connect(&m_state, &AppState::stateChanged, this, &CaptureWorkspace::showState);
    showDeviceImage();
    showDesign();
    showState();
}

void CaptureWorkspace::showDeviceImage()
{
    m_deviceCanvas->setImage(m_state.currentDeviceImage().value_or(QImage()));
}

void CaptureWorkspace::showDesign()
{
    m_designCanvas->setImage(m_state.currentDesignImage().value_or(QImage()));
    m_designSubtitle->setText(texts::designSubtitle(m_state.design(), m_state.isShowingHistory()));
}

void CaptureWorkspace::showState()
{
    const QString platform = m_state.platformName();
    const QString title = platform + QStringLiteral(" 当前界面");
    if (m_deviceTitle->text() != title) {
        m_deviceTitle->setText(title);
        m_deviceCanvas->setAccessibleName(title);
        m_deviceCanvas->setPlaceholder(QStringLiteral("等待真机画面"),
                                       QStringLiteral("连接 ") + platform + QStringLiteral(" 设备，或导入一张真机截图离线对比"));
    }
    const bool connected = m_state.currentConnectionState().kind == DeviceConnectionState::Kind::connected;
    m_deviceSubtitle->setText(connected ? QStringLiteral("实时预览 · 对比时自动获取高清 PNG") : QStringLiteral("离线截图模式"));
    if (m_deviceCanvas->ignoredRegions() != m_state.settings().ignoredRegions)
        m_deviceCanvas->setIgnoredRegions(m_state.settings().ignoredRegions);
    m_deviceCanvas->setDrawingEnabled(m_state.isDrawingIgnoreRegion());
    const QSignalBlocker blocker(m_draw);
    m_draw->setChecked(m_state.isDrawingIgnoreRegion());
}

} // namespace vantrel

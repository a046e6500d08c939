#include "ui/TopBar.h"

#include "app/AppState.h"
#include "ui/Controls.h"
#include "ui/MainWindowTexts.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace vantrel {

namespace {

QPushButton *pushButton(const QString &label, QWidget *parent)
{
    auto *button = new QPushButton(label, parent);
    button->setAccessibleName(label);
    return button;
}

QComboBox *picker(const QString &label, QHBoxLayout *layout, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    layout->addWidget(controls::caption(label, box, parent));
    layout->addWidget(box);
    return box;
}

} // namespace

TopBar::TopBar(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    auto *layout = new QHBoxLayout(this);
    auto *mark = new QVBoxLayout;
    auto *name = new QLabel(QStringLiteral("Vantrel"), this);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setWeight(QFont::Bold);
    name->setFont(font);
    mark->addWidget(name);
    mark->addWidget(new QLabel(QStringLiteral("Pixel-accurate UI review"), this));
    layout->addLayout(mark);
    layout->addSpacing(12);

    m_platform = picker(QStringLiteral("平台"), layout, this);
    m_platform->addItem(QStringLiteral("iOS"), int(AppPlatform::ios));
    m_platform->addItem(QStringLiteral("Android"), int(AppPlatform::android));
    m_devices = picker(QStringLiteral("设备"), layout, this);
    m_devices->setMinimumContentsLength(14);
    m_devices->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto *refresh = pushButton(QStringLiteral("刷新设备"), this);
    m_connect = pushButton(QStringLiteral("连接"), this);
    layout->addWidget(refresh);
    layout->addWidget(m_connect);
    layout->addStretch(1);

    auto *workspace = new QWidget(this);
    auto *workspaceLayout = new QHBoxLayout(workspace);
    workspaceLayout->setContentsMargins(0, 0, 0, 0);
    workspaceLayout->setSpacing(0);
    m_captureWorkspace = pushButton(QStringLiteral("采集与设计稿"), workspace);
    m_resultWorkspace = pushButton(QStringLiteral("对比结果"), workspace);
    auto *group = new QButtonGroup(workspace);
    for (QPushButton *button : {m_captureWorkspace, m_resultWorkspace}) {
        button->setCheckable(true);
        group->addButton(button);
        workspaceLayout->addWidget(button);
    }
    layout->addWidget(controls::caption(QStringLiteral("工作区"), workspace, this));
    layout->addWidget(workspace);
    m_start = pushButton(QStringLiteral("开始对比"), this);
    m_start->setDefault(true);
    layout->addWidget(m_start);
    m_history = controls::button(QStringLiteral("历史"), this);
    m_historyMenu = new QMenu(m_history);
    m_history->setMenu(m_historyMenu);
    m_history->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(m_history);

    connect(m_platform, &QComboBox::activated, this, [this] {
        m_state.setPlatform(AppPlatform(m_platform->currentData().toInt()));
        m_state.platformDidChange();
    });
    connect(m_devices, &QComboBox::activated, this, [this] {
        m_state.currentManager().setSelectedDeviceID(m_devices->currentData().toString());
    });
    connect(refresh, &QPushButton::clicked, &m_state, &AppState::refreshCurrentDevices);
    connect(m_connect, &QPushButton::clicked, &m_state, &AppState::connectDevice);
    connect(m_start, &QPushButton::clicked, &m_state, &AppState::runComparison);
    // Toggled rather than clicked: assistive tools check a button without clicking it.
    connect(m_captureWorkspace, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            m_state.setWorkspaceMode(MainWorkspaceMode::capture);
    });
    connect(m_resultWorkspace, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            m_state.setWorkspaceMode(MainWorkspaceMode::result);
    });

    connect(&m_state, &AppState::platformChanged, this, &TopBar::showPlatform);
    connect(&m_state, &AppState::currentDevicesChanged, this, &TopBar::showDevices);
    connect(&m_state, &AppState::historiesChanged, this, &TopBar::showHistory);
    connect(&m_state, &AppState::stateChanged, this, &TopBar::showState);
    showPlatform();
    showDevices();
    showHistory();
    showState();
}

void TopBar::showPlatform()
{
    const QSignalBlocker blocker(m_platform);
    m_platform->setCurrentIndex(m_platform->findData(int(m_state.platform())));
}

void TopBar::showDevices()
{
    const QSignalBlocker blocker(m_devices);
    m_devices->clear();
    if (m_state.platform() == AppPlatform::android) {
        for (const AndroidDevice &device : m_state.android().devices())
            m_devices->addItem(texts::deviceEntry(device), device.id);
    } else {
        for (const IOSDevice &device : m_state.device().devices())
            m_devices->addItem(texts::deviceEntry(device), device.id);
    }
    const std::optional<QString> &selected = m_state.currentManager().selectedDeviceID();
    m_devices->setCurrentIndex(selected ? m_devices->findData(*selected) : -1);
}

void TopBar::showHistory()
{
    m_historyMenu->clear();
    if (m_state.histories().isEmpty()) {
        m_historyMenu->addAction(QStringLiteral("暂无历史记录"))->setEnabled(false);
        return;
    }
    for (const ComparisonHistoryEntry &entry : m_state.histories()) {
        m_historyMenu->addAction(texts::historyEntry(entry), this, [this, entry] { m_state.openHistory(entry); });
    }
}

void TopBar::showState()
{
    const QString connectText = texts::connectLabel(m_state.currentConnectionState());
    if (m_connect->text() != connectText) {
        m_connect->setText(connectText);
        m_connect->setAccessibleName(connectText);
    }
    const QString startText = m_state.isBusy() ? QStringLiteral("处理中") : QStringLiteral("开始对比");
    if (m_start->text() != startText) {
        m_start->setText(startText);
        m_start->setAccessibleName(startText);
    }
    m_start->setEnabled(m_state.canCompare());
    const bool capture = m_state.workspaceMode() == MainWorkspaceMode::capture;
    m_captureWorkspace->setChecked(capture);
    m_resultWorkspace->setChecked(!capture);
}

} // namespace vantrel

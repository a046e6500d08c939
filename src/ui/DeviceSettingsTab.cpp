#include "ui/DeviceSettingsTab.h"

#include "app/AppState.h"
#include "ui/Controls.h"
#include "ui/SettingsWindowLayout.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <functional>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace vantrel {

using namespace settingslayout;

DeviceSettingsTab::DeviceSettingsTab(AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_platform(new QButtonGroup(this))
{
    QVBoxLayout *column = scrollingPage(this);
    QWidget *page = column->parentWidget();

    // A segmented picker: a group named by its caption, one checkable button per platform.
    auto *picker = new QWidget(page);
    auto *segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    for (const AppPlatform platform : {AppPlatform::ios, AppPlatform::android}) {
        QToolButton *button = controls::button(rawValue(platform), picker);
        button->setCheckable(true);
        button->setMinimumWidth(88);
        m_platform->addButton(button, int(platform));
        segments->addWidget(button);
    }
    segments->addStretch(1);
    auto *platformRow = new QFormLayout;
    platformRow->addRow(controls::caption(QStringLiteral("设备平台"), picker, page), picker);
    column->addLayout(platformRow);
    showPlatform();
    connect(m_platform, &QButtonGroup::idClicked, this, [this](int id) {
        if (AppPlatform(id) == m_state.platform())
            return;
        m_state.setPlatform(AppPlatform(id));
        m_state.platformDidChange();
    });
    connect(&m_state, &AppState::platformChanged, this, &DeviceSettingsTab::showPlatform);

    QFormLayout *wda = section(QStringLiteral("WDA 真机签名"), column);
    QLineEdit *teamID = textField(&AppState::appleTeamID, &AppState::setAppleTeamID, &AppState::appleTeamIDChanged);
    wda->addRow(controls::caption(QStringLiteral("Apple Team ID"), teamID, page), teamID);
    QLineEdit *bundleID = textField(&AppState::wdaBundleID, &AppState::setWdaBundleID, &AppState::wdaBundleIDChanged);
    wda->addRow(controls::caption(QStringLiteral("WDA Bundle ID"), bundleID, page), bundleID);
    wda->addRow(note(QStringLiteral("免费 Apple 账号签名通常仅有效 7 天；过期后需重新构建 WDA。"), page));

    QFormLayout *adb = section(QStringLiteral("Android ADB"), column);
    adb->addRow(note(QStringLiteral("请开启开发者选项和 USB 调试；首次连接时在手机上允许此 Mac 的调试授权。"), page));
    adb->addRow(note(QStringLiteral("无需在 Android 手机上安装辅助 App。"), page));

    QFormLayout *figma = section(QStringLiteral("Figma"), column);
    QLineEdit *token = textField(&AppState::figmaToken, &AppState::setFigmaToken, &AppState::figmaTokenChanged);
    token->setEchoMode(QLineEdit::Password);
    figma->addRow(controls::caption(QStringLiteral("只读 Personal Access Token"), token, page), token);
    figma->addRow(note(QStringLiteral("Token 仅保存在 macOS 钥匙串，不会写入报告。"), page));

    QToolButton *connectButton = controls::button(QStringLiteral("连接"), page);
    connectButton->setMinimumWidth(96);
    connect(connectButton, &QToolButton::clicked, &m_state, &AppState::connectDevice);
    column->addWidget(connectButton, 0, Qt::AlignLeft);
    column->addStretch(1);
}

QLineEdit *DeviceSettingsTab::textField(const QString &(AppState::*get)() const,
                                        void (AppState::*set)(const QString &), void (AppState::*changed)())
{
    auto *field = new QLineEdit((m_state.*get)(), this);
    const std::function<void(const QString &)> write = std::bind_front(set, &m_state);
    const std::function<QString()> read = std::bind_front(get, &m_state);
    connect(field, &QLineEdit::textEdited, this, [this, write](const QString &text) {
        write(text);
        m_state.savePreferences();
    });
    // A change made elsewhere; the field keeps its cursor when it already shows the text.
    connect(&m_state, changed, field, [field, read] {
        const QString text = read();
        if (field->text() != text) {
            const QSignalBlocker blocker(field);
            field->setText(text);
        }
    });
    return field;
}

void DeviceSettingsTab::showPlatform()
{
    m_platform->button(int(m_state.platform()))->setChecked(true);
}

} // namespace vantrel

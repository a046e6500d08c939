#pragma once

#include <QWidget>

class QButtonGroup;
class QLineEdit;

namespace vantrel {

class AppState;

// The settings tab "设备": the device platform, the WebDriverAgent signing, the Android and Figma
// notes, the Figma token and a button that connects the current platform's device.
class DeviceSettingsTab : public QWidget {
    Q_OBJECT

public:
    explicit DeviceSettingsTab(AppState &state, QWidget *parent = nullptr);

private:
    // A text field bound to one text of the state.
    QLineEdit *textField(const QString &(AppState::*get)() const, void (AppState::*set)(const QString &),
                         void (AppState::*changed)());
    void showPlatform();

    AppState &m_state;
    QButtonGroup *m_platform;
};

} // namespace vantrel

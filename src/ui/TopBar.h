#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace vantrel {

class AppState;

// The main window's top bar: the product mark, the platform "平台" and device "设备" pickers,
// "刷新设备", the connect button, the workspace switch "工作区", "开始对比" and the history menu
// "历史". It follows the state and calls its actions.
class TopBar : public QWidget {
    Q_OBJECT
public:
    explicit TopBar(AppState &state, QWidget *parent = nullptr);

    QPushButton *connectButton() const { return m_connect; }
    QPushButton *startButton() const { return m_start; }
    QMenu *historyMenu() const { return m_historyMenu; }
    QComboBox *devicePicker() const { return m_devices; }

private:
    void showPlatform();
    void showDevices();
    void showHistory();
    void showState();

    AppState &m_state;
    QComboBox *m_platform;
    QComboBox *m_devices;
    QPushButton *m_connect;
    QPushButton *m_captureWorkspace;
    QPushButton *m_resultWorkspace;
    QPushButton *m_start;
    QToolButton *m_history;
    QMenu *m_historyMenu;
};

} // namespace vantrel

#pragma once

#include <QWidget>

class QTabWidget;

namespace vantrel {

class AppState;

// The non-modal settings window "设置" with its three tabs "设备", "对比" and "环境诊断". It keeps
// no data of its own: every tab shows the application state, follows its changes and writes the
// user's edits back, saving the preferences after each one.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kInitialSize{620, 760};
    static constexpr QSize kMinimumSize{520, 560};

    explicit SettingsWindow(AppState &state, QWidget *parent = nullptr);

    QTabWidget *tabs() const { return m_tabs; }

private:
    QTabWidget *m_tabs;
};

} // namespace vantrel

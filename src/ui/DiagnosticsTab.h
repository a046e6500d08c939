#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace vantrel {

class AppState;
class DeviceManagerBase;

// The settings tab "环境诊断": the environment checks of the current platform's device manager,
// one row each with an icon by level, a button that runs them again, and the manager's log.
// Both follow the manager live; while the tab is hidden they are brought up to date only when it
// is shown again, so a busy log costs nothing in the background.
class DiagnosticsTab : public QWidget {
    Q_OBJECT

public:
    explicit DiagnosticsTab(AppState &state, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void watch(DeviceManagerBase &manager);
    void showPlatform();
    void showChecks();
    void showLog();

    AppState &m_state;
    QLabel *m_heading;
    QListWidget *m_checks;
    QLabel *m_logCaption;
    QLabel *m_noLog;
    QPlainTextEdit *m_log;
    QString m_shownLog;
    bool m_checksStale = true;
    bool m_logStale = true;
};

} // namespace vantrel

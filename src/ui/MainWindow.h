#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMessageBox;
class QStackedWidget;

namespace vantrel {

class AppState;
class CaptureWorkspace;
class DesignSourceBar;
class ResultWorkspace;
class TopBar;

// The main window: top bar, design source bar, the capture or the result workspace, the status
// bar, the menus with their shortcuts, the alerts ("提示", "知道了") and dropped designs. Every
// piece follows the state and calls its actions; the window keeps no data of its own.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 1180;

    explicit MainWindow(AppState &state, QWidget *parent = nullptr);

    TopBar *topBar() const { return m_topBar; }
    DesignSourceBar *sourceBar() const { return m_sourceBar; }
    CaptureWorkspace *captureWorkspace() const { return m_capture; }
    ResultWorkspace *resultWorkspace() const { return m_result; }
    QMessageBox *alert() const { return m_alert; }
    QLabel *statusText() const { return m_statusText; }

Q_SIGNALS:
    void settingsRequested();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    void showAlert();
    void showState();

    AppState &m_state;
    TopBar *m_topBar;
    DesignSourceBar *m_sourceBar;
    QStackedWidget *m_workspaces;
    CaptureWorkspace *m_capture;
    ResultWorkspace *m_result;
    QLabel *m_statusText;
    QLabel *m_regionCount;
    QLabel *m_threshold;
    QLabel *m_statusBarIgnored;
    QMessageBox *m_alert;
    QAction *m_compareAction = nullptr;
    QList<QAction *> m_resultActions;
};

} // namespace vantrel

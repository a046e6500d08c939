#include "ui/MainWindow.h"

#include "app/AppState.h"
#include "app/DroppedDesign.h"
#include "engine/NumberText.h"
#include "ui/CaptureWorkspace.h"
#include "ui/DesignSourceBar.h"
#include "ui/ResultWorkspace.h"
#include "ui/TopBar.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>

namespace vantrel {

MainWindow::MainWindow(AppState &state, QWidget *parent)
    : QMainWindow(parent), m_state(state)
{
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel.png")));
    setMinimumWidth(kMinimumWidth);
    resize(1320, 900);
    setAcceptDrops(true);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 4, 8, 0);
    m_topBar = new TopBar(state, central);
    m_sourceBar = new DesignSourceBar(state, central);
    m_workspaces = new QStackedWidget(central);
    m_capture = new CaptureWorkspace(state, m_workspaces);
    m_result = new ResultWorkspace(state, m_workspaces);
    m_workspaces->addWidget(m_capture);
    m_workspaces->addWidget(m_result);
    layout->addWidget(m_topBar);
    layout->addWidget(m_sourceBar);
    layout->addWidget(m_workspaces, 1);
    setCentralWidget(central);

    m_statusText = new QLabel(this);
    m_statusText->setAccessibleName(QStringLiteral("状态"));
    m_regionCount = new QLabel(this);
    m_threshold = new QLabel(this);
    m_statusBarIgnored = new QLabel(QStringLiteral("已忽略状态栏"), this);
    statusBar()->addWidget(m_statusText, 1);
    for (QLabel *label : {m_regionCount, m_threshold, m_statusBarIgnored})
        statusBar()->addPermanentWidget(label);

    m_alert = new QMessageBox(QMessageBox::Information, QStringLiteral("提示"), QString(), QMessageBox::NoButton, this);
    QPushButton *dismiss = m_alert->addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
    dismiss->setAccessibleName(dismiss->text());
    m_alert->setWindowModality(Qt::WindowModal);
    connect(m_alert, &QMessageBox::finished, this, [this] { m_state.setAlertMessage(std::nullopt); });

    buildMenus();
    connect(&m_state, &AppState::alertMessageChanged, this, &MainWindow::showAlert);
    connect(&m_state, &AppState::stateChanged, this, &MainWindow::showState);
    showState();
    showAlert();
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件"));
    file->addAction(QStringLiteral("导入设计稿…"), QKeySequence::Open, &m_state, &AppState::chooseLocalDesign);
    file->addAction(QStringLiteral("导入真机截图（离线对比）…"), &m_state, &AppState::chooseDeviceScreenshot);
    file->addSeparator();
    m_resultActions << file->addAction(QStringLiteral("导出报告…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                                       &m_state, &AppState::exportReport);
    m_resultActions << file->addAction(QStringLiteral("导出 PDF 报告…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
                                       &m_state, &AppState::exportPDFReport);
    file->addSeparator();
    QAction *settings = file->addAction(QStringLiteral("设置…"), QKeySequence::Preferences, this, &MainWindow::settingsRequested);
    settings->setMenuRole(QAction::PreferencesRole);
    file->addAction(QStringLiteral("退出"), QKeySequence::Quit, this, &QWidget::close)->setMenuRole(QAction::QuitRole);

    QMenu *compare = menuBar()->addMenu(QStringLiteral("对比"));
    m_compareAction = compare->addAction(QStringLiteral("开始对比"), QKeySequence(Qt::CTRL | Qt::Key_Return),
                                         &m_state, &AppState::runComparison);
    m_resultActions << compare->addAction(QStringLiteral("打开高清检查器"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                                          &m_state, &AppState::openResultInspector);
}

void MainWindow::showAlert()
{
    const std::optional<QString> &message = m_state.alertMessage();
    if (!message) {
        if (m_alert->isVisible())
            m_alert->hide();
        return;
    }
    m_alert->setText(*message);
    m_alert->setAccessibleDescription(*message);
    if (!m_alert->isVisible())
        m_alert->open();
}

void MainWindow::showState()
{
    m_workspaces->setCurrentWidget(m_state.workspaceMode() == MainWorkspaceMode::result
                                       ? static_cast<QWidget *>(m_result)
                                       : m_capture);
    m_statusText->setText(m_state.statusMessage());
    m_statusText->setAccessibleDescription(m_state.statusMessage()); // labels expose no text to assistive tools
    const ComparisonSettings &settings = m_state.settings();
    m_regionCount->setText(QStringLiteral("忽略区域 ") + QString::number(settings.ignoredRegions.size()));
    m_threshold->setText(QStringLiteral("阈值 ") + NumberText::fixed(settings.pixelThreshold, 0));
    m_statusBarIgnored->setVisible(settings.ignoreStatusBar);
    m_compareAction->setEnabled(m_state.canCompare());
    for (QAction *action : std::as_const(m_resultActions))
        action->setEnabled(m_state.result().has_value());
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (DroppedDesign::from(event->mimeData()))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    if (m_state.handleDrop(event->mimeData()))
        event->acceptProposedAction();
}

} // namespace vantrel

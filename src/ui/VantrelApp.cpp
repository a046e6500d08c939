#include "ui/VantrelApp.h"

#include "ui/MainWindow.h"
#include "ui/SettingsWindow.h"

namespace vantrel {

VantrelApp::VantrelApp()
    : m_state(std::make_unique<AppState>(&m_services)),
      m_mainWindow(std::make_unique<MainWindow>(*m_state))
{
    m_services.attach(m_state.get(), m_mainWindow.get());
    QObject::connect(m_mainWindow.get(), &MainWindow::settingsRequested, m_mainWindow.get(), [this] { showSettings(); });
}

VantrelApp::~VantrelApp()
{
    // The windows observe the state: they go first.
    m_mainWindow.reset();
}

void VantrelApp::showSettings()
{
    if (!m_settingsWindow)
        m_settingsWindow = new SettingsWindow(*m_state, m_mainWindow.get());
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

} // namespace vantrel

#include "ui/VantrelApp.h"

#include "ui/MainWindow.h"

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
}

} // namespace vantrel

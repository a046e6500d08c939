#pragma once

#include "app/AppState.h"
#include "ui/WidgetServices.h"

#include <QPointer>

#include <memory>

namespace vantrel {

class MainWindow;
class SettingsWindow;

// The desktop application: the state, the windows' services, the main window and, once asked
// for, the settings window. Lives for the whole run.
class VantrelApp {
public:
    VantrelApp();
    ~VantrelApp();

    AppState &state() { return *m_state; }
    MainWindow &mainWindow() { return *m_mainWindow; }
    void showSettings();

private:
    WidgetServices m_services;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_mainWindow;
    QPointer<SettingsWindow> m_settingsWindow; // a child of the main window, made when first asked for
};

} // namespace vantrel

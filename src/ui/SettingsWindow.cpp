#include "ui/SettingsWindow.h"

#include "ui/ComparisonSettingsTab.h"
#include "ui/DeviceSettingsTab.h"
#include "ui/DiagnosticsTab.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace vantrel {

SettingsWindow::SettingsWindow(AppState &state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_tabs(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("设置"));
    setWindowModality(Qt::NonModal);
    setMinimumSize(kMinimumSize);
    resize(kInitialSize);

    m_tabs->setDocumentMode(true);
    m_tabs->addTab(new DeviceSettingsTab(state, m_tabs), QStringLiteral("设备"));
    m_tabs->addTab(new ComparisonSettingsTab(state, m_tabs), QStringLiteral("对比"));
    m_tabs->addTab(new DiagnosticsTab(state, m_tabs), QStringLiteral("环境诊断"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->addWidget(m_tabs);
}

} // namespace vantrel

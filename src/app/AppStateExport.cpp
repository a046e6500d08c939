// Reports and the inspector window.
#include "app/AppState.h"

#include "app/ErrorText.h"

#include <QDateTime>
#include <QFileInfo>

namespace vantrel {

void AppState::exportReport()
{
    exportTo(false);
}

void AppState::exportPDFReport()
{
    exportTo(true);
}

void AppState::exportTo(bool pdf)
{
    if (!m_result || !m_ui)
        return;
    const QString stem = QStringLiteral("界面对比报告-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const std::optional<QString> path =
        pdf ? m_ui->chooseFileToSave(QStringLiteral("导出 PDF 对比报告"), stem + QStringLiteral(".pdf"),
                                     UserInterfaceServices::FileType::pdf)
            : m_ui->chooseFileToSave(QStringLiteral("导出界面对比报告"), stem + QStringLiteral(".html"),
                                     UserInterfaceServices::FileType::html);
    if (!path || !m_result)
        return;
    try {
        if (pdf)
            m_exporter.exportPDF(*m_result, m_design, resultDeviceName(), m_settings, *path);
        else
            m_exporter.exportHtml(*m_result, m_design, resultDeviceName(), m_settings, *path);
    } catch (const std::exception &error) {
        setAlertMessage((pdf ? QStringLiteral("PDF 导出失败：") : QStringLiteral("报告导出失败：")) + errorText(error));
        return;
    }
    const QString name = QFileInfo(*path).fileName();
    setStatusMessage((pdf ? QStringLiteral("PDF 报告已导出：") : QStringLiteral("报告已导出：")) + name);
    m_ui->revealFile(*path);
}

void AppState::openResultInspector()
{
    if (!m_result || !m_ui)
        return;
    if (m_inspectorWindow) {
        m_ui->raiseWindow(m_inspectorWindow);
        return;
    }
    m_inspectorWindow = m_ui->openInspectorWindow();
}

} // namespace vantrel

#include "ui/WidgetServices.h"

#include "app/AppState.h"
#include "ui/ResultInspectorWindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace vantrel {

void WidgetServices::attach(AppState *state, QWidget *window)
{
    m_state = state;
    m_window = window;
    m_lastFolder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!QFileInfo(m_lastFolder).isDir())
        m_lastFolder = QDir::homePath();
}

QString WidgetServices::nameFilter(FileType type)
{
    switch (type) {
    case FileType::html:
        return QStringLiteral("HTML (*.html)");
    case FileType::pdf:
        return QStringLiteral("PDF (*.pdf)");
    case FileType::image:
        break;
    }
    return QStringLiteral("图片 (*.png *.jpg *.jpeg *.webp)");
}

std::optional<QString> WidgetServices::chooseFileToOpen(const QString &title, FileType type)
{
    const QString path = QFileDialog::getOpenFileName(m_window, title, m_lastFolder, nameFilter(type));
    if (path.isEmpty())
        return std::nullopt;
    m_lastFolder = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QString> WidgetServices::chooseFileToSave(const QString &title, const QString &proposedName, FileType type)
{
    QString path = QFileDialog::getSaveFileName(m_window, title, QDir(m_lastFolder).filePath(proposedName), nameFilter(type));
    if (path.isEmpty())
        return std::nullopt;
    const QString suffix = type == FileType::pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");
    if (type != FileType::image && !path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    m_lastFolder = QFileInfo(path).absolutePath();
    return path;
}

void WidgetServices::revealFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

QObject *WidgetServices::openInspectorWindow()
{
    if (!m_state || !m_state->result())
        return nullptr;
    auto *window = new ResultInspectorWindow(m_window);
    window->setResult(*m_state->result());
    QObject::connect(m_state, &AppState::resultChanged, window, [state = m_state, window] {
        if (state->result())
            window->setResult(*state->result());
        else
            window->close();
    });
    window->present();
    return window;
}

void WidgetServices::raiseWindow(QObject *window)
{
    if (auto *inspector = qobject_cast<ResultInspectorWindow *>(window))
        inspector->present();
}

} // namespace vantrel

#pragma once

#include "app/UserInterfaceServices.h"

#include <QPointer>
#include <QWidget>

namespace vantrel {

class AppState;

// The windows' side of what the application state asks for: Qt's file dialogs, the file viewer,
// and the inspector window of the current result (kept up to date while it is open).
class WidgetServices : public UserInterfaceServices {
public:
    // Both must be set before the state asks for anything.
    void attach(AppState *state, QWidget *window);

    std::optional<QString> chooseFileToOpen(const QString &title, FileType type) override;
    std::optional<QString> chooseFileToSave(const QString &title, const QString &proposedName, FileType type) override;
    void revealFile(const QString &path) override;
    QObject *openInspectorWindow() override;
    void raiseWindow(QObject *window) override;

    static QString nameFilter(FileType type);

private:
    AppState *m_state = nullptr;
    QPointer<QWidget> m_window;
    QString m_lastFolder;
};

} // namespace vantrel

#pragma once

#include <QString>

#include <optional>

class QObject;

namespace vantrel {

// What the application state asks of the windows: file choosers, a reveal in the file viewer and
// the inspector window. The windows implement it; tests replace it. Every call runs on the main
// thread; the choosers may be modal.
class UserInterfaceServices {
public:
    enum class FileType { image, html, pdf };

    virtual ~UserInterfaceServices() = default;

    // A single existing file of the given type (images: PNG, JPEG or WebP); none when cancelled.
    virtual std::optional<QString> chooseFileToOpen(const QString &title, FileType type) = 0;
    // A place to write a file of the given type, proposing `proposedName`; none when cancelled.
    virtual std::optional<QString> chooseFileToSave(const QString &title, const QString &proposedName,
                                                    FileType type) = 0;
    // Shows the written file in the system's file viewer.
    virtual void revealFile(const QString &path) = 0;
    // Creates and shows the inspector window of the state's current result. The state keeps a
    // guarded pointer: the window deletes itself when closed, which is how the state forgets it.
    virtual QObject *openInspectorWindow() = 0;
    // Brings an open inspector window to the front.
    virtual void raiseWindow(QObject *window) = 0;
};

} // namespace vantrel

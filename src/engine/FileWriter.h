#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace vantrel {

class FileWriteError : public std::runtime_error {
public:
    explicit FileWriteError(const QString &message)
        : std::runtime_error(message.toStdString()), message(message) {}
    QString message;
};

// Writes whole files atomically: to a temporary name beside the target, then renamed into place.
class FileWriter {
public:
    static void writeAtomically(const QString &path, const QByteArray &bytes); // throws FileWriteError
    static void makeDirectory(const QString &path);                            // throws FileWriteError
};

} // namespace vantrel

#pragma once

#include <QString>

#include <stdexcept>

namespace vantrel {

// A JSON document that does not have the shape of the record it should hold.
class JsonDecodeError : public std::runtime_error {
public:
    explicit JsonDecodeError(const QString &message)
        : std::runtime_error(message.toStdString()), message(message) {}
    QString message;
};

} // namespace vantrel

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

// A record holding a value its JSON form cannot carry (a number that is not finite).
class JsonEncodeError : public std::runtime_error {
public:
    explicit JsonEncodeError(const QString &message)
        : std::runtime_error(message.toStdString()), message(message) {}
    QString message;
};

} // namespace vantrel

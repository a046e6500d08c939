#pragma once

#include <QString>

#include <stdexcept>

namespace vantrel {

// An error with a domain and a numeric code. Only `description` is ever shown to the user.
class AppError : public std::runtime_error {
public:
    AppError(QString domain, int code, QString description)
        : std::runtime_error(description.toStdString()),
          domain(std::move(domain)), code(code), description(std::move(description)) {}

    QString domain;
    int code;
    QString description;
};

} // namespace vantrel

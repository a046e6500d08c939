#pragma once

#include "engine/JsonDecodeError.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QUuid>

#include <optional>

namespace vantrel::json {

// Typed, strict access to the keys of one JSON object.
class JsonReader {
public:
    explicit JsonReader(const QJsonObject &object) : m_object(object) {}

    double number(const QString &key) const;
    int integer(const QString &key) const;
    bool boolean(const QString &key) const;
    QString string(const QString &key) const;
    QUuid uuid(const QString &key) const;
    QDateTime date(const QString &key) const;
    QJsonObject object(const QString &key) const;
    QJsonArray array(const QString &key) const;

    // Absent and null both read as none; any other type is an error.
    std::optional<QString> optionalString(const QString &key) const;
    std::optional<double> optionalNumber(const QString &key) const;
    std::optional<QJsonObject> optionalObject(const QString &key) const;

    [[noreturn]] static void fail(const QString &key, const QString &what);

private:
    QJsonValue required(const QString &key) const;
    QJsonObject m_object;
};

} // namespace vantrel::json

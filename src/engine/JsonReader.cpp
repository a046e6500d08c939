#include "engine/JsonReader.h"

#include <cmath>
#include <limits>

namespace vantrel::json {

void JsonReader::fail(const QString &key, const QString &what)
{
    throw JsonDecodeError(QStringLiteral("字段 %1 %2").arg(key, what));
}

QJsonValue JsonReader::required(const QString &key) const
{
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isUndefined())
        fail(key, QStringLiteral("缺失"));
    return *it;
}

double JsonReader::number(const QString &key) const
{
    const QJsonValue v = required(key);
    if (!v.isDouble())
        fail(key, QStringLiteral("不是数字"));
    return v.toDouble();
}

int JsonReader::integer(const QString &key) const
{
    const double d = number(key);
    if (d != std::floor(d) || d < std::numeric_limits<int>::min() || d > std::numeric_limits<int>::max())
        fail(key, QStringLiteral("不是整数"));
    return int(d);
}

bool JsonReader::boolean(const QString &key) const
{
    const QJsonValue v = required(key);
    if (!v.isBool())
        fail(key, QStringLiteral("不是布尔值"));
    return v.toBool();
}

QString JsonReader::string(const QString &key) const
{
    const QJsonValue v = required(key);
    if (!v.isString())
        fail(key, QStringLiteral("不是字符串"));
    return v.toString();
}

QUuid JsonReader::uuid(const QString &key) const
{
    const QString s = string(key);
    const QUuid id = QUuid::fromString(s);
    if (id.isNull() || s.size() != 36)
        fail(key, QStringLiteral("不是 UUID"));
    return id;
}

QDateTime JsonReader::date(const QString &key) const
{
    const QString s = string(key);
    const QDateTime d = QDateTime::fromString(s, Qt::ISODate);
    if (!d.isValid() || d.timeSpec() == Qt::LocalTime)
        fail(key, QStringLiteral("不是 ISO-8601 时间"));
    return d.toUTC();
}

QJsonObject JsonReader::object(const QString &key) const
{
    const QJsonValue v = required(key);
    if (!v.isObject())
        fail(key, QStringLiteral("不是对象"));
    return v.toObject();
}

QJsonArray JsonReader::array(const QString &key) const
{
    const QJsonValue v = required(key);
    if (!v.isArray())
        fail(key, QStringLiteral("不是数组"));
    return v.toArray();
}

std::optional<QString> JsonReader::optionalString(const QString &key) const
{
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return string(key);
}

std::optional<double> JsonReader::optionalNumber(const QString &key) const
{
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return number(key);
}

std::optional<QJsonObject> JsonReader::optionalObject(const QString &key) const
{
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return object(key);
}

} // namespace vantrel::json

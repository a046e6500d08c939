#pragma once

#include "engine/Models.h"
#include "engine/JsonDecodeError.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vantrel::json {

// Encoding: keys are the field names, optional fields are left out when absent, UUIDs are
// upper-case, enumerations are their raw values, dates are ISO-8601 UTC with whole seconds; a
// number that is not finite throws JsonEncodeError naming the key. Decoding is strict: every
// required key must be present with the right type, or JsonDecodeError is thrown naming the key.

QString uuidString(const QUuid &id);
// The value for writing under `key`; throws JsonEncodeError when it is not finite.
double finite(double value, const QString &key);
QString dateString(const QDateTime &date);

QJsonObject toJson(const RectValue &v);
QJsonObject toJson(const SizeValue &v);
QJsonObject toJson(const ComparisonSettings &v);
QJsonObject toJson(const ComparisonIssue &v);
QJsonObject toJson(const DesignNode &v);
QJsonObject toJson(const DesignFrameOption &v);
QJsonObject toJson(const ComparisonHistoryEntry &v);
QJsonArray toJson(const QList<ComparisonIssue> &issues);

RectValue rectFromJson(const QJsonObject &o);
SizeValue sizeFromJson(const QJsonObject &o);
ComparisonSettings settingsFromJson(const QJsonObject &o);
ComparisonIssue issueFromJson(const QJsonObject &o);
DesignNode designNodeFromJson(const QJsonObject &o);
DesignFrameOption frameOptionFromJson(const QJsonObject &o);
ComparisonHistoryEntry historyEntryFromJson(const QJsonObject &o);

// Parses a whole document that must be one object.
QJsonObject parseObject(const QByteArray &bytes);
// Pretty-printed bytes with sorted keys.
QByteArray prettyBytes(const QJsonObject &o);

} // namespace vantrel::json

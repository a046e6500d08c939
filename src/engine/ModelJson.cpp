#include "engine/ModelJson.h"

#include "engine/JsonReader.h"

#include <QJsonDocument>

#include <cmath>

namespace vantrel::json {

QString uuidString(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString dateString(const QDateTime &date)
{
    QDateTime utc = date.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

double finite(double value, const QString &key)
{
    // JSON has no infinity or NaN: Qt would write null, which no decoder takes back.
    if (!std::isfinite(value))
        throw JsonEncodeError(QStringLiteral("字段 %1 不是有限数字，无法保存").arg(key));
    return value;
}

QJsonObject toJson(const RectValue &v)
{
    return {{QStringLiteral("id"), uuidString(v.id)},
            {QStringLiteral("x"), finite(v.x, QStringLiteral("x"))},
            {QStringLiteral("y"), finite(v.y, QStringLiteral("y"))},
            {QStringLiteral("width"), finite(v.width, QStringLiteral("width"))},
            {QStringLiteral("height"), finite(v.height, QStringLiteral("height"))}};
}

QJsonObject toJson(const SizeValue &v)
{
    return {{QStringLiteral("width"), finite(v.width, QStringLiteral("width"))},
            {QStringLiteral("height"), finite(v.height, QStringLiteral("height"))}};
}

QJsonObject toJson(const ComparisonSettings &v)
{
    QJsonArray regions;
    for (const RectValue &r : v.ignoredRegions)
        regions.append(toJson(r));
    return {{QStringLiteral("pixelThreshold"), finite(v.pixelThreshold, QStringLiteral("pixelThreshold"))},
            {QStringLiteral("regionMinimumArea"), v.regionMinimumArea},
            {QStringLiteral("positionTolerance"), finite(v.positionTolerance, QStringLiteral("positionTolerance"))},
            {QStringLiteral("sizeTolerance"), finite(v.sizeTolerance, QStringLiteral("sizeTolerance"))},
            {QStringLiteral("manualOffsetX"), finite(v.manualOffsetX, QStringLiteral("manualOffsetX"))},
            {QStringLiteral("manualOffsetY"), finite(v.manualOffsetY, QStringLiteral("manualOffsetY"))},
            {QStringLiteral("designCropTop"), finite(v.designCropTop, QStringLiteral("designCropTop"))},
            {QStringLiteral("designCropRight"), finite(v.designCropRight, QStringLiteral("designCropRight"))},
            {QStringLiteral("designCropBottom"), finite(v.designCropBottom, QStringLiteral("designCropBottom"))},
            {QStringLiteral("designCropLeft"), finite(v.designCropLeft, QStringLiteral("designCropLeft"))},
            {QStringLiteral("ignoredRegions"), regions},
            {QStringLiteral("ignoreStatusBar"), v.ignoreStatusBar}};
}

QJsonObject toJson(const ComparisonIssue &v)
{
    QJsonObject o{{QStringLiteral("id"), uuidString(v.id)},
                  {QStringLiteral("category"), rawValue(v.category)},
                  {QStringLiteral("severity"), rawValue(v.severity)},
                  {QStringLiteral("title"), v.title},
                  {QStringLiteral("detail"), v.detail}};
    if (v.deviceRect)
        o.insert(QStringLiteral("deviceRect"), toJson(*v.deviceRect));
    if (v.designRect)
        o.insert(QStringLiteral("designRect"), toJson(*v.designRect));
    return o;
}

QJsonArray toJson(const QList<ComparisonIssue> &issues)
{
    QJsonArray array;
    for (const ComparisonIssue &issue : issues)
        array.append(toJson(issue));
    return array;
}

QJsonObject toJson(const DesignNode &v)
{
    QJsonObject o{{QStringLiteral("id"), v.id},
                  {QStringLiteral("name"), v.name},
                  {QStringLiteral("type"), v.type},
                  {QStringLiteral("rect"), toJson(v.rect)}};
    if (v.text)
        o.insert(QStringLiteral("text"), *v.text);
    if (v.fillHex)
        o.insert(QStringLiteral("fillHex"), *v.fillHex);
    if (v.strokeHex)
        o.insert(QStringLiteral("strokeHex"), *v.strokeHex);
    if (v.cornerRadius)
        o.insert(QStringLiteral("cornerRadius"), finite(*v.cornerRadius, QStringLiteral("cornerRadius")));
    if (v.fontSize)
        o.insert(QStringLiteral("fontSize"), finite(*v.fontSize, QStringLiteral("fontSize")));
    return o;
}

QJsonObject toJson(const DesignFrameOption &v)
{
    return {{QStringLiteral("id"), v.id},
            {QStringLiteral("name"), v.name},
            {QStringLiteral("size"), toJson(v.size)}};
}

QJsonObject toJson(const ComparisonHistoryEntry &v)
{
    return {{QStringLiteral("id"), uuidString(v.id)},
            {QStringLiteral("createdAt"), dateString(v.createdAt)},
            {QStringLiteral("designName"), v.designName},
            {QStringLiteral("deviceName"), v.deviceName},
            {QStringLiteral("score"), finite(v.score, QStringLiteral("score"))},
            {QStringLiteral("status"), v.status},
            {QStringLiteral("directoryName"), v.directoryName}};
}

RectValue rectFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    return RectValue(r.uuid(QStringLiteral("id")), r.number(QStringLiteral("x")),
                     r.number(QStringLiteral("y")), r.number(QStringLiteral("width")),
                     r.number(QStringLiteral("height")));
}

SizeValue sizeFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    return SizeValue{r.number(QStringLiteral("width")), r.number(QStringLiteral("height"))};
}

namespace {

template <typename T, typename F>
QList<T> listFromJson(const QJsonArray &array, const QString &key, F decode)
{
    QList<T> list;
    list.reserve(array.size());
    for (const QJsonValue &v : array) {
        if (!v.isObject())
            JsonReader::fail(key, QStringLiteral("含有非对象元素"));
        list.append(decode(v.toObject()));
    }
    return list;
}

} // namespace

ComparisonSettings settingsFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    ComparisonSettings s;
    s.pixelThreshold = r.number(QStringLiteral("pixelThreshold"));
    s.regionMinimumArea = r.integer(QStringLiteral("regionMinimumArea"));
    s.positionTolerance = r.number(QStringLiteral("positionTolerance"));
    s.sizeTolerance = r.number(QStringLiteral("sizeTolerance"));
    s.manualOffsetX = r.number(QStringLiteral("manualOffsetX"));
    s.manualOffsetY = r.number(QStringLiteral("manualOffsetY"));
    s.designCropTop = r.number(QStringLiteral("designCropTop"));
    s.designCropRight = r.number(QStringLiteral("designCropRight"));
    s.designCropBottom = r.number(QStringLiteral("designCropBottom"));
    s.designCropLeft = r.number(QStringLiteral("designCropLeft"));
    s.ignoredRegions = listFromJson<RectValue>(r.array(QStringLiteral("ignoredRegions")),
                                               QStringLiteral("ignoredRegions"), rectFromJson);
    s.ignoreStatusBar = r.boolean(QStringLiteral("ignoreStatusBar"));
    return s;
}

ComparisonIssue issueFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    ComparisonIssue issue;
    issue.id = r.uuid(QStringLiteral("id"));
    const auto category = issueCategoryFromRaw(r.string(QStringLiteral("category")));
    if (!category)
        JsonReader::fail(QStringLiteral("category"), QStringLiteral("不是已知的问题类别"));
    const auto severity = issueSeverityFromRaw(r.string(QStringLiteral("severity")));
    if (!severity)
        JsonReader::fail(QStringLiteral("severity"), QStringLiteral("不是已知的严重程度"));
    issue.category = *category;
    issue.severity = *severity;
    issue.title = r.string(QStringLiteral("title"));
    issue.detail = r.string(QStringLiteral("detail"));
    if (const auto rect = r.optionalObject(QStringLiteral("deviceRect")))
        issue.deviceRect = rectFromJson(*rect);
    if (const auto rect = r.optionalObject(QStringLiteral("designRect")))
        issue.designRect = rectFromJson(*rect);
    return issue;
}

DesignNode designNodeFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    DesignNode node;
    node.id = r.string(QStringLiteral("id"));
    node.name = r.string(QStringLiteral("name"));
    node.type = r.string(QStringLiteral("type"));
    node.text = r.optionalString(QStringLiteral("text"));
    node.rect = rectFromJson(r.object(QStringLiteral("rect")));
    node.fillHex = r.optionalString(QStringLiteral("fillHex"));
    node.strokeHex = r.optionalString(QStringLiteral("strokeHex"));
    node.cornerRadius = r.optionalNumber(QStringLiteral("cornerRadius"));
    node.fontSize = r.optionalNumber(QStringLiteral("fontSize"));
    return node;
}

DesignFrameOption frameOptionFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    return DesignFrameOption{r.string(QStringLiteral("id")), r.string(QStringLiteral("name")),
                             sizeFromJson(r.object(QStringLiteral("size")))};
}

ComparisonHistoryEntry historyEntryFromJson(const QJsonObject &o)
{
    const JsonReader r(o);
    ComparisonHistoryEntry e;
    e.id = r.uuid(QStringLiteral("id"));
    e.createdAt = r.date(QStringLiteral("createdAt"));
    e.designName = r.string(QStringLiteral("designName"));
    e.deviceName = r.string(QStringLiteral("deviceName"));
    e.score = r.number(QStringLiteral("score"));
    e.status = r.string(QStringLiteral("status"));
    e.directoryName = r.string(QStringLiteral("directoryName"));
    return e;
}

QJsonObject parseObject(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodeError(QStringLiteral("JSON 解析失败：%1（位置 %2）")
                                  .arg(error.errorString())
                                  .arg(error.offset));
    if (!doc.isObject())
        throw JsonDecodeError(QStringLiteral("JSON 内容不是对象"));
    return doc.object();
}

QByteArray prettyBytes(const QJsonObject &o)
{
    // QJsonObject keeps its keys sorted, so the output is in sorted key order.
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

} // namespace vantrel::json

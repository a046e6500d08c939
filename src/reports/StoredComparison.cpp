#include "reports/StoredComparison.h"

#include "engine/JsonReader.h"
#include "engine/ModelJson.h"

namespace vantrel {

QJsonObject StoredComparison::toJson() const
{
    return {{QStringLiteral("createdAt"), json::dateString(createdAt)},
            {QStringLiteral("score"), json::finite(score, QStringLiteral("score"))},
            {QStringLiteral("changedPixelRatio"), json::finite(changedPixelRatio, QStringLiteral("changedPixelRatio"))},
            {QStringLiteral("meanColorDelta"), json::finite(meanColorDelta, QStringLiteral("meanColorDelta"))},
            {QStringLiteral("status"), status},
            {QStringLiteral("issues"), json::toJson(issues)}};
}

StoredComparison StoredComparison::fromJson(const QJsonObject &object)
{
    const json::JsonReader r(object);
    StoredComparison stored;
    stored.createdAt = r.date(QStringLiteral("createdAt"));
    stored.score = r.number(QStringLiteral("score"));
    stored.changedPixelRatio = r.number(QStringLiteral("changedPixelRatio"));
    stored.meanColorDelta = r.number(QStringLiteral("meanColorDelta"));
    stored.status = r.string(QStringLiteral("status"));
    for (const QJsonValue &v : r.array(QStringLiteral("issues"))) {
        if (!v.isObject())
            json::JsonReader::fail(QStringLiteral("issues"), QStringLiteral("含有非对象元素"));
        stored.issues.append(json::issueFromJson(v.toObject()));
    }
    return stored;
}

} // namespace vantrel

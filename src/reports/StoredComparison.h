#pragma once

#include "engine/ComparisonIssue.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>

namespace vantrel {

// The image-free part of a comparison result, as kept in the history.
struct StoredComparison {
    QDateTime createdAt;
    double score = 0;
    double changedPixelRatio = 0;
    double meanColorDelta = 0;
    QString status;
    QList<ComparisonIssue> issues;

    QJsonObject toJson() const;
    static StoredComparison fromJson(const QJsonObject &object); // throws JsonDecodeError
};

} // namespace vantrel

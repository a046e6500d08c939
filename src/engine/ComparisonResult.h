#pragma once

#include "engine/ComparisonIssue.h"

#include <QDateTime>
#include <QImage>
#include <QList>

namespace vantrel {

inline const QString kStatusConsistent = QStringLiteral("一致");
inline const QString kStatusDifferent = QStringLiteral("存在差异");

struct ComparisonResult {
    QDateTime createdAt;
    double score = 0;
    double changedPixelRatio = 0;
    double meanColorDelta = 0;
    QString status;
    QList<ComparisonIssue> issues;
    QImage deviceImage;
    QImage designImage;
    QImage alignedDesignImage;
    QImage heatmapImage;
    QImage overlayImage;
};

} // namespace vantrel

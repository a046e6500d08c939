#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

namespace vantrel {

// One row of the history index.
struct ComparisonHistoryEntry {
    QUuid id;
    QDateTime createdAt;
    QString designName;
    QString deviceName;
    double score = 0;
    QString status;
    QString directoryName;

    bool operator==(const ComparisonHistoryEntry &) const = default;
};

} // namespace vantrel

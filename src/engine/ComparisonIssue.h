#pragma once

#include "engine/Geometry.h"

#include <QString>

#include <optional>

namespace vantrel {

enum class IssueCategory { visual, text, position, size, color, missing, extra };
enum class IssueSeverity { high, medium, low, info };

// Display label, which is also the JSON form.
QString rawValue(IssueCategory category);
QString rawValue(IssueSeverity severity);
std::optional<IssueCategory> issueCategoryFromRaw(const QString &raw);
std::optional<IssueSeverity> issueSeverityFromRaw(const QString &raw);

struct ComparisonIssue {
    QUuid id = QUuid::createUuid();
    IssueCategory category = IssueCategory::visual;
    IssueSeverity severity = IssueSeverity::info;
    QString title;
    QString detail;
    std::optional<RectValue> deviceRect;
    std::optional<RectValue> designRect;

    bool operator==(const ComparisonIssue &) const = default;
};

} // namespace vantrel

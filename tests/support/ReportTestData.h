#pragma once

#include "engine/Models.h"

namespace vantrel::test {

// Results and inputs for the report and history tests.
class ReportTestData {
public:
    static QImage solidImage(int width, int height, const QColor &color,
                             QImage::Format format = QImage::Format_RGB32);
    // A result created at 2025-03-14 09:30:15 local time with the given issues and small images;
    // its heat map is straight-alpha red-orange (255, 90, 30, 200), as the engine makes it.
    static ComparisonResult result(const QList<ComparisonIssue> &issues);
    // `count` issues titled "问题 1", "问题 2", …, severities cycling high, medium, low, info.
    static QList<ComparisonIssue> numberedIssues(int count);
    static ComparisonIssue issue(IssueSeverity severity, IssueCategory category, const QString &title,
                                 const QString &detail);
    // A Figma design with element parameters.
    static ImportedDesign figmaDesign();
};

} // namespace vantrel::test

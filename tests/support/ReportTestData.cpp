#include "support/ReportTestData.h"

namespace vantrel::test {

QImage ReportTestData::solidImage(int width, int height, const QColor &color, QImage::Format format)
{
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

ComparisonResult ReportTestData::result(const QList<ComparisonIssue> &issues)
{
    ComparisonResult result;
    result.createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 30, 15), Qt::LocalTime);
    result.score = 87.456;
    result.changedPixelRatio = 0.01234;
    result.meanColorDelta = 6.5;
    result.status = kStatusDifferent;
    result.issues = issues;
    result.deviceImage = solidImage(4, 8, QColor(20, 40, 200));
    result.designImage = solidImage(4, 8, QColor(30, 160, 60));
    result.alignedDesignImage = solidImage(2, 4, QColor(30, 160, 60));
    result.heatmapImage = solidImage(2, 4, QColor(255, 90, 30, 200), QImage::Format_RGBA8888);
    result.overlayImage = solidImage(2, 4, QColor(120, 120, 120, 128), QImage::Format_ARGB32_Premultiplied);
    return result;
}

ComparisonIssue ReportTestData::issue(IssueSeverity severity, IssueCategory category, const QString &title,
                                      const QString &detail)
{
    ComparisonIssue issue;
    issue.severity = severity;
    issue.category = category;
    issue.title = title;
    issue.detail = detail;
    issue.deviceRect = RectValue{QUuid::createUuid(), 0.1, 0.2, 0.3, 0.05};
    return issue;
}

QList<ComparisonIssue> ReportTestData::numberedIssues(int count)
{
    static const IssueSeverity severities[] = {IssueSeverity::high, IssueSeverity::medium, IssueSeverity::low,
                                               IssueSeverity::info};
    QList<ComparisonIssue> issues;
    for (int i = 0; i < count; ++i)
        issues.append(issue(severities[i % 4], IssueCategory::visual, QStringLiteral("问题 %1").arg(i + 1),
                            QStringLiteral("说明 %1").arg(i + 1)));
    return issues;
}

ImportedDesign ReportTestData::figmaDesign()
{
    ImportedDesign design;
    design.image = solidImage(4, 8, QColor(30, 160, 60));
    design.name = QStringLiteral("Home");
    design.source = QStringLiteral("https://www.figma.com/design/abc/Home?node-id=1-2&t=x");
    design.kind = DesignSourceKind::figma;
    design.pixelSize = SizeValue{4, 8};
    design.canvasSize = SizeValue{4, 8};
    design.isVisualOnly = false;
    return design;
}

} // namespace vantrel::test

#include "reports/ReportTexts.h"

#include "engine/NumberText.h"

#include <cmath>

namespace vantrel {

const QString ReportTexts::kHistorySource = QStringLiteral("历史记录");

QString ReportTexts::dateText(const QDateTime &createdAt)
{
    return createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString ReportTexts::sourceKindLabel(const std::optional<ImportedDesign> &design)
{
    return design ? rawValue(design->kind) : kHistorySource;
}

QString ReportTexts::sourceText(const std::optional<ImportedDesign> &design)
{
    return design ? design->source : kHistorySource;
}

QString ReportTexts::modeText(const std::optional<ImportedDesign> &design)
{
    return design && design->isVisualOnly ? QStringLiteral("仅视觉对比") : QStringLiteral("视觉 + 元素参数");
}

QString ReportTexts::percentText(double percentage)
{
    return fixedText(percentage, 2) + u'%';
}

QString ReportTexts::fixedText(double value, int decimals)
{
    return NumberText::fixed(value, decimals);
}

QString ReportTexts::truncatedText(double value)
{
    if (!std::isfinite(value))
        return fixedText(value, 0);
    // Adding zero turns a negative zero into a plain one.
    return fixedText(std::trunc(value) + 0.0, 0);
}

} // namespace vantrel

#include "reports/ReportTexts.h"

#include <charconv>
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
    // std::to_chars rounds the exact binary value as printf does (ties to even) and never uses
    // the user's decimal separator. QString::asprintf would round ties away from zero.
    char buffer[400];
    const std::to_chars_result end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (end.ec != std::errc())
        return QString::number(value, 'f', decimals);
    return QString::fromLatin1(buffer, end.ptr - buffer);
}

QString ReportTexts::truncatedText(double value)
{
    if (!std::isfinite(value))
        return fixedText(value, 0);
    // Adding zero turns a negative zero into a plain one.
    return fixedText(std::trunc(value) + 0.0, 0);
}

} // namespace vantrel

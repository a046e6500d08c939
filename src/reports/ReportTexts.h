#pragma once

#include "engine/Models.h"

#include <optional>

namespace vantrel {

// The texts both reports derive from their inputs, so the page and the PDF agree.
class ReportTexts {
public:
    // Shown instead of the source kind and the source when a result was reopened from the history.
    static const QString kHistorySource;

    // `createdAt` as "yyyy-MM-dd HH:mm:ss" in the local time zone.
    static QString dateText(const QDateTime &createdAt);
    // The design's source kind label, or "历史记录" without a design.
    static QString sourceKindLabel(const std::optional<ImportedDesign> &design);
    // The design's source, or "历史记录" without a design.
    static QString sourceText(const std::optional<ImportedDesign> &design);
    // "仅视觉对比" for a visual-only design, otherwise "视觉 + 元素参数" (also without a design).
    static QString modeText(const std::optional<ImportedDesign> &design);
    // A value that is already a percentage, with two decimals and a percent sign (87.456 → "87.46%").
    static QString percentText(double percentage);
    // A number with a fixed count of decimals, rounded as printf rounds (2.25 → "2.2"), always
    // with a full stop as decimal separator.
    static QString fixedText(double value, int decimals);
    // The whole-number part of a value, cut towards zero (24.6 → "24", -0.5 → "0").
    static QString truncatedText(double value);
};

} // namespace vantrel

#pragma once

#include "engine/ComparisonIssue.h"

#include <QColor>
#include <QFont>

namespace vantrel {

// Colours and fonts of the PDF report. The colours follow the light system palette the report
// was designed with; the fonts prefer a CJK face so that Chinese and Latin text share one font.
class PdfReportStyle {
public:
    static QColor pageBackground();
    static QColor headerGradientStart();
    static QColor headerGradientEnd();

    static QColor green();
    static QColor orange();
    static QColor blue();
    static QColor purple();
    static QColor red();

    static QColor label();
    static QColor secondaryLabel();
    static QColor tertiaryLabel();

    // high → red, medium → orange, low → blue, info → secondary label.
    static QColor severityColor(IssueSeverity severity);
    // The colour with its alpha multiplied by `opacity` (0–1).
    static QColor withOpacity(QColor color, double opacity);

    // The report's text font at `pointSize` and `weight`.
    static QFont font(double pointSize, QFont::Weight weight = QFont::Normal);
    // A font whose digits all have the same width (page numbers).
    static QFont monospacedDigitFont(double pointSize);
};

} // namespace vantrel

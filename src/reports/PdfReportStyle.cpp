#include "reports/PdfReportStyle.h"

namespace vantrel {

namespace {

QFont makeFont(const QStringList &families, QFont::StyleHint hint, double pointSize, QFont::Weight weight)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    // Glyph positions come from the font's own outlines, not from hinting for a screen.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

QColor PdfReportStyle::pageBackground() { return QColor::fromRgbF(0.975f, 0.975f, 0.975f); }
QColor PdfReportStyle::headerGradientStart() { return QColor::fromRgbF(0.08f, 0.20f, 0.55f); }
QColor PdfReportStyle::headerGradientEnd() { return QColor::fromRgbF(0.36f, 0.18f, 0.66f); }

QColor PdfReportStyle::green() { return QColor(40, 205, 65); }
QColor PdfReportStyle::orange() { return QColor(255, 149, 0); }
QColor PdfReportStyle::blue() { return QColor(0, 122, 255); }
QColor PdfReportStyle::purple() { return QColor(175, 82, 222); }
QColor PdfReportStyle::red() { return QColor(255, 59, 48); }

// Label colours are black at decreasing opacity, as in the light system palette.
QColor PdfReportStyle::label() { return QColor(0, 0, 0, 217); }
QColor PdfReportStyle::secondaryLabel() { return QColor(0, 0, 0, 128); }
QColor PdfReportStyle::tertiaryLabel() { return QColor(0, 0, 0, 66); }

QColor PdfReportStyle::severityColor(IssueSeverity severity)
{
    switch (severity) {
    case IssueSeverity::high:
        return red();
    case IssueSeverity::medium:
        return orange();
    case IssueSeverity::low:
        return blue();
    case IssueSeverity::info:
        break;
    }
    return secondaryLabel();
}

QColor PdfReportStyle::withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

QFont PdfReportStyle::font(double pointSize, QFont::Weight weight)
{
    static const QStringList families = {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                                         QStringLiteral("Source Han Sans SC"), QStringLiteral("sans-serif")};
    return makeFont(families, QFont::SansSerif, pointSize, weight);
}

QFont PdfReportStyle::monospacedDigitFont(double pointSize)
{
    static const QStringList families = {QStringLiteral("Noto Sans Mono CJK SC"),
                                         QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("DejaVu Sans Mono"),
                                         QStringLiteral("monospace")};
    return makeFont(families, QFont::Monospace, pointSize, QFont::Normal);
}

} // namespace vantrel

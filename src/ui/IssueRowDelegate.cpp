#include "ui/IssueRowDelegate.h"

#include "engine/ComparisonIssue.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace vantrel {

namespace {

constexpr int kPadding = 10;
constexpr int kBadgeGap = 6;
constexpr int kLineGap = 4;

QColor severityColor(IssueSeverity severity)
{
    static const std::array<QColor, 4> colors = {QColor(0xE5, 0x3A, 0x2F), QColor(0xF0, 0x8A, 0x00),
                                                 QColor(0x1F, 0x7A, 0xE0), QColor(0x7C, 0x80, 0x88)};
    return colors[std::size_t(severity)];
}

QFont titleFont(const QFont &base)
{
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont badgeFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    font.setWeight(QFont::Medium);
    return font;
}

int textWidth(const QStyleOptionViewItem &option)
{
    int width = option.rect.width();
    if (const auto *view = qobject_cast<const QAbstractItemView *>(option.widget))
        width = view->viewport()->width();
    return std::max(80, width - 2 * kPadding);
}

// Draws a rounded label and returns its width. On a selected row the label sits on white.
int drawBadge(QPainter *painter, QPoint topLeft, const QString &text, const QColor &color, const QFont &font,
              bool selected)
{
    const QFontMetrics metrics(font);
    const QRect box(topLeft, QSize(metrics.horizontalAdvance(text) + 12, metrics.height() + 4));
    QColor fill = selected ? QColor(Qt::white) : color;
    fill.setAlpha(selected ? 235 : 36);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(box, 5, 5);
    painter->setPen(color);
    painter->setFont(font);
    painter->drawText(box, Qt::AlignCenter, text);
    return box.width();
}

} // namespace

void IssueRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const auto severity = IssueSeverity(index.data(SeverityRole).toInt());
    const bool selected = opt.state & QStyle::State_Selected;
    const QFont badge = badgeFont(opt.font);
    const QFont title = titleFont(opt.font);
    const int badgeHeight = QFontMetrics(badge).height() + 4;
    QPoint at = opt.rect.topLeft() + QPoint(kPadding, kPadding);
    at.rx() += drawBadge(painter, at, rawValue(severity), severityColor(severity), badge, selected)
               + kBadgeGap;
    at.rx() += drawBadge(painter, at, index.data(CategoryRole).toString(), QColor(0x4A, 0x4F, 0x58), badge,
                         selected)
               + kBadgeGap;

    const QPalette::ColorRole textRole = selected ? QPalette::HighlightedText : QPalette::Text;
    const QRect titleRect(at.x(), opt.rect.top() + kPadding, opt.rect.right() - kPadding - at.x(), badgeHeight);
    painter->setFont(title);
    painter->setPen(opt.palette.color(textRole));
    painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(title).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                                     titleRect.width()));

    const QRect detailRect(opt.rect.left() + kPadding, titleRect.bottom() + 1 + kLineGap, textWidth(opt),
                           opt.rect.bottom() - kPadding - titleRect.bottom() - kLineGap);
    painter->setFont(opt.font);
    painter->setPen(selected ? opt.palette.color(QPalette::HighlightedText)
                             : opt.palette.color(QPalette::PlaceholderText));
    painter->drawText(detailRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, index.data(DetailRole).toString());
    painter->restore();
}

QSize IssueRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int width = textWidth(option);
    const int badgeHeight = QFontMetrics(badgeFont(option.font)).height() + 4;
    const QRect detail = QFontMetrics(option.font).boundingRect(QRect(0, 0, width, 10000),
                                                                Qt::AlignLeft | Qt::TextWordWrap,
                                                                index.data(DetailRole).toString());
    return QSize(width + 2 * kPadding, kPadding + badgeHeight + kLineGap + detail.height() + kPadding);
}

} // namespace vantrel

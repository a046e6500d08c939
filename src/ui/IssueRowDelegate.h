#pragma once

#include <QStyledItemDelegate>

namespace vantrel {

// Paints one issue row: a severity badge, the category, the title and the wrapped detail.
class IssueRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Item data the rows carry besides Qt::DisplayRole (the title).
    enum Role {
        SeverityRole = Qt::UserRole, // the severity as an int (IssueSeverity)
        CategoryRole,                // the category label
        DetailRole,
        IssueIDRole,
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace vantrel

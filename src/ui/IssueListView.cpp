#include "ui/IssueListView.h"

#include "ui/IssueRowDelegate.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vantrel {

namespace {

QLabel *hintLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

IssueListView::IssueListView(QWidget *parent)
    : QWidget(parent)
    , m_count(new QLabel(QStringLiteral("0"), this))
    , m_selectionHint(hintLabel(QStringLiteral("选择问题可在画面中定位"), this))
    , m_emptyHint(hintLabel(QStringLiteral("当前容差下界面与设计稿一致"), this))
    , m_list(new QListWidget(this))
    , m_pages(new QStackedWidget(this))
{
    auto *heading = new QLabel(QStringLiteral("差异清单"), this);
    QFont font = heading->font();
    font.setWeight(QFont::DemiBold);
    font.setPointSizeF(font.pointSizeF() * 1.1);
    heading->setFont(font);
    m_count->setFont(font);
    m_count->setObjectName(QStringLiteral("issueCount"));
    auto *headingRow = new QHBoxLayout;
    headingRow->addWidget(heading);
    headingRow->addStretch(1);
    headingRow->addWidget(m_count);

    m_list->setAccessibleName(QStringLiteral("差异清单"));
    m_list->setItemDelegate(new IssueRowDelegate(m_list));
    m_list->setResizeMode(QListView::Adjust);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *empty = new QWidget(this);
    auto *emptyLayout = new QVBoxLayout(empty);
    auto *emptyTitle = new QLabel(QStringLiteral("未发现差异"), empty);
    emptyTitle->setObjectName(QStringLiteral("emptyTitle"));
    emptyTitle->setFont(font);
    emptyTitle->setAlignment(Qt::AlignHCenter);
    m_emptyHint->setAlignment(Qt::AlignHCenter);
    emptyLayout->addStretch(1);
    emptyLayout->addWidget(emptyTitle);
    emptyLayout->addWidget(m_emptyHint);
    emptyLayout->addStretch(2);

    m_pages->addWidget(m_list);
    m_pages->addWidget(empty);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(headingRow);
    layout->addWidget(m_selectionHint);
    layout->addWidget(m_pages, 1);

    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        Q_EMIT issueSelected(selectedIssueID().value_or(QUuid()));
    });
    setIssues({});
}

void IssueListView::setIssues(const QList<ComparisonIssue> &issues)
{
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    for (const ComparisonIssue &issue : issues) {
        auto *item = new QListWidgetItem(issue.title, m_list);
        item->setData(IssueRowDelegate::SeverityRole, int(issue.severity));
        item->setData(IssueRowDelegate::CategoryRole, rawValue(issue.category));
        item->setData(IssueRowDelegate::DetailRole, issue.detail);
        item->setData(IssueRowDelegate::IssueIDRole, issue.id);
        item->setData(Qt::AccessibleTextRole, rawValue(issue.severity) + QStringLiteral(" · ")
                                                  + rawValue(issue.category) + QStringLiteral(" · ") + issue.title
                                                  + QStringLiteral(" · ") + issue.detail);
        item->setToolTip(issue.detail);
    }
    m_count->setText(QString::number(issues.size()));
    m_pages->setCurrentIndex(issues.isEmpty() ? 1 : 0);
    m_selectionHint->setVisible(!issues.isEmpty() && !m_selectionHint->text().isEmpty());
}

void IssueListView::setSelectedIssueID(std::optional<QUuid> id)
{
    const QSignalBlocker blocker(m_list);
    m_list->clearSelection();
    for (int row = 0; id && row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        if (item->data(IssueRowDelegate::IssueIDRole).toUuid() == *id) {
            m_list->setCurrentItem(item);
            m_list->scrollToItem(item);
            return;
        }
    }
}

std::optional<QUuid> IssueListView::selectedIssueID() const
{
    const QList<QListWidgetItem *> items = m_list->selectedItems();
    if (items.isEmpty())
        return std::nullopt;
    return items.first()->data(IssueRowDelegate::IssueIDRole).toUuid();
}

void IssueListView::setSelectionHint(const QString &text)
{
    m_selectionHint->setText(text);
    m_selectionHint->setVisible(m_list->count() > 0 && !text.isEmpty());
}

void IssueListView::setEmptyHint(const QString &text)
{
    m_emptyHint->setText(text);
    m_emptyHint->setVisible(!text.isEmpty());
}

} // namespace vantrel

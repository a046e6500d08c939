#pragma once

#include "engine/ComparisonIssue.h"

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QListWidget;
class QStackedWidget;

namespace vantrel {

// The issue list "差异清单": a heading with the issue count, one row per issue (severity label,
// category label, title, detail), and an empty state ("未发现差异" plus a hint) when there is
// none. Choosing a row reports the issue's id.
class IssueListView : public QWidget {
    Q_OBJECT

public:
    explicit IssueListView(QWidget *parent = nullptr);

    void setIssues(const QList<ComparisonIssue> &issues);
    // Selects the row of that issue (no signal); none or an unknown id clears the selection.
    void setSelectedIssueID(std::optional<QUuid> id);
    std::optional<QUuid> selectedIssueID() const;
    // Texts under the heading while there are issues, and under "未发现差异" when there are none;
    // an empty text hides the line.
    void setSelectionHint(const QString &text);
    void setEmptyHint(const QString &text);

    QListWidget *list() const { return m_list; }

Q_SIGNALS:
    // The user chose a row; a null id when the selection was cleared.
    void issueSelected(const QUuid &id);

private:
    QLabel *m_count;
    QLabel *m_selectionHint;
    QLabel *m_emptyHint;
    QListWidget *m_list;
    QStackedWidget *m_pages;
};

} // namespace vantrel

#pragma once

#include "engine/Models.h"

#include <optional>

namespace vantrel {

class ReportImages;

// The self-contained HTML page of a report: header, summary cards, parameters, the four
// pictures embedded as Base64 PNG and the table of issues.
class HtmlReportPage {
public:
    static QString page(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                        const QString &deviceName, const ComparisonSettings &settings,
                        const ReportImages &images);

    // One table row per issue.
    static QString issueRow(const ComparisonIssue &issue);
    // The table body when there are no issues.
    static const QString kEmptyTableRow;

    // "&", "<", ">" and the double quote as entities, in that order; apostrophes stay.
    static QString escaped(const QString &text);
};

} // namespace vantrel

#include "reports/HtmlReportPage.h"

#include "reports/ReportImages.h"
#include "reports/ReportTexts.h"

namespace vantrel {

namespace {

// Everything up to the opening of the header line.
const QString kHead = QStringLiteral(
    "<!doctype html>\n"
    "<html lang=\"zh-CN\">\n"
    "<head>\n"
    "  <meta charset=\"utf-8\">\n"
    "  <meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n"
    "  <title>界面对比报告</title>\n"
    "  <style>\n"
    "    :root { color-scheme: light; --ink:#182230; --muted:#667085; --line:#e4e7ec; --accent:#2563eb; }\n"
    "    * { box-sizing:border-box; }\n"
    "    body { margin:0; font:14px -apple-system,BlinkMacSystemFont,\"PingFang SC\",sans-serif; "
    "color:var(--ink); background:#f6f8fb; }\n"
    "    main { max-width:1240px; margin:0 auto; padding:32px; }\n"
    "    h1 { margin:0 0 6px; font-size:28px; }\n"
    "    .meta { color:var(--muted); margin-bottom:24px; overflow-wrap:anywhere; }\n"
    "    .cards { display:grid; grid-template-columns:repeat(4,1fr); gap:12px; }\n"
    "    .card,.panel { background:white; border:1px solid var(--line); border-radius:14px; padding:18px; "
    "box-shadow:0 5px 18px #1018280d; }\n"
    "    .value { font-size:30px; font-weight:700; margin-top:8px; }\n"
    "    .visuals { display:grid; grid-template-columns:repeat(4,1fr); gap:14px; margin:18px 0; }\n"
    "    .visuals img { width:100%; max-height:560px; object-fit:contain; background:#eef1f5; border-radius:10px; }\n"
    "    .visuals h3 { margin:0 0 10px; }\n"
    "    table { width:100%; border-collapse:collapse; }\n"
    "    th,td { padding:11px 9px; border-bottom:1px solid var(--line); text-align:left; vertical-align:top; }\n"
    "    th { color:var(--muted); font-weight:600; }\n"
    "    .severity { display:inline-block; min-width:34px; padding:3px 8px; border-radius:999px; background:#eef2ff; }\n"
    "    .severity.高 { background:#fee2e2; color:#b42318; }\n"
    "    .severity.中 { background:#fef0c7; color:#93370d; }\n"
    "    @media(max-width:900px){ .cards,.visuals{grid-template-columns:1fr 1fr;} }\n"
    "  </style>\n"
    "</head>\n"
    "<body><main>\n"
    "  <h1>移动端界面对比报告</h1>\n"
    "  <div class=\"meta\">");

const QString kImageOpen = QStringLiteral("<img src=\"data:image/png;base64,");

} // namespace

const QString HtmlReportPage::kEmptyTableRow = QStringLiteral("<tr><td colspan=\"4\">未发现超过当前阈值的差异</td></tr>");

QString HtmlReportPage::escaped(const QString &text)
{
    QString out = text;
    out.replace(u'&', QStringLiteral("&amp;"));
    out.replace(u'<', QStringLiteral("&lt;"));
    out.replace(u'>', QStringLiteral("&gt;"));
    out.replace(u'"', QStringLiteral("&quot;"));
    return out;
}

QString HtmlReportPage::issueRow(const ComparisonIssue &issue)
{
    const QString severity = rawValue(issue.severity);
    // The unescaped severity label becomes a second class name of the pill.
    return QStringLiteral("<tr>\n  <td><span class=\"severity ") + severity + QStringLiteral("\">")
           + escaped(severity) + QStringLiteral("</span></td>\n  <td>") + escaped(rawValue(issue.category))
           + QStringLiteral("</td>\n  <td>") + escaped(issue.title) + QStringLiteral("</td>\n  <td>")
           + escaped(issue.detail) + QStringLiteral("</td>\n</tr>");
}

QString HtmlReportPage::page(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                             const QString &deviceName, const ComparisonSettings &settings,
                             const ReportImages &images)
{
    QStringList rows;
    rows.reserve(result.issues.size());
    for (const ComparisonIssue &issue : result.issues)
        rows.append(issueRow(issue));
    const QString tableBody = rows.isEmpty() ? kEmptyTableRow : rows.join(u'\n');
    const QString separator = QStringLiteral(" · ");

    QString html;
    html += kHead;
    html += escaped(ReportTexts::dateText(result.createdAt)) + separator + escaped(deviceName) + separator
            + escaped(ReportTexts::sourceKindLabel(design)) + separator
            + escaped(ReportTexts::sourceText(design));
    html += QStringLiteral("</div>\n  <section class=\"cards\">\n    <div class=\"card\">结论<div class=\"value\">");
    html += escaped(result.status);
    html += QStringLiteral("</div></div>\n    <div class=\"card\">一致度<div class=\"value\">");
    html += ReportTexts::percentText(result.score);
    html += QStringLiteral("</div></div>\n    <div class=\"card\">差异像素<div class=\"value\">");
    html += ReportTexts::percentText(result.changedPixelRatio * 100);
    html += QStringLiteral("</div></div>\n    <div class=\"card\">问题数<div class=\"value\">");
    html += QString::number(result.issues.size());
    html += QStringLiteral("</div></div>\n  </section>\n  <p class=\"meta\">模式：");
    html += escaped(ReportTexts::modeText(design));
    html += QStringLiteral("；像素阈值：");
    html += ReportTexts::fixedText(settings.pixelThreshold, 0);
    html += QStringLiteral("；位置/尺寸容差：");
    html += ReportTexts::fixedText(settings.positionTolerance, 1);
    html += u'/';
    html += ReportTexts::fixedText(settings.sizeTolerance, 1);
    html += QStringLiteral(" pt</p>\n  <section class=\"visuals\">\n    <div class=\"panel\"><h3>真机界面</h3>") + kImageOpen;
    html += images.base64(QStringLiteral("device.png"));
    html += QStringLiteral("\"></div>\n    <div class=\"panel\"><h3>设计稿</h3>") + kImageOpen;
    html += images.base64(QStringLiteral("design.png"));
    html += QStringLiteral("\"></div>\n    <div class=\"panel\"><h3>50% 叠加</h3>") + kImageOpen;
    html += images.base64(QStringLiteral("overlay.png"));
    html += QStringLiteral("\"></div>\n    <div class=\"panel\"><h3>差异热力图</h3>") + kImageOpen;
    html += images.base64(QStringLiteral("heatmap.png"));
    html += QStringLiteral("\"></div>\n  </section>\n  <section class=\"panel\">\n    <h2>差异清单</h2>\n"
                           "    <table><thead><tr><th>级别</th><th>类型</th><th>问题</th><th>说明</th></tr></thead>\n"
                           "    <tbody>");
    html += tableBody;
    html += QStringLiteral("</tbody></table>\n  </section>\n</main></body></html>");
    return html;
}

} // namespace vantrel

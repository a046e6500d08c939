#include "app/LocalInputs.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/CompareInputs.h"
#include "cli/ElementTreeFile.h"
#include "engine/ComparisonEngine.h"
#include "engine/ModelJson.h"
#include "reports/ComparisonHistoryStore.h"
#include "reports/ReportExporter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <utility>

#include <functional>

namespace vantrel::cli {

namespace {

const QString kUsage = QStringLiteral(
    "compare --device IMAGE --design IMAGE|design.json|URL [--elements TREE.xml] [--settings settings.json] [--json FILE|-] [--html FILE] [--pdf FILE]"
    " [--save-history]");

QJsonObject resultJson(const ComparisonResult &result)
{
    const SizeValue size = pixelSizeValue(result.heatmapImage);
    return {{QStringLiteral("score"), result.score},
            {QStringLiteral("status"), result.status},
            {QStringLiteral("changedPixelRatio"), result.changedPixelRatio},
            {QStringLiteral("meanColorDelta"), result.meanColorDelta},
            {QStringLiteral("comparisonSize"), json::toJson(size)},
            {QStringLiteral("issues"), json::toJson(result.issues)},
            {QStringLiteral("createdAt"), json::dateString(result.createdAt)}};
}

QString summary(const ComparisonResult &result)
{
    QString text = QStringLiteral("得分 %1 · %2 · 变化像素 %3% · 平均色差 %4 · %5 项问题\n")
                       .arg(QString::number(result.score, 'f', 2), result.status,
                            QString::number(result.changedPixelRatio * 100, 'f', 2),
                            QString::number(result.meanColorDelta, 'f', 2))
                       .arg(result.issues.size());
    for (qsizetype i = 0; i < result.issues.size(); ++i) {
        const ComparisonIssue &issue = result.issues[i];
        text += QStringLiteral("%1. [%2·%3] %4 — %5\n")
                    .arg(i + 1)
                    .arg(rawValue(issue.severity), rawValue(issue.category), issue.title, issue.detail);
    }
    return text;
}

// One report an option asks for: written by `write`, its place reported on stderr, a failure
// turned into the command's error with the report's prefix.
void writeReport(const QCommandLineParser &parser, const QString &option, const QString &donePrefix,
                 const QString &failurePrefix, const std::function<void(const QString &path)> &write)
{
    if (!parser.isSet(option))
        return;
    const QString path = requiredValue(parser, option);
    try {
        write(path);
    } catch (const std::exception &error) {
        throw CliError(failurePrefix + QString::fromUtf8(error.what()));
    }
    printLine(donePrefix + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

// The HTML and PDF reports the options ask for; the device is the screenshot file.
void writeReports(const QCommandLineParser &parser, const ComparisonResult &result, const ImportedDesign &design,
                  const ComparisonSettings &settings)
{
    const ReportExporter exporter;
    writeReport(parser, QStringLiteral("html"), QStringLiteral("报告已导出："), QStringLiteral("报告导出失败："),
                [&](const QString &path) { exporter.exportHtml(result, design, kOfflineDeviceName, settings, path); });
    writeReport(parser, QStringLiteral("pdf"), QStringLiteral("PDF 报告已导出："), QStringLiteral("PDF 导出失败："),
                [&](const QString &path) { exporter.exportPDF(result, design, kOfflineDeviceName, settings, path); });
}

QList<QCommandLineOption> options()
{
    return {{QStringLiteral("device"), QStringLiteral("真机截图"), QStringLiteral("IMAGE")},
            {QStringLiteral("design"), QStringLiteral("设计稿"), QStringLiteral("IMAGE")},
            {QStringLiteral("elements"), QStringLiteral("真机元素树 XML"), QStringLiteral("TREE.xml")},
            {QStringLiteral("settings"), QStringLiteral("对比参数 JSON"), QStringLiteral("FILE")},
            {QStringLiteral("json"), QStringLiteral("结果 JSON 输出位置，- 为标准输出"), QStringLiteral("FILE")},
            {QStringLiteral("html"), QStringLiteral("HTML 报告输出位置"), QStringLiteral("FILE")},
            {QStringLiteral("pdf"), QStringLiteral("PDF 报告输出位置"), QStringLiteral("FILE")},
            {QStringLiteral("save-history"), QStringLiteral("保存到历史记录")}};
}

// The options that show images: reports draw text, the history keeps the full-size images.
bool showsImages(const QCommandLineParser &parser)
{
    return parser.isSet(QStringLiteral("html")) || parser.isSet(QStringLiteral("pdf"))
           || parser.isSet(QStringLiteral("save-history"));
}

// A comparison that only prints figures draws no text, so it needs no GUI platform or fonts.
bool drawsNoText(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions(options());
    try {
        parseArguments(parser, arguments, kUsage);
    } catch (const CliError &) {
        return false;
    }
    return !showsImages(parser);
}

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions(options());
    parseArguments(parser, arguments, kUsage);
    if (!parser.positionalArguments().isEmpty())
        throw CliError(QStringLiteral("多余的参数：") + parser.positionalArguments().join(u' '));

    const ComparisonSettings settings = parser.isSet(QStringLiteral("settings"))
                                            ? loadSettingsFile(requiredValue(parser, QStringLiteral("settings")))
                                            : ComparisonSettings();
    // The screenshot decodes on the thread pool while the design is read or imported here. A
    // screenshot that fails is reported first, as when the two are read one after the other.
    const QString devicePath = requiredValue(parser, QStringLiteral("device"));
    const QString designArgument = requiredValue(parser, QStringLiteral("design"));
    QFuture<std::pair<CapturedDeviceState, std::exception_ptr>> deviceJob = QtConcurrent::run([devicePath] {
        try {
            return std::pair(loadDeviceArgument(devicePath), std::exception_ptr());
        } catch (...) {
            return std::pair(CapturedDeviceState(), std::current_exception());
        }
    });
    ImportedDesign design;
    std::exception_ptr designError;
    try {
        design = loadDesignArgument(designArgument);
    } catch (...) {
        designError = std::current_exception();
    }
    auto [device, deviceError] = deviceJob.result();
    for (const std::exception_ptr &error : {deviceError, designError}) {
        if (error)
            std::rethrow_exception(error);
    }
    if (parser.isSet(QStringLiteral("elements"))) {
        const ElementTreeFile tree = readElementTree(requiredValue(parser, QStringLiteral("elements")));
        device.elements = tree.elements;
        device.screenSize = tree.screenSize.value_or(pixelSizeValue(device.image));
        printLine(QStringLiteral("已读取元素树：%1 个元素，屏幕尺寸 %2×%3")
                      .arg(device.elements.size())
                      .arg(device.screenSize.width)
                      .arg(device.screenSize.height));
        // Only a design with nodes (a Figma import) is compared element by element.
        if (design.isVisualOnly)
            printLine(QStringLiteral("设计稿没有元素节点（仅视觉对比），元素树不参与对比"));
    }

    // Without reports or history the full-size images need not outlive their shrinking, and no
    // overlay is drawn.
    const bool withImages = showsImages(parser);
    const ComparisonResult result = withImages ? ComparisonEngine().compare(device, design, settings)
                                                : ComparisonEngine().compareFiguresOnly(std::move(device), std::move(design), settings);

    const QString jsonTarget = parser.value(QStringLiteral("json"));
    if (!jsonTarget.isEmpty())
        writeOutput(jsonTarget, QJsonDocument(resultJson(result)).toJson(QJsonDocument::Indented));
    if (jsonTarget != u"-")
        printOut(summary(result));

    const int exitCode = result.status == kStatusConsistent ? kExitSuccess : kExitDifferences;
    if (!withImages)
        return exitCode;
    writeReports(parser, result, design, settings);

    if (parser.isSet(QStringLiteral("save-history"))) {
        const ComparisonHistoryStore store;
        const ComparisonHistoryEntry entry = store.save(result, design.name, kOfflineDeviceName);
        printLine(QStringLiteral("已保存到历史记录：") + QDir::toNativeSeparators(store.rootPath() + u'/' + entry.directoryName));
    }
    return exitCode;
}

const CliCommandRegistration registration({QStringLiteral("compare"), kUsage, run, drawsNoText});

} // namespace

} // namespace vantrel::cli

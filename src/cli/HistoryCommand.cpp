#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "engine/ModelJson.h"
#include "reports/ComparisonHistoryStore.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vantrel::cli {

namespace {

const QString kUsage = QStringLiteral("history list [--json]");

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("json"), QStringLiteral("以 JSON 输出")});
    parseArguments(parser, arguments, kUsage);
    const QStringList positional = parser.positionalArguments();
    if (positional != QStringList{QStringLiteral("list")})
        throw CliError(QStringLiteral("用法：") + kUsage);

    const QList<ComparisonHistoryEntry> entries = ComparisonHistoryStore().entries();
    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray array;
        for (const ComparisonHistoryEntry &entry : entries)
            array.append(json::toJson(entry));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return kExitSuccess;
    }
    if (entries.isEmpty()) {
        printOut(QStringLiteral("暂无历史记录\n"));
        return kExitSuccess;
    }
    for (const ComparisonHistoryEntry &entry : entries) {
        printOut(QStringLiteral("%1  %2  %3  %4 · %5  %6\n")
                     .arg(entry.createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                          QString::number(entry.score, 'f', 2), entry.status, entry.designName, entry.deviceName,
                          entry.directoryName));
    }
    return kExitSuccess;
}

const CliCommandRegistration registration({QStringLiteral("history"), kUsage, run});

} // namespace

} // namespace vantrel::cli

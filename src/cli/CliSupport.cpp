#include "cli/CliSupport.h"

#include "cli/CliCommand.h"
#include "engine/FileWriter.h"

#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace vantrel::cli {

namespace {

// Qt's parser explains itself in English, ending in a full stop: say it in the user's language.
QString parserError(const QCommandLineParser &parser)
{
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("未知选项 ") + parser.unknownOptionNames().first();
    const QString text = parser.errorText();
    const QRegularExpressionMatch quoted = QRegularExpression(QStringLiteral("'([^']*)'")).match(text);
    const QString option = quoted.hasMatch() ? quoted.captured(1) : QString();
    if (text.startsWith(QLatin1String("Missing value")))
        return QStringLiteral("选项 %1 缺少取值").arg(option);
    if (text.startsWith(QLatin1String("Unexpected value")))
        return QStringLiteral("选项 %1 不接受取值").arg(option);
    return QStringLiteral("参数无法解析（%1）").arg(text.chopped(text.endsWith(u'.') ? 1 : 0));
}

} // namespace

QList<CliCommand> &CliCommandRegistry::commands()
{
    static QList<CliCommand> list;
    return list;
}

const CliCommand *CliCommandRegistry::find(const QString &name)
{
    for (const CliCommand &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

void parseArguments(QCommandLineParser &parser, const QStringList &arguments, const QString &usage)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QStringList full = arguments;
    full.prepend(QStringLiteral("vantrel-cli"));
    if (!parser.parse(full))
        throw CliError(parserError(parser) + QStringLiteral("。用法：") + usage);
}

QString requiredValue(const QCommandLineParser &parser, const QString &option)
{
    const QString value = parser.value(option);
    if (value.isEmpty())
        throw CliError(QStringLiteral("缺少参数 --") + option);
    return value;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw CliError(QStringLiteral("文件不存在：") + path);
    if (!file.open(QIODevice::ReadOnly))
        throw CliError(QStringLiteral("无法读取文件 %1：%2").arg(path, file.errorString()));
    return file.readAll();
}

void writeOutput(const QString &target, const QByteArray &bytes)
{
    if (target == u"-") {
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
        std::fflush(stdout);
        return;
    }
    FileWriter::writeAtomically(target, bytes);
}

void printLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace vantrel::cli

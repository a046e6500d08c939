#include "cli/CliSupport.h"

#include "cli/CliCommand.h"
#include "engine/FileWriter.h"

#include <QFile>

#include <cstdio>

namespace vantrel::cli {

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
        throw CliError(parser.errorText() + QStringLiteral("。用法：") + usage);
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

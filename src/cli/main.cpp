#include "cli/CliCommand.h"
#include "cli/CliSupport.h"

#include <QGuiApplication>

#include <exception>

using namespace vantrel::cli;

namespace {

QString usage()
{
    QString text = QStringLiteral("用法：vantrel-cli <命令> [参数]\n命令：\n");
    for (const CliCommand &command : CliCommandRegistry::commands())
        text += QStringLiteral("  ") + command.usage + u'\n';
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    // The command line draws reports and images without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("halvenro"));
    QGuiApplication::setApplicationName(QStringLiteral("Vantrel"));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.isEmpty() || arguments.first() == u"--help" || arguments.first() == u"-h") {
        printOut(usage());
        return arguments.isEmpty() ? kExitFailure : kExitSuccess;
    }
    const QString name = arguments.takeFirst();
    const CliCommand *command = CliCommandRegistry::find(name);
    if (!command) {
        printLine(QStringLiteral("未知命令：") + name);
        printOut(usage());
        return kExitFailure;
    }
    try {
        return command->run(arguments);
    } catch (const std::exception &error) {
        printLine(QString::fromUtf8(error.what()));
        return kExitFailure;
    }
}

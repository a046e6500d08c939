#include "cli/CliCommand.h"
#include "cli/CliSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <unistd.h>

#include <exception>
#include <memory>

using namespace vantrel::cli;

namespace {

QString usage()
{
    QString text = QStringLiteral("用法：vantrel-cli <命令> [参数]\n命令：\n");
    for (const CliCommand &command : CliCommandRegistry::commands())
        text += QStringLiteral("  ") + command.usage + u'\n';
    return text;
}

// Outside a desktop session (ssh, CI) there is no XDG_RUNTIME_DIR; Qt would fall back to a
// private folder of its own but print a warning on stderr first, which belongs to no command.
void ensureRuntimeDirectory()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString path = QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(getuid());
    QDir().mkpath(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (QFileInfo(path).ownerId() == getuid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path));
}

// Decoders and plug-ins report their own troubles through Qt's warnings (a damaged JPEG prints
// "Corrupt JPEG data: ..."); the command prints one clear line of its own instead. VANTREL_VERBOSE=1
// shows them. (libpng writes its errors to stderr itself, past this handler; ImageFileReader keeps
// cut-off PNGs and those with a damaged critical chunk from ever reaching it.)
void quietQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    qt_message_output(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // The command line draws reports and images without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDirectory();
    if (qEnvironmentVariableIntValue("VANTREL_VERBOSE") != 1)
        qInstallMessageHandler(quietQtMessages);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CliCommand *command = arguments.isEmpty() ? nullptr : CliCommandRegistry::find(arguments.first());
    // A run that draws no text skips the GUI platform plug-in and the font set-up it would load.
    const bool headless = command && command->drawsNoText && command->drawsNoText(arguments.mid(1));
    // Qt would take options such as --platform for itself: it sees only the program name.
    int qtArgumentCount = 1;
    const std::unique_ptr<QCoreApplication> app = headless ? std::make_unique<QCoreApplication>(qtArgumentCount, argv)
                                                           : std::make_unique<QGuiApplication>(qtArgumentCount, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("halvenro"));
    QCoreApplication::setApplicationName(QStringLiteral("Vantrel"));

    if (arguments.isEmpty() || arguments.first() == u"--help" || arguments.first() == u"-h") {
        printOut(usage());
        return arguments.isEmpty() ? kExitFailure : kExitSuccess;
    }
    if (!command) {
        printLine(QStringLiteral("未知命令：") + arguments.first());
        printOut(usage());
        return kExitFailure;
    }
    arguments.removeFirst();
    try {
        return command->run(arguments);
    } catch (const std::exception &error) {
        printLine(QString::fromUtf8(error.what()));
        return kExitFailure;
    }
}

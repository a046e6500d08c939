#include "support/CliRunner.h"

#include <QProcess>

namespace vantrel::test {

namespace {

// The built command-line program: VANTREL_CLI, else the one in the build folder.
QString cliPath()
{
    const QByteArray fromEnv = qgetenv("VANTREL_CLI");
    if (!fromEnv.isEmpty())
        return QString::fromLocal8Bit(fromEnv);
    return QStringLiteral(VANTREL_BINARY_DIR "/src/cli/vantrel-cli");
}

} // namespace

CliRun runCli(const QStringList &arguments, const QProcessEnvironment &extra)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(extra);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(cliPath(), arguments);
    CliRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = "vantrel-cli did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace vantrel::test

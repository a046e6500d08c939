#include "devices/appium/AppiumServerProcess.h"

#include "devices/tools/BackgroundProcess.h"
#include "devices/tools/StrictUtf8.h"

#include <QFileInfo>

namespace vantrel {

QProcess *AppiumServerProcess::start(QObject *owner, const QString &appiumPath, const QStringList &arguments,
                                     const std::optional<QProcessEnvironment> &environment,
                                     std::function<void(const QString &)> onOutput)
{
    if (auto problem = BackgroundProcess::launchProblem(appiumPath))
        throw StartError(problem->toStdString());

    auto *process = new QProcess(owner);
    process->setProgram(QFileInfo(appiumPath).absoluteFilePath());
    process->setArguments(arguments);
    if (environment)
        process->setProcessEnvironment(*environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [process, onOutput = std::move(onOutput)] {
        const QByteArray chunk = process->readAllStandardOutput();
        if (chunk.isEmpty())
            return;
        if (auto text = decodeStrictUtf8(chunk); text && !text->isEmpty())
            onOutput(*text);
    });
    process->start(QIODevice::ReadOnly);
    if (!process->waitForStarted(int(kStartWait.count()))) {
        const QString description = QStringLiteral("无法启动 Appium：") + process->errorString();
        process->kill();
        process->deleteLater();
        throw StartError(description.toStdString());
    }
    return process;
}

void AppiumServerProcess::terminate(QProcess *process)
{
    if (!process)
        return;
    QObject::disconnect(process, &QProcess::readyReadStandardOutput, nullptr, nullptr);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->terminate();
}

} // namespace vantrel

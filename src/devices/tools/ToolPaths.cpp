#include "devices/tools/ToolPaths.h"

#include <QFileInfo>
#include <QStringList>

namespace vantrel {

namespace {

std::optional<QString> overrideFrom(const char *variable)
{
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}


// The first of the candidates that is an executable file, else the first candidate (so that
// running it reports the missing program in the usual way).
QString firstExecutable(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        if (ToolPaths::isExecutableFile(candidate))
            return candidate;
    }
    return candidates.constFirst();
}

} // namespace

QString ToolPaths::xcrun()
{
    return overrideFrom("VANTREL_XCRUN").value_or(QStringLiteral("/usr/bin/xcrun"));
}

QString ToolPaths::xcodebuild()
{
    return overrideFrom("VANTREL_XCODEBUILD").value_or(QStringLiteral("/usr/bin/xcodebuild"));
}

QString ToolPaths::loginShell()
{
    if (auto path = overrideFrom("VANTREL_SHELL"))
        return *path;
    const QString zsh = QStringLiteral("/bin/zsh");
#ifdef Q_OS_MACOS
    return zsh;
#else
    if (ToolPaths::isExecutableFile(zsh))
        return zsh;
    const QString shell = qEnvironmentVariable("SHELL");
    if (!shell.isEmpty() && ToolPaths::isExecutableFile(shell))
        return shell;
    return QStringLiteral("/bin/sh");
#endif
}

QString ToolPaths::lsof()
{
    if (auto path = overrideFrom("VANTREL_LSOF"))
        return *path;
#ifdef Q_OS_MACOS
    return QStringLiteral("/usr/sbin/lsof");
#else
    return firstExecutable({QStringLiteral("/usr/sbin/lsof"), QStringLiteral("/usr/bin/lsof"),
                            QStringLiteral("/sbin/lsof"), QStringLiteral("/bin/lsof")});
#endif
}

QString ToolPaths::kill()
{
    if (auto path = overrideFrom("VANTREL_KILL"))
        return *path;
#ifdef Q_OS_MACOS
    return QStringLiteral("/bin/kill");
#else
    return firstExecutable({QStringLiteral("/bin/kill"), QStringLiteral("/usr/bin/kill")});
#endif
}

bool ToolPaths::isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

std::optional<QString> ToolPaths::adbOverride()
{
    return overrideFrom("VANTREL_ADB");
}

std::optional<QString> ToolPaths::appiumOverride()
{
    return overrideFrom("VANTREL_APPIUM");
}

} // namespace vantrel

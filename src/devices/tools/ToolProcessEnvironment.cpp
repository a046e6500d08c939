#include "devices/tools/ToolProcessEnvironment.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel {

namespace {

const QString kPathVariable = QStringLiteral("PATH");
const QString kAndroidHome = QStringLiteral("ANDROID_HOME");
const QString kAndroidSdkRoot = QStringLiteral("ANDROID_SDK_ROOT");

} // namespace

QStringList ToolProcessEnvironment::extraSearchDirectories(const QString &home)
{
    return {home + QStringLiteral("/.local/npm-global/bin"),
            home + QStringLiteral("/.npm-global/bin"),
            home + QStringLiteral("/.nvm/current/bin"),
            QStringLiteral("/opt/homebrew/bin"),
            QStringLiteral("/opt/homebrew/sbin"),
            QStringLiteral("/usr/local/bin"),
            QStringLiteral("/usr/local/sbin"),
            QStringLiteral("/usr/bin"),
            QStringLiteral("/bin"),
            QStringLiteral("/usr/sbin"),
            QStringLiteral("/sbin")};
}

QString ToolProcessEnvironment::searchPath(const QString &inheritedPath, const QString &home)
{
    QStringList entries = extraSearchDirectories(home);
    entries += inheritedPath.split(u':', Qt::SkipEmptyParts);
    entries.removeDuplicates();
    return entries.join(u':');
}

QString ToolProcessEnvironment::androidSdkRoot(const QProcessEnvironment &inherited, const QString &home)
{
    QStringList candidates;
    if (inherited.contains(kAndroidHome))
        candidates.append(inherited.value(kAndroidHome));
    if (inherited.contains(kAndroidSdkRoot))
        candidates.append(inherited.value(kAndroidSdkRoot));
    candidates << home + QStringLiteral("/Library/Android/sdk") << home + QStringLiteral("/Android/Sdk")
               << QStringLiteral("/opt/homebrew/share/android-commandlinetools");
    for (const QString &candidate : std::as_const(candidates)) {
        if (QFileInfo(candidate + QStringLiteral("/platform-tools/adb")).isFile())
            return candidate;
    }
    return {};
}

QProcessEnvironment ToolProcessEnvironment::value(const QProcessEnvironment &inherited, const QString &home)
{
    QProcessEnvironment environment = inherited;
    environment.insert(kPathVariable, searchPath(inherited.value(kPathVariable), home));
    const QString sdk = androidSdkRoot(inherited, home);
    if (!sdk.isEmpty()) {
        environment.insert(kAndroidHome, sdk);
        environment.insert(kAndroidSdkRoot, sdk);
    }
    return environment;
}

QProcessEnvironment ToolProcessEnvironment::value()
{
    return value(QProcessEnvironment::systemEnvironment(), QDir::homePath());
}

} // namespace vantrel

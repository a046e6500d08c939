#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace vantrel {

// The environment every tool child process receives: the application's own environment with a
// PATH that puts the per-user Node.js package folders, the Homebrew folders and the system tool
// folders first, and with ANDROID_HOME / ANDROID_SDK_ROOT pointing at an SDK that holds adb.
// Nothing is cached: each call looks at the environment and the file system again.
class ToolProcessEnvironment {
public:
    // The environment for a child, from this process's environment and QDir::homePath().
    static QProcessEnvironment value();

    // The same rules applied to a given environment and home folder.
    static QProcessEnvironment value(const QProcessEnvironment &inherited, const QString &home);

    // The search folders that always lead PATH, in order.
    static QStringList extraSearchDirectories(const QString &home);

    // The extra folders followed by the inherited PATH's non-empty segments, first occurrence kept.
    static QString searchPath(const QString &inheritedPath, const QString &home);

    // The Android SDK candidates in order (ANDROID_HOME, ANDROID_SDK_ROOT, then the usual install
    // folders); the first one holding platform-tools/adb is the SDK. Empty when none qualifies.
    static QString androidSdkRoot(const QProcessEnvironment &inherited, const QString &home);

private:
    ToolProcessEnvironment() = delete;
};

} // namespace vantrel

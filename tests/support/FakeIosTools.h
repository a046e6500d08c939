#pragma once

#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vantrel::test {

// The fake xcrun, xcodebuild, login shell and appium of tests/fakes/ios for one test: points
// VANTREL_XCRUN, VANTREL_XCODEBUILD and VANTREL_SHELL at them (and clears VANTREL_APPIUM, so the
// lookup goes through the login shell), gives them a control folder of their own, and restores the
// variables when destroyed.
class FakeIosTools {
public:
    FakeIosTools()
    {
        m_environment.set("VANTREL_XCRUN", fakePath(QStringLiteral("xcrun")).toUtf8());
        m_environment.set("VANTREL_XCODEBUILD", fakePath(QStringLiteral("xcodebuild")).toUtf8());
        m_environment.set("VANTREL_SHELL", fakePath(QStringLiteral("login-shell")).toUtf8());
        m_environment.unset("VANTREL_APPIUM");
        m_environment.set("FAKE_IOS_DIR", m_dir.path().toUtf8());
    }
    FakeIosTools(const FakeIosTools &) = delete;
    FakeIosTools &operator=(const FakeIosTools &) = delete;

    // What `xcrun xctrace list devices` prints, and its exit status.
    void setDeviceListing(const QString &listing, int status = 0)
    {
        write(QStringLiteral("xctrace.txt"), listing.toUtf8());
        write(QStringLiteral("xctrace.status"), QByteArray::number(status));
    }
    void setXcodebuild(const QString &standardOutput, const QString &standardError = {}, int status = 0)
    {
        write(QStringLiteral("xcodebuild.out"), standardOutput.toUtf8());
        write(QStringLiteral("xcodebuild.err"), standardError.toUtf8());
        write(QStringLiteral("xcodebuild.status"), QByteArray::number(status));
    }
    // What `command -v appium` finds in the login shell; none: not found.
    void setAppiumPath(const QString &path) { write(QStringLiteral("appium.path"), path.toUtf8() + '\n'); }
    // The fake appium's driver listing.
    void setDriverListing(const QString &json) { write(QStringLiteral("drivers.json"), json.toUtf8()); }

    // Arguments of every call of a fake ("xcrun", "xcodebuild", "shell", "appium"), one per call.
    QStringList calls(const QString &tool) const
    {
        QFile file(m_dir.filePath(tool + QStringLiteral(".calls")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    }

    static QString fakePath(const QString &name) { return QStringLiteral(VANTREL_FAKES_DIR "/ios/") + name; }

private:
    void write(const QString &name, const QByteArray &content) { writeFile(m_dir.filePath(name), content); }

    QTemporaryDir m_dir;
    EnvironmentOverride m_environment;
};

} // namespace vantrel::test

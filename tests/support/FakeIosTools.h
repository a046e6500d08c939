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
    // A listing with a Mac, an iPhone online, one offline, and simulators.
    static inline const QString kListing = QStringLiteral(
        "== Devices ==\n"
        "Jane’s MacBook Pro (14.5) (0A1B2C3D-4E5F-6789-ABCD-EF0123456789)\n"
        "Jane’s iPhone (18.0.1) (00008110-001A2B3C4D5E801E)\n\n"
        "== Devices Offline ==\n"
        "Old iPhone (17.5) (00008030-000A1B2C3D4E5F6A)\n\n"
        "== Simulators ==\n"
        "iPhone 15 Simulator (17.5) (A1B2C3D4-E5F6-7890-ABCD-EF1234567890)\n"
        "iPhone 16 Pro (18.0) (B1B2C3D4-E5F6-7890-ABCD-EF1234567890)\n");

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
